// The axes of a netCDF file: each dimension with what its coordinate
// variable (netcdf_coordinate: the variable of the dimension's name on
// that dimension alone, or the one variable named otherwise that is)
// makes of it, its coordinate values loaded when a field is on it, and the
// grid of a latitude and a longitude axis.
//
// An axis is known by its coordinate: latitude and longitude by their
// units (degrees_north, degrees_east), standard_name or names; a pressure
// by units of pressure (hPa, millibars, Pa, kPa); a depth below the ground
// by units of length going down (netcdf_vertical); a time by CF units
// "UNIT since DATE", a standard_name or the name time; ensemble members by
// the name number (or realization).  A dimension of length 1 may be any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "source/fields.hpp"
#include "source/netcdf_library.hpp"

namespace c2m::ingest {

// Most times of one time axis.
inline constexpr std::int64_t max_times = 100000;

}  // namespace c2m::ingest

namespace c2m::ingest::netcdf {

enum class Role { none, lat, lon, pressure, depth, time, member };

struct Axis {
  std::string name;
  int dim = -1;
  std::size_t length = 0;
  int coordinate = -1;  // its coordinate variable
  std::string label;    // the coordinate in diagnostics: "lat", or "lat(latitude)" named otherwise
  std::string why_none; // without a coordinate: why (netcdf_coordinate)
  Role role = Role::none;
  std::string units;
  std::string failure;   // why a field cannot be on it (thrown when one is)
  std::string unusable;  // why it is no axis of a field (the variable passed over)
  // A vertical coordinate of no role: the kind of level of a variable on
  // it when it is of length 1 (heightAboveGround, or the dimension's name).
  std::string level_type;
  bool loaded = false;
  std::vector<double> values;     // latitude, longitude: degrees
  std::vector<float> pressures;   // hPa
  std::vector<double> depth_top, depth_bottom;  // m below the ground, each layer's
  bool depth_bounded = false;                   // from bounds; else both the coordinate's value
  std::vector<ValidTime> times;
  std::vector<std::string> time_words;
  std::vector<long> members;
};

// The axes of FILE, those of DIMIDS, by dimension id, each classified by
// its coordinate.
using Axes = std::map<int, Axis>;
Axes read_axes(const NetcdfFile& file, const std::vector<int>& dimids);

// The coordinate values of A, loaded once: SizeFailure when its length is
// beyond the limits, or its coordinate beyond the file; a value that is
// not one of its kind leaves the reason in A.failure.
void load(const NetcdfFile& file, Axis& a);

// The grids of the latitude and longitude axes, worked out once per pair.
// A grid is regular_ll when both axes are evenly spaced (within what
// 4-byte coordinates can state), else of a type that says which is not.
class Grids {
 public:
  GridInfo of(const NetcdfFile& file, Axes& axes, int lat_dim, int lon_dim);

 private:
  std::map<std::pair<int, int>, GridInfo> known_;
};

}  // namespace c2m::ingest::netcdf
