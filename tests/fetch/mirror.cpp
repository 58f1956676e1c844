#include "mirror.hpp"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "grib_files.hpp"
#include "support/scratch.hpp"

namespace fetchtest {

namespace {

using ingesttest::Message;
using testsupport::write_file;

constexpr double gravity = 9.80665;

std::string synth_grib(const std::string& work, int im, int jm, double lat0, double lon0, double res, int lm,
                       const std::string& date) {
  std::filesystem::remove_all(work);
  ingesttest::make_case(work, im, jm, lat0, lon0, res, lm, date);
  return ingesttest::case_as_grib(work, false, true);
}

// One message (a field, or fields) and the index's words of each field.
struct Piece {
  std::string bytes;
  std::vector<std::string> ncep;  // VAR:LEVEL
  std::vector<std::string> mars;  // "param": ..., "levtype": ... (the keys of a JSON object)
};

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// The words of a field as NCEP and ECMWF index it.
void words_of(Message& m, Piece& p) {
  const long id = m.get_long("paramId");
  const std::string level_type = m.get_string("typeOfLevel");
  std::string ncep_level, mars_type = "sfc", mars_level;
  if (level_type == "isobaricInhPa") {
    ncep_level = number(static_cast<double>(m.get_long("level"))) + " mb";
    mars_type = "pl";
    mars_level = std::to_string(m.get_long("level"));
  } else if (level_type == "surface") {
    ncep_level = "surface";
  } else if (level_type == "meanSea") {
    ncep_level = "mean sea level";
  } else {
    const double top = m.get_double("scaledValueOfFirstFixedSurface") *
                       std::pow(10.0, -static_cast<double>(m.get_long("scaleFactorOfFirstFixedSurface")));
    const double bottom = m.get_double("scaledValueOfSecondFixedSurface") *
                          std::pow(10.0, -static_cast<double>(m.get_long("scaleFactorOfSecondFixedSurface")));
    ncep_level = number(top) + "-" + number(bottom) + " m below ground";
    mars_type = "sol";
  }
  static const std::vector<std::pair<long, std::string>> ncep = {
      {156, "HGT"},   {130, "TMP"},    {157, "RH"},    {133, "SPFH"},  {131, "UGRD"},   {132, "VGRD"},
      {135, "VVEL"},  {260074, "PRMSL"}, {134, "PRES"}, {228002, "HGT"}, {172, "LAND"}, {228139, "TSOIL"},
      {260185, "SOILW"}};
  std::string var = "VAR" + std::to_string(id);
  for (const auto& [k, v] : ncep)
    if (k == id) var = v;
  p.ncep.push_back(var + ":" + ncep_level);
  std::string keys = "\"param\": \"" + m.get_string("shortName") + "\", \"levtype\": \"" + mars_type + "\"";
  if (!mars_level.empty()) keys += ", \"levelist\": \"" + mars_level + "\"";
  p.mars.push_back(keys);
}

// The messages of BYTES, each with its words (a message of several fields
// with the words of each).
std::vector<Piece> pieces(const std::string& bytes) {
  std::vector<Piece> out;
  codes_grib_multi_support_on(nullptr);
  for (std::size_t at = 0; at + 16 <= bytes.size();) {
    std::uint64_t total = 0;
    for (std::size_t k = 8; k < 16; ++k) total = (total << 8) | static_cast<unsigned char>(bytes[at + k]);
    Piece p;
    p.bytes = bytes.substr(at, total);
    void* data = p.bytes.data();
    std::size_t left = p.bytes.size();
    std::string copy = p.bytes;
    data = copy.data();
    int err = 0;
    while (codes_handle* h = codes_grib_handle_new_from_multi_message(nullptr, &data, &left, &err)) {
      Message m(h);
      words_of(m, p);
      codes_handle_delete(h);
    }
    out.push_back(std::move(p));
    at += total;
  }
  codes_grib_multi_support_off(nullptr);
  return out;
}

std::string quoted_date(const std::string& cycle) { return cycle.substr(0, 8); }

void write_tree(const std::string& root, const std::string& path, const std::string& bytes) {
  const std::string full = root + "/" + path;
  std::filesystem::create_directories(std::filesystem::path(full).parent_path());
  write_file(full, bytes);
}

std::string three(int step) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%03d", step);
  return buf;
}

}  // namespace

MirrorFile gfs_file(const std::string& root, const std::string& work, const std::string& cycle, int step, int lm) {
  const std::string grib = synth_grib(work, 360, 181, -90, 0, 1.0, lm, cycle);
  // NCEP's conventions: geopotential height, PRMSL, the orography in
  // metres, soil layers of NCEP's parameters; a vertical velocity beside
  // each temperature (a message no case needs).
  std::string ncep = ingesttest::rewrite(grib, [](Message& m) {
    const long id = m.get_long("paramId");
    const std::string level = m.get_string("typeOfLevel");
    auto scaled = [&](long to, double by) {
      std::vector<double> v = m.values();
      for (double& x : v) x = x > 1e20 ? x : x / by;
      m.set("paramId", to);
      m.set_values(v);
    };
    if (id == 129 && level == "isobaricInhPa") scaled(156, gravity);
    else if (id == 129 && level == "surface") scaled(228002, gravity);
    else if (id == 151) m.set("paramId", 260074L);
    else if (id == 139 || id == 170 || id == 183 || id == 236) m.set("paramId", 228139L);
    else if (id >= 39 && id <= 42) m.set("paramId", 260185L);
    return true;
  });
  std::string vvel = ingesttest::rewrite(grib, [](Message& m) {
    if (m.get_long("paramId") != 130) return false;
    m.set("paramId", 135L);
    return true;
  });
  ncep = ingesttest::winds_together(ncep);
  std::vector<Piece> all = pieces(ncep), w = pieces(vvel);
  // Each vertical velocity after its level's temperature.
  std::vector<Piece> ordered;
  std::size_t next_w = 0;
  for (Piece& p : all) {
    const bool t = p.ncep.front().starts_with("TMP:");
    ordered.push_back(std::move(p));
    if (t && next_w < w.size()) ordered.push_back(std::move(w[next_w++]));
  }
  MirrorFile f;
  const std::string hh = cycle.substr(8, 2);
  f.data_path = "gfs." + quoted_date(cycle) + "/" + hh + "/atmos/gfs.t" + hh + "z.pgrb2.1p00.f" + three(step);
  f.index_path = f.data_path + ".idx";
  std::string idx;
  for (std::size_t n = 0; n < ordered.size(); ++n) {
    const Piece& p = ordered[n];
    for (std::size_t k = 0; k < p.ncep.size(); ++k)
      idx += std::to_string(n + 1) + (p.ncep.size() > 1 ? "." + std::to_string(k + 1) : "") + ":" +
             std::to_string(f.bytes.size()) + ":d=" + cycle + ":" + p.ncep[k] + ":" +
             (step == 0 ? std::string("anl") : std::to_string(step) + " hour fcst") + ":\n";
    f.bytes += p.bytes;
  }
  f.messages = static_cast<int>(ordered.size());
  write_tree(root, f.data_path, f.bytes);
  write_tree(root, f.index_path, idx);
  return f;
}

MirrorFile ifs_file(const std::string& root, const std::string& work, const std::string& cycle, int step, int lm,
                    const std::string& invariant) {
  const std::string grib = synth_grib(work, 21, 13, 36, -10, 1.0, lm, cycle);
  auto unpublished = [](Message& m) {
    const long id = m.get_long("paramId");
    return id == 172 || (id == 129 && m.get_string("typeOfLevel") == "surface") || (id >= 39 && id <= 42) ||
           id == 139 || id == 170 || id == 183 || id == 236;
  };
  const std::string published = ingesttest::rewrite(grib, [&](Message& m) {
    if (unpublished(m)) return false;
    if (m.get_long("paramId") == 129) {
      std::vector<double> v = m.values();
      for (double& x : v) x /= gravity;
      m.set("paramId", 156L);
      m.set_values(v);
    }
    return true;
  });
  write_file(invariant, ingesttest::rewrite(grib, unpublished));
  MirrorFile f;
  const std::string hh = cycle.substr(8, 2), date = quoted_date(cycle);
  const std::string stream = std::stoi(hh) % 12 == 0 ? "oper" : "scda";
  f.data_path = date + "/" + hh + "z/ifs/0p25/" + stream + "/" + cycle + "0000-" + std::to_string(step) + "h-" + stream +
                "-fc.grib2";
  f.index_path = f.data_path.substr(0, f.data_path.size() - 6) + ".index";
  std::string index;
  for (const Piece& p : pieces(published)) {
    index += "{\"domain\": \"g\", \"date\": \"" + date + "\", \"time\": \"" + hh + "00\", \"step\": \"" +
             std::to_string(step) + "\", " + p.mars.front() + ", \"_offset\": " + std::to_string(f.bytes.size()) +
             ", \"_length\": " + std::to_string(p.bytes.size()) + "}\n";
    f.bytes += p.bytes;
    ++f.messages;
  }
  write_tree(root, f.data_path, f.bytes);
  write_tree(root, f.index_path, index);
  return f;
}

}  // namespace fetchtest
