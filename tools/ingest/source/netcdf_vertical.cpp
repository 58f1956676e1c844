#include "source/netcdf_vertical.hpp"

#include <algorithm>
#include <cmath>

#include "kit/numbers.hpp"

namespace c2m::ingest::netcdf {

double metres_per(const std::string& units) {
  const std::string u = lower(trimmed(units));
  if (one_of(u, {"m", "meter", "meters", "metre", "metres"})) return 1.0;
  if (one_of(u, {"cm", "centimeter", "centimeters", "centimetre", "centimetres"})) return 0.01;
  if (one_of(u, {"mm", "millimeter", "millimeters", "millimetre", "millimetres"})) return 0.001;
  return 0.0;
}

CoordinateWords coordinate_words(int ncid, int vid, const std::string& name) {
  auto att = [&](const char* a) { return lower(trimmed(text_att(ncid, vid, a).value_or(""))); };
  return {lower(name), att("units"), att("standard_name"), att("long_name"), att("positive"), att("axis")};
}

namespace {

bool says(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

}  // namespace

bool depth_coordinate(const CoordinateWords& c) {
  if (metres_per(c.units) == 0.0 || c.positive == "up") return false;
  if (c.positive == "down") return true;
  for (const std::string* s : {&c.name, &c.standard, &c.long_name})
    if (says(*s, "depth") || says(*s, "soil") || says(*s, "below_land") || says(*s, "below land")) return true;
  return false;
}

namespace {

// The bounds of the depth coordinate VID (of dimension DIM, N values), in
// its own units, as [top, bottom] pairs; nothing when it has none that
// can be used.
std::vector<double> bounds_of(const NetcdfFile& file, int vid, int dim, std::size_t n) {
  const int ncid = file.ncid;
  const auto name = text_att(ncid, vid, "bounds");
  int bid = -1, rank = 0, dims[2] = {-1, -1};
  nc_type type = 0;
  std::size_t pair = 0;
  if (!name || nc_inq_varid(ncid, name->c_str(), &bid) != NC_NOERR) return {};
  if (nc_inq_varndims(ncid, bid, &rank) != NC_NOERR || rank != 2) return {};
  if (nc_inq_vardimid(ncid, bid, dims) != NC_NOERR || dims[0] != dim) return {};
  if (nc_inq_dimlen(ncid, dims[1], &pair) != NC_NOERR || pair != 2) return {};
  if (nc_inq_vartype(ncid, bid, &type) != NC_NOERR || !numeric_type(type)) return {};
  file.check_extent(bid, *name, {n, 2}, bytes_of(type));
  std::vector<double> b(2 * n);
  if (n > 0) file.check(nc_get_var_double(ncid, bid, b.data()), "the bounds " + *name);
  for (const double x : b)
    if (!std::isfinite(x)) return {};
  return b;
}

}  // namespace

DepthLayers depth_layers(const NetcdfFile& file, int vid, int dim, const std::string& label,
                         const std::vector<double>& values, const std::string& units) {
  DepthLayers d;
  const double per = metres_per(units);
  for (const double x : values)
    if (!(x >= 0)) {
      d.failure = "the depth coordinate " + label + " holds " + shortest_double(x) + " " + trimmed(units) +
                  ", which is no depth below the ground";
      return d;
    }
  const std::vector<double> b = bounds_of(file, vid, dim, values.size());
  d.bounded = !b.empty() && std::all_of(b.begin(), b.end(), [](double x) { return x >= 0; });
  for (std::size_t k = 0; k < values.size(); ++k) {
    const double top = d.bounded ? std::min(b[2 * k], b[2 * k + 1]) : values[k];
    const double bottom = d.bounded ? std::max(b[2 * k], b[2 * k + 1]) : values[k];
    d.top.push_back(top * per);
    d.bottom.push_back(bottom * per);
  }
  return d;
}

std::string vertical_level_type(const CoordinateWords& c, const std::string& dimension) {
  const bool vertical = c.axis == "z" || !c.positive.empty() || one_of(c.standard, {"height", "altitude"});
  if (!vertical) return "";
  if (c.standard == "height" || (c.positive == "up" && metres_per(c.units) != 0.0 && !says(c.long_name, "alt")))
    return "heightAboveGround";
  if (c.standard == "altitude" || says(c.long_name, "altitude")) return "heightAboveSea";
  return dimension;
}

std::string vertical_unusable(const std::string& level_type, const std::string& label, const std::string& units) {
  const std::string kind = level_type == "heightAboveGround" ? "heights above the ground"
                           : level_type == "heightAboveSea"  ? "altitudes above the sea"
                                                             : "levels of no kind that its attributes name";
  return "its coordinate " + label + " holds " + kind + (units.empty() ? "" : " (" + trimmed(units) + ")") +
         ", and a case takes isobaric levels and layers below the ground only";
}

std::string level_type_attribute(int ncid, int vid) {
  const std::string t = lower(trimmed(text_att(ncid, vid, "level_type").value_or("")));
  if (t.empty()) return "";
  static constexpr std::pair<const char*, const char*> words[] = {
      {"surface", "surface"},           {"toa", "nominalTop"},       {"tropopause", "tropopause"},
      {"isotherm0", "isothermZero"},    {"meansea", "meanSea"},      {"cloudbase", "cloudBase"},
      {"cloudtop", "cloudTop"},         {"atmosphere", "entireAtmosphere"},
      {"seabottom", "seaBottom"},       {"lakebottom", "lakeBottom"},
  };
  for (const auto& [cdo, eccodes] : words)
    if (t == cdo) return eccodes;
  // Another kind: its own word, which no built-in entry of the table takes
  // for a surface field.
  const bool word = std::all_of(t.begin(), t.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
  return word && t.size() <= 64 ? t : "levelTypeOfItsOwn";
}

}  // namespace c2m::ingest::netcdf
