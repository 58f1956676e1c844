// The coordinate variable of a netCDF dimension, which says what the
// dimension is (latitude, pressure, depth, time, ...) and holds its values.
//
// It is the variable of the dimension's own name that lies on that
// dimension alone.  Some tools name it otherwise: a dimension latitude
// whose values are in lat(latitude).  Such a variable is taken when it is
// the only numeric variable on that dimension alone, so that nothing is
// guessed; where there is none, or several, the reason is kept in words
// for the diagnostic that passes the dimension's variables over.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "source/netcdf_library.hpp"

namespace c2m::ingest::netcdf {

struct Coordinate {
  int varid = -1;      // -1 for none
  std::string label;   // "lat" of its own name, "lat(latitude)" named otherwise
  // For none, why, as a clause after the dimension's name and length:
  // "which has no coordinate variable (no variable latitude(latitude), nor
  // another on latitude alone)".
  std::string why_none;
};

// The numeric variables of FILE that lie on one dimension alone, by that
// dimension's id, each list in the file's order.
std::map<int, std::vector<int>> one_dimensional_variables(const NetcdfFile& file);

// The coordinate of the dimension NAME among ON_DIMENSION (the numeric
// variables on that dimension alone).
Coordinate find_coordinate(const NetcdfFile& file, const std::string& name, const std::vector<int>& on_dimension);

}  // namespace c2m::ingest::netcdf
