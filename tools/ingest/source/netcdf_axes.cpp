#include "source/netcdf_axes.hpp"

#include <cmath>

#include "kit/numbers.hpp"
#include "source/netcdf_coordinate.hpp"
#include "source/netcdf_quantity.hpp"
#include "source/netcdf_time.hpp"
#include "source/netcdf_vertical.hpp"

namespace c2m::ingest::netcdf {

namespace {

// A pressure in the coordinate's unit as hPa, through its decimal text
// so that 85000 Pa is exactly 850 hPa.
std::optional<float> pressure_hpa(double v, double per) {
  if (!std::isfinite(v) || !(v > 0)) return std::nullopt;
  const int shift = per == 1.0 ? 0 : per == 0.01 ? -2 : 1;
  const std::string mantissa_exponent = shortest_scientific(v);  // d.ddde+XX
  const auto e = mantissa_exponent.find('e');
  std::string_view x = std::string_view(mantissa_exponent).substr(e + 1);
  if (x.starts_with('+')) x.remove_prefix(1);
  int exponent = 0;
  read_integer(x, exponent);
  const std::string text = mantissa_exponent.substr(0, e) + "e" + decimal(exponent + shift);
  float p = 0;
  if (read_real(text, p) != NumberRead::done || !(p > 0.0f) || !std::isfinite(p)) return std::nullopt;
  return p;
}

bool is_latitude(const CoordinateWords& c, const std::string& dimension) {
  const bool named = one_of(c.name, {"latitude", "lat"}) || one_of(lower(dimension), {"latitude", "lat"});
  return one_of(c.units, {"degrees_north", "degree_north", "degree_n", "degrees_n", "degreen", "degreesn"}) ||
         c.standard == "latitude" || (c.units.empty() && named) ||
         (one_of(c.units, {"degrees", "degree"}) && (c.axis == "y" || named));
}

bool is_longitude(const CoordinateWords& c, const std::string& dimension) {
  const bool named = one_of(c.name, {"longitude", "lon"}) || one_of(lower(dimension), {"longitude", "lon"});
  return one_of(c.units, {"degrees_east", "degree_east", "degree_e", "degrees_e", "degreee", "degreese"}) ||
         c.standard == "longitude" || (c.units.empty() && named) ||
         (one_of(c.units, {"degrees", "degree"}) && (c.axis == "x" || named));
}

// What the coordinate variable of A, if it has one, makes of it.
void classify(const NetcdfFile& file, Axis& a) {
  if (a.coordinate < 0) return;
  const int ncid = file.ncid;
  char cname[NC_MAX_NAME + 1] = {};
  if (nc_inq_varname(ncid, a.coordinate, cname) != NC_NOERR) return;
  const CoordinateWords c = coordinate_words(ncid, a.coordinate, cname);
  a.units = text_att(ncid, a.coordinate, "units").value_or("");
  const auto named = [&](std::initializer_list<const char*> words) {
    return one_of(c.name, words) || one_of(lower(a.name), words);
  };
  if (is_latitude(c, a.name)) {
    a.role = Role::lat;
  } else if (is_longitude(c, a.name)) {
    a.role = Role::lon;
  } else if (hpa_per(c.units) != 0.0) {
    a.role = Role::pressure;
  } else if (c.standard == "air_pressure") {
    a.role = Role::pressure;
    a.failure = "the pressure coordinate " + a.label + " has the units '" + a.units +
                "', not hPa, millibars or Pa";
  } else if (depth_coordinate(c)) {
    a.role = Role::depth;
  } else if (named({"level", "pressure_level", "plev", "lev", "pressure", "isobaric", "isobaricinhpa"}) &&
             c.axis.empty() && c.positive.empty()) {
    a.unusable = "its coordinate " + a.label + " has the units '" + a.units + "', not those of a pressure";
  } else if (c.units.find(" since ") != std::string::npos || c.standard == "time" || named({"time", "valid_time"})) {
    a.role = Role::time;
  } else if (named({"number", "realization", "member", "ensemble_member"}) || c.standard == "realization") {
    a.role = Role::member;
  } else if (!(a.level_type = vertical_level_type(c, a.name)).empty()) {
    a.unusable = vertical_unusable(a.level_type, a.label, a.units);
  }
}

void load_depths(const NetcdfFile& file, Axis& a, const std::vector<double>& v) {
  DepthLayers d = depth_layers(file, a.coordinate, a.dim, a.label, v, a.units);
  a.failure = std::move(d.failure);
  a.depth_top = std::move(d.top);
  a.depth_bottom = std::move(d.bottom);
  a.depth_bounded = d.bounded;
}

void load_pressures(Axis& a, const std::vector<double>& v) {
  const double per = hpa_per(a.units);
  for (const double x : v) {
    const auto p = pressure_hpa(x, per);
    if (!p) {
      a.failure = "the pressure coordinate " + a.label + " holds the level " + shortest_double(x) + " " + a.units;
      return;
    }
    a.pressures.push_back(*p);
  }
}

void load_members(Axis& a, const std::vector<double>& v) {
  for (const double x : v) {
    if (!(x >= 0 && x <= 100000 && x == std::floor(x))) {
      a.failure = "the member coordinate " + a.label + " holds " + shortest_double(x) + ", not a member number";
      return;
    }
    a.members.push_back(static_cast<long>(x));
  }
}

void load_times(const NetcdfFile& file, Axis& a, const std::vector<double>& v) {
  const auto u = time_units(a.units);
  if (!u) {
    a.failure = "the time coordinate " + a.label + " has the units '" + a.units +
                "', not seconds, minutes, hours or days since a date (such as 'hours since "
                "1900-01-01 00:00:00')";
    return;
  }
  const std::string calendar = lower(trimmed(text_att(file.ncid, a.coordinate, "calendar").value_or("standard")));
  const bool mixed = one_of(calendar, {"standard", "gregorian", ""});
  if (!mixed && calendar != "proleptic_gregorian") {
    a.failure = "the time coordinate " + a.label + " is in the calendar '" + calendar +
                "'; ingest reads the standard (gregorian) and proleptic_gregorian calendars only";
    return;
  }
  const auto fills = numeric_att(file.ncid, a.coordinate, "_FillValue", 1);
  for (const double x : v) {
    if (!fills.empty() && x == fills[0]) {
      a.failure = "the time coordinate " + a.label + " holds its fill value: a time is missing";
      return;
    }
    auto t = valid_time(x, *u, mixed);
    if (auto* why = std::get_if<std::string>(&t)) {
      a.failure = "the time coordinate " + a.label + " (" + a.units + ") holds " + *why;
      return;
    }
    a.times.push_back(std::get<ValidTime>(t));
    a.time_words.push_back(a.name + " " + shortest_double(x) + " " + trimmed(a.units));
  }
}

// The values V evenly spaced (round the earth when WRAP), their step in
// STEP; true for fewer than two.
bool even(const std::vector<double>& v, bool wrap, double& step) {
  if (v.size() < 2) return true;
  auto diff = [&](std::size_t k) {
    double d = v[k] - v[k - 1];
    if (wrap) d = std::remainder(d, 360.0);
    return d;
  };
  double sum = 0;
  for (std::size_t k = 1; k < v.size(); ++k) sum += diff(k);
  step = sum / static_cast<double>(v.size() - 1);
  if (!(std::fabs(step) > 0)) return false;
  const double tol = 2e-4 + 1e-3 * std::fabs(step);
  double at = v[0];
  for (std::size_t k = 1; k < v.size(); ++k) {
    at += diff(k);
    if (std::fabs(at - (v[0] + static_cast<double>(k) * step)) > tol) return false;
  }
  return true;
}

// Why the evenly spaced coordinate A, STEP degrees apart (longitudes when
// WRAP), cannot place a case's grid, or nothing.  The run description
// states the increments in thousandths of a degree, so a smaller one is
// none; and longitudes, taken step by step the short way round, must go
// one way round the earth at most once, else two columns stand on one
// meridian.
std::string unplaceable(const Axis& a, bool wrap) {
  const std::size_t n = a.values.size();
  double step = 0;
  if (n < 2 || !even(a.values, wrap, step)) return "";  // unevenly spaced: refused as a grid type
  const std::string what = wrap ? "longitudes" : "latitudes";
  if (std::llround(std::fabs(step) * 1000.0) == 0)
    return "the " + what + " of " + a.name + " are " + shortest_double(std::fabs(step)) +
           " degrees apart, which is 0 in thousandths of a degree, the unit of a case's grid";
  const double span = std::fabs(step) * static_cast<double>(n - 1);
  if (!wrap || span <= 360.0 + 1e-3 * std::fabs(step)) return "";
  std::string listed;
  for (std::size_t k = 0; k < n; ++k) {
    if (n > 4 && k == 3) {
      listed += ", ...";
      k = n - 1;
    }
    listed += (k == 0 ? "" : ", ") + shortest_double(a.values[k]);
  }
  return "the longitudes of " + a.name + " (" + listed +
         ") are not one monotonic sequence round the earth: taken the short way round, they go " +
         (step < 0 ? "west" : "east") + " by " + shortest_double(std::fabs(step)) + " degrees a step, over " +
         shortest_double(span) + " degrees, more than a circle";
}

}  // namespace

Axes read_axes(const NetcdfFile& file, const std::vector<int>& dimids) {
  Axes axes;
  const auto on_dimension = one_dimensional_variables(file);
  for (const int d : dimids) {
    char name[NC_MAX_NAME + 1] = {};
    std::size_t len = 0;
    file.check(nc_inq_dim(file.ncid, d, name, &len), "dimension " + decimal(d));
    Axis& a = axes[d];
    a.name = name;
    a.dim = d;
    a.length = len;
    const auto it = on_dimension.find(d);
    const Coordinate c = find_coordinate(file, a.name, it == on_dimension.end() ? std::vector<int>{} : it->second);
    a.coordinate = c.varid;
    a.label = c.label;
    a.why_none = c.why_none;
  }
  for (auto& [d, a] : axes) classify(file, a);
  return axes;
}

void load(const NetcdfFile& file, Axis& a) {
  if (a.loaded) return;
  a.loaded = true;
  const bool vertical = a.role == Role::pressure || a.role == Role::depth;
  const std::int64_t limit = vertical                 ? max_levels
                             : a.role == Role::time   ? max_times
                             : a.role == Role::member ? 100000
                                                      : max_plane_points;
  const char* what = vertical                 ? "levels"
                     : a.role == Role::time   ? "times"
                     : a.role == Role::member ? "members"
                                              : "points";
  if (a.length > static_cast<std::size_t>(limit))
    throw SizeFailure(file.path + ": dimension " + a.name + " claims " + decimal(static_cast<long long>(a.length)) +
                      " " + what + ", more than the limit of " + decimal(limit));
  nc_type type = 0;
  file.check(nc_inq_vartype(file.ncid, a.coordinate, &type), "coordinate variable " + a.label);
  file.check_extent(a.coordinate, a.label, {a.length}, bytes_of(type));
  std::vector<double> v(a.length);
  if (a.length > 0) file.check(nc_get_var_double(file.ncid, a.coordinate, v.data()), "coordinate variable " + a.label);
  for (const double x : v)
    if (!std::isfinite(x) && a.role != Role::time) {
      a.failure = "the coordinate " + a.label + " holds a value that is not a number";
      return;
    }
  switch (a.role) {
    case Role::lat:
    case Role::lon: a.values = std::move(v); return;
    case Role::pressure: load_pressures(a, v); return;
    case Role::depth: load_depths(file, a, v); return;
    case Role::member: load_members(a, v); return;
    case Role::time: load_times(file, a, v); return;
    case Role::none: return;
  }
}

GridInfo Grids::of(const NetcdfFile& file, Axes& axes, int lat_dim, int lon_dim) {
  if (auto it = known_.find({lat_dim, lon_dim}); it != known_.end()) return it->second;
  Axis& la = axes[lat_dim];
  Axis& lo = axes[lon_dim];
  if (la.length * lo.length > static_cast<std::size_t>(max_plane_points) ||
      (lo.length != 0 && la.length > static_cast<std::size_t>(max_plane_points) / lo.length))
    throw SizeFailure(file.path + ": the grid of " + la.name + " and " + lo.name + " claims " +
                      decimal(static_cast<long long>(lo.length)) + " x " + decimal(static_cast<long long>(la.length)) +
                      " points, more than the limit of " + decimal(max_plane_points) + " a plane");
  load(file, la);
  load(file, lo);
  for (const Axis* a : {&la, &lo})
    if (!a->failure.empty()) throw file.fail(a->failure);
  for (const auto& [axis, wrap] : {std::pair{&la, false}, std::pair{&lo, true}})
    if (const std::string why = unplaceable(*axis, wrap); !why.empty()) throw file.fail(why);
  GridInfo& g = known_[{lat_dim, lon_dim}];
  g.type = "regular_ll";
  g.ni = static_cast<std::int64_t>(lo.length);
  g.nj = static_cast<std::int64_t>(la.length);
  if (g.ni < 1 || g.nj < 1) return g;
  double dlat = 0, dlon = 0;
  const bool lat_even = even(la.values, false, dlat), lon_even = even(lo.values, true, dlon);
  if (!lat_even || !lon_even) {
    g.type = !lat_even ? "unevenly spaced latitudes" : "unevenly spaced longitudes";
    return g;
  }
  g.lat_first = la.values.front();
  g.lat_last = g.nj > 1 ? la.values.front() + static_cast<double>(g.nj - 1) * dlat : g.lat_first;
  g.lon_first = lo.values.front();
  g.lon_last = g.ni > 1 ? lo.values.front() + static_cast<double>(g.ni - 1) * dlon : g.lon_first;
  if (g.nj > 1) g.dj = std::fabs(dlat);
  if (g.ni > 1) g.di = std::fabs(dlon);
  g.j_positive = dlat > 0;
  g.i_negative = dlon < 0;
  return g;
}

}  // namespace c2m::ingest::netcdf
