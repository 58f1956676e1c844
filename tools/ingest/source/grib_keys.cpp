#include "source/grib_keys.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "eccodes_context.hpp"
#include "kit/numbers.hpp"

namespace c2m::ingest::grib {

codes_context* context() { return eccodes(); }

std::mutex& multi_field_mutex() {
  static std::mutex m;
  return m;
}

std::mutex& handle_mutex() {
  static std::mutex m;
  return m;
}

Handle handle_from(const unsigned char* data, std::size_t size, bool partial) {
  std::lock_guard<std::mutex> lock(handle_mutex());
  return Handle(partial ? codes_handle_new_from_partial_message(context(), data, size)
                        : codes_handle_new_from_message(context(), data, size));
}

Handle next_field_handle(void** data, std::size_t* left, int* err) {
  std::lock_guard<std::mutex> lock(handle_mutex());
  return Handle(codes_grib_handle_new_from_multi_message(context(), data, left, err));
}

void multi_field_support() {
  static std::once_flag once;
  std::call_once(once, [] { codes_grib_multi_support_on(context()); });
}

namespace {

bool defined(codes_handle* h, const char* key) { return codes_is_defined(h, key) != 0; }

}  // namespace

std::optional<long> get_long(codes_handle* h, const char* key) {
  if (!defined(h, key)) return std::nullopt;
  int err = 0;
  if (codes_is_missing(h, key, &err) == 1 && err == 0) return std::nullopt;
  long v = 0;
  if (codes_get_long(h, key, &v) != 0) return std::nullopt;
  return v;
}

std::optional<double> get_double(codes_handle* h, const char* key) {
  if (!defined(h, key)) return std::nullopt;
  int err = 0;
  if (codes_is_missing(h, key, &err) == 1 && err == 0) return std::nullopt;
  double v = 0;
  if (codes_get_double(h, key, &v) != 0) return std::nullopt;
  return v;
}

std::string get_string(codes_handle* h, const char* key) {
  if (!defined(h, key)) return "";
  char buf[256];
  std::size_t len = sizeof buf;
  if (codes_get_string(h, key, buf, &len) != 0) return "";
  return std::string(buf, ::strnlen(buf, std::min(len, sizeof buf)));
}

namespace {

// SV x 10^-(SF + SHIFT) as a 4-byte real, through its decimal text so
// that 85000 Pa is exactly 850 hPa and 79432.82 Pa exactly 794.3282.
std::optional<float> scaled_real(long sv, long sf, int shift) {
  const std::string text = decimal(sv) + "e" + decimal(-(sf + shift));
  float v = 0;
  if (read_real(text, v) != NumberRead::done || !(v > 0.0f) || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<double> scaled_depth(codes_handle* h, const char* value_key, const char* factor_key) {
  const auto sv = get_long(h, value_key);
  if (!sv) return std::nullopt;
  const long sf = get_long(h, factor_key).value_or(0);
  if (sf < -20 || sf > 20) return std::nullopt;
  return static_cast<double>(*sv) * std::pow(10.0, -static_cast<double>(sf));
}

// The level of a message: the pressure of an isobaric one, the depths of
// a layer (or level) below the land surface.
void read_level(codes_handle* h, FieldInfo& f) {
  if (f.level_type == "isobaricInhPa" || f.level_type == "isobaricInPa") {
    if (f.edition == 2) {
      const auto sv = get_long(h, "scaledValueOfFirstFixedSurface");
      const long sf = get_long(h, "scaleFactorOfFirstFixedSurface").value_or(0);
      if (sv && sf >= -20 && sf <= 20) f.pressure_hpa = scaled_real(*sv, sf, 2);
    } else if (const auto level = get_long(h, "level")) {
      f.pressure_hpa = scaled_real(*level, 0, f.level_type == "isobaricInPa" ? 2 : 0);
    }
    return;
  }
  if (f.level_type == "depthBelowLandLayer" || f.level_type == "depthBelowLand") {
    if (f.edition == 2) {
      f.depth_top_m = scaled_depth(h, "scaledValueOfFirstFixedSurface", "scaleFactorOfFirstFixedSurface");
      f.depth_bottom_m = scaled_depth(h, "scaledValueOfSecondFixedSurface", "scaleFactorOfSecondFixedSurface");
      if (!f.depth_bottom_m) f.depth_bottom_m = f.depth_top_m;
    } else if (f.level_type == "depthBelowLandLayer") {
      // Edition 1 states the layer's top and bottom in centimetres.
      if (const auto top = get_long(h, "topLevel")) f.depth_top_m = static_cast<double>(*top) / 100.0;
      if (const auto bottom = get_long(h, "bottomLevel"))
        f.depth_bottom_m = static_cast<double>(*bottom) / 100.0;
    } else if (const auto level = get_long(h, "level")) {
      f.depth_top_m = f.depth_bottom_m = static_cast<double>(*level) / 100.0;
    }
  }
}

void read_grid(codes_handle* h, FieldInfo& f) {
  GridInfo& g = f.grid;
  g.type = get_string(h, "gridType");
  f.points = get_long(h, "numberOfDataPoints").value_or(0);
  if (g.type.empty()) g.catalogued = get_long(h, "gridDefinition").value_or(0);
  if (g.type != "regular_ll") return;
  g.ni = get_long(h, "Ni").value_or(0);
  g.nj = get_long(h, "Nj").value_or(0);
  g.lat_first = get_double(h, "latitudeOfFirstGridPointInDegrees").value_or(0);
  g.lon_first = get_double(h, "longitudeOfFirstGridPointInDegrees").value_or(0);
  g.lat_last = get_double(h, "latitudeOfLastGridPointInDegrees").value_or(0);
  g.lon_last = get_double(h, "longitudeOfLastGridPointInDegrees").value_or(0);
  g.di = get_double(h, "iDirectionIncrementInDegrees");
  g.dj = get_double(h, "jDirectionIncrementInDegrees");
  g.i_negative = get_long(h, "iScansNegatively").value_or(0) != 0;
  g.j_positive = get_long(h, "jScansPositively").value_or(0) != 0;
  g.j_consecutive = get_long(h, "jPointsAreConsecutive").value_or(0) != 0;
  g.alternating = get_long(h, "alternativeRowScanning").value_or(0) != 0;
}

std::string run_words(codes_handle* h) {
  const long date = get_long(h, "dataDate").value_or(0);
  const long time = get_long(h, "dataTime").value_or(0);
  ValidTime run{date, static_cast<int>(time)};
  std::string w = "run " + run.words();
  const std::string step = get_string(h, "stepRange");
  if (!step.empty()) {
    w += " + " + step;
    const std::string units = get_string(h, "stepUnits");
    if (!units.empty()) w += " " + units;
  }
  return w;
}

// The short name of a parameter is the same in every message of it, and
// working it out costs as much as the parameter itself: it is worked out
// once per paramId, and not at all for the parameters a case is made of,
// whose names (ecCodes' own) are known here.
std::string short_name_of(codes_handle* h, long param_id) {
  static std::mutex m;
  static std::map<long, std::string> known = {
      {129, "z"},       {156, "gh"},        {133, "q"},      {157, "r"},      {130, "t"},
      {131, "u"},       {132, "v"},         {172, "lsm"},    {151, "msl"},    {260074, "prmsl"},
      {260317, "mslet"}, {134, "sp"},       {228002, "orog"}, {139, "stl1"},  {170, "stl2"},
      {183, "stl3"},    {236, "stl4"},      {39, "swvl1"},   {40, "swvl2"},   {41, "swvl3"},
      {42, "swvl4"},    {228139, "st"},     {260185, "soilw"}, {228039, "sm"}};
  {
    std::lock_guard<std::mutex> lock(m);
    if (auto it = known.find(param_id); it != known.end()) return it->second;
  }
  std::string name = get_string(h, "shortName");
  std::lock_guard<std::mutex> lock(m);
  known.emplace(param_id, name);
  return name;
}

}  // namespace

void describe(codes_handle* h, FieldInfo& f) {
  f.centre = get_long(h, "centre").value_or(0);
  f.centre_name = get_string(h, "centre");
  f.short_name = short_name_of(h, f.param_id);
  f.level_type = get_string(h, "typeOfLevel");
  read_level(h, f);
  f.valid.date = get_long(h, "validityDate").value_or(0);
  f.valid.hhmm = static_cast<int>(get_long(h, "validityTime").value_or(0));
  f.member = get_long(h, "number").value_or(0);
  f.run = run_words(h);
  read_grid(h, f);
  if (f.param_id == 131 || f.param_id == 132)
    f.uv_relative_to_grid = get_long(h, "uvRelativeToGrid").value_or(0) == 1;
}

}  // namespace c2m::ingest::grib
