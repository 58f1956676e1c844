#include "providers.hpp"

#include <array>

#include "kit/numbers.hpp"

namespace c2m::fetch {

namespace {

// NCEP's GFS: a file per cycle and step on pressure levels and at the
// surface, 0.25, 0.5 and 1 degree, longitudes 0 to 360 from the north.
// Geopotential comes as geopotential height, soil temperature and moisture
// in NCEP's four layers (ranked by depth by ingest's table).
constexpr Resolution gfs_resolutions[] = {
    {"0.25", "0p25", 1440, 721, 90.0, 0.0, 0.25},
    {"0.5", "0p50", 720, 361, 90.0, 0.0, 0.5},
    {"1", "1p00", 360, 181, 90.0, 0.0, 1.0},
};
constexpr std::string_view gfs_roots[] = {
    "https://nomads.ncep.noaa.gov/pub/data/nccf/com/gfs/prod",
    "https://noaa-gfs-bdp-pds.s3.amazonaws.com",
};
constexpr NameEntry gfs_names[] = {
    {"HGT", LevelKind::isobaric, 156, "gh", ""},
    {"TMP", LevelKind::isobaric, 130, "t", ""},
    {"RH", LevelKind::isobaric, 157, "r", ""},
    {"SPFH", LevelKind::isobaric, 133, "q", ""},
    {"UGRD", LevelKind::isobaric, 131, "u", ""},
    {"VGRD", LevelKind::isobaric, 132, "v", ""},
    {"PRMSL", LevelKind::mean_sea, 260074, "prmsl", "meanSea"},
    {"MSLET", LevelKind::mean_sea, 260317, "mslet", "meanSea"},
    {"PRES", LevelKind::surface, 134, "sp", "surface"},
    {"HGT", LevelKind::surface, 228002, "orog", "surface"},
    {"LAND", LevelKind::surface, 172, "lsm", "surface"},
    {"TSOIL", LevelKind::soil_layer, 228139, "st", "depthBelowLandLayer"},
    {"SOILW", LevelKind::soil_layer, 260185, "soilw", "depthBelowLandLayer"},
};

// ECMWF's open data from the IFS: a file per cycle and step at 0.25
// degree, longitudes -180 to 180 from the north.  The runs at 06 and 18
// UTC are the short cut-off stream.  The land-sea mask and the surface
// geopotential are taken where the index lists them; the soil is
// published on soil levels that ingest's table does not take.
constexpr Resolution ifs_resolutions[] = {
    {"0.25", "0p25", 1440, 721, 90.0, -180.0, 0.25},
};
constexpr std::string_view ifs_roots[] = {
    "https://data.ecmwf.int/forecasts",
    "https://ecmwf-forecasts.s3.eu-central-1.amazonaws.com",
};
constexpr NameEntry ifs_names[] = {
    {"gh", LevelKind::isobaric, 156, "gh", ""},
    {"t", LevelKind::isobaric, 130, "t", ""},
    {"r", LevelKind::isobaric, 157, "r", ""},
    {"q", LevelKind::isobaric, 133, "q", ""},
    {"u", LevelKind::isobaric, 131, "u", ""},
    {"v", LevelKind::isobaric, 132, "v", ""},
    {"msl", LevelKind::mean_sea, 151, "msl", "meanSea"},
    {"sp", LevelKind::surface, 134, "sp", "surface"},
    {"lsm", LevelKind::surface, 172, "lsm", "surface"},
    {"z", LevelKind::surface, 129, "z", "surface"},
};

constexpr Provider table[] = {
    {.name = "gfs",
     .title = "NCEP's GFS",
     .data_template = "{root}/gfs.{date}/{hh}/atmos/gfs.t{hh}z.pgrb2.{res}.f{fff}",
     .index_template = "{root}/gfs.{date}/{hh}/atmos/gfs.t{hh}z.pgrb2.{res}.f{fff}.idx",
     .format = IndexFormat::ncep,
     .resolutions = gfs_resolutions,
     .roots = gfs_roots,
     .names = gfs_names,
     .centre = 7,
     .centre_name = "kwbc"},
    {.name = "ifs",
     .title = "ECMWF's IFS (open data)",
     .data_template = "{root}/{date}/{hh}z/ifs/{res}/{stream}/{date}{hh}0000-{step}h-{stream}-fc.grib2",
     .index_template = "{root}/{date}/{hh}z/ifs/{res}/{stream}/{date}{hh}0000-{step}h-{stream}-fc.index",
     .format = IndexFormat::mars,
     .resolutions = ifs_resolutions,
     .roots = ifs_roots,
     .names = ifs_names,
     .centre = 98,
     .centre_name = "ecmf",
     .stream_main = "oper",
     .stream_short = "scda",
     .notes = "soil temperature and moisture (and lsm and z at the surface where the index\n"
              "lacks them) come from --invariant FILE"},
};

std::string two(long long v) { return zero_padded(static_cast<unsigned long long>(v), 2); }

std::string expand(std::string_view t, const Provider& p, const Resolution& res, std::string_view root,
                   const ingest::ValidTime& cycle, int step) {
  std::string r(root);
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  const int hour = cycle.hhmm / 100;
  const std::string_view stream = hour % 12 == 0 ? p.stream_main : p.stream_short;
  std::string out;
  for (std::size_t at = 0; at < t.size();) {
    if (t[at] != '{') {
      out += t[at++];
      continue;
    }
    const std::size_t end = t.find('}', at);
    const std::string_view key = t.substr(at + 1, end - at - 1);
    at = end + 1;
    if (key == "root") out += r;
    else if (key == "date") out += decimal(cycle.date);
    else if (key == "hh") out += two(hour);
    else if (key == "res") out += res.word;
    else if (key == "fff") out += zero_padded(static_cast<unsigned long long>(step), 3);
    else if (key == "step") out += decimal(step);
    else if (key == "stream") out += stream;
  }
  return out;
}

// "500 mb", "0.4 mb": the pressure in hPa.
std::optional<float> millibars(std::string_view level) {
  constexpr std::string_view unit = " mb";
  if (!level.ends_with(unit)) return std::nullopt;
  float p = 0;
  if (read_real(level.substr(0, level.size() - unit.size()), p) != NumberRead::done || !(p > 0 && p < 1e6f)) return std::nullopt;
  return p;
}

// "0.1-0.4 m below ground": the depths of the layer's top and bottom.
bool layer_depths(std::string_view level, double& top, double& bottom) {
  constexpr std::string_view unit = " m below ground";
  if (!level.ends_with(unit)) return false;
  level.remove_suffix(unit.size());
  const std::size_t dash = level.find('-');
  if (dash == std::string_view::npos) return false;
  return read_real(level.substr(0, dash), top) == NumberRead::done &&
         read_real(level.substr(dash + 1), bottom) == NumberRead::done && top >= 0 && bottom > top && bottom < 1e4;
}

// The kind of level of LEVEL in P's words, with its pressure or depths.
std::optional<LevelKind> level_kind(const Provider& p, std::string_view name, std::string_view level,
                                    Described& d) {
  if (p.format == IndexFormat::ncep) {
    if (const auto hpa = millibars(level)) {
      d.pressure_hpa = hpa;
      return LevelKind::isobaric;
    }
    if (level == "surface") return LevelKind::surface;
    if (level == "mean sea level") return LevelKind::mean_sea;
    double top = 0, bottom = 0;
    if (layer_depths(level, top, bottom)) {
      d.depth_top_m = top;
      d.depth_bottom_m = bottom;
      return LevelKind::soil_layer;
    }
    return std::nullopt;
  }
  // MARS: "pl 500", "sfc"; mean sea-level pressure is a surface field there.
  if (level.starts_with("pl ")) {
    float hpa = 0;
    if (read_real(level.substr(3), hpa) != NumberRead::done || !(hpa > 0 && hpa < 1e6f)) return std::nullopt;
    d.pressure_hpa = hpa;
    return LevelKind::isobaric;
  }
  if (level == "sfc") return name == "msl" ? LevelKind::mean_sea : LevelKind::surface;
  return std::nullopt;
}

}  // namespace

std::span<const Provider> providers() { return table; }

const Provider* provider_by_name(std::string_view name) {
  for (const Provider& p : table)
    if (p.name == name) return &p;
  return nullptr;
}

std::string_view provider_choices() { return "gfs|ifs"; }

CycleFiles cycle_files(const Provider& p, const Resolution& res, std::string_view root,
                       const ingest::ValidTime& cycle, int step) {
  return {expand(p.data_template, p, res, root, cycle, step), expand(p.index_template, p, res, root, cycle, step)};
}

std::optional<Described> describe(const Provider& p, std::string_view name, std::string_view level) {
  Described d;
  const auto kind = level_kind(p, name, level, d);
  if (!kind) return std::nullopt;
  for (const NameEntry& e : p.names) {
    if (e.name != name || e.level != *kind) continue;
    d.param_id = e.param_id;
    d.short_name = e.short_name;
    if (*kind == LevelKind::isobaric) {
      // ecCodes states a level of whole hectopascals in hPa, another in Pa.
      const float p_hpa = *d.pressure_hpa;
      d.level_type = p_hpa == static_cast<float>(static_cast<long>(p_hpa)) ? "isobaricInhPa" : "isobaricInPa";
    } else {
      d.level_type = e.level_type;
    }
    return d;
  }
  return std::nullopt;
}

std::string providers_help() {
  std::string t;
  for (const Provider& p : table) {
    t += "  " + std::string(p.name) + ": " + std::string(p.title) + ", --res";
    for (const Resolution& r : p.resolutions) t += " " + std::string(r.option);
    t += "\n    file:  " + std::string(p.data_template) + "\n    index: " + std::string(p.index_template) +
         (p.format == IndexFormat::ncep ? "\n      NCEP's lines, N:OFFSET:d=YYYYMMDDHH:VAR:LEVEL:FORECAST:"
                                        : "\n      a JSON object a line: the MARS keys, _offset and _length") +
         "\n    public servers:";
    for (const std::string_view r : p.roots) t += "\n      " + std::string(r);
    if (!p.stream_short.empty())
      t += "\n    {stream}: " + std::string(p.stream_main) + " for the runs at 00 and 12 UTC, " +
           std::string(p.stream_short) + " for those at 06 and 18";
    t += "\n    names (name, level: paramId shortName):";
    std::string line;
    for (const NameEntry& e : p.names) {
      static constexpr const char* kinds[] = {"isobaric", "surface", "mean sea level", "soil layer"};
      const std::string item = std::string(e.name) + " " + kinds[static_cast<int>(e.level)] + ": " +
                               decimal(e.param_id) + " " + std::string(e.short_name);
      if (line.size() + item.size() + 2 > 70) {
        t += "\n      " + line;
        line.clear();
      }
      line += (line.empty() ? "" : "; ") + item;
    }
    if (!line.empty()) t += "\n      " + line;
    if (!p.notes.empty()) {
      std::string n(p.notes);
      std::string indented;
      for (const char c : n) indented += c == '\n' ? std::string("\n    ") : std::string(1, c);
      t += "\n    " + indented;
    }
    t += "\n";
  }
  return t;
}

}  // namespace c2m::fetch
