// The scan of a netCDF file open in libnetcdf: which of its variables hold
// fields, how each plane of them is found and made values, and what the
// rest of the file holds.
//
// A field is one latitude/longitude plane of a variable: a variable on a
// latitude and a longitude axis (in either order), and at most a time, a
// vertical (pressure or depth) and an ensemble-member axis besides (any of
// them in any order, and any dimension of length 1).  A variable on a
// vertical coordinate of length 1 that is neither, or with CDO's
// level_type attribute, is at that level, not at the surface.  Every size it claims is checked before
// anything is allocated for it: its axes against the limits, its values
// against the bytes the file has, the planes of the file against
// max_netcdf_fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "source/fields.hpp"
#include "source/netcdf_library.hpp"
#include "source/netcdf_quantity.hpp"

namespace c2m::ingest {

// Most fields (planes) of one file.
inline constexpr std::int64_t max_netcdf_fields = 1000000;

}  // namespace c2m::ingest

namespace c2m::ingest::netcdf {

// How one variable's planes are found and turned into values.
struct Variable {
  int id = 0;
  std::string name;
  nc_type type = 0;
  std::size_t value_bytes = 0;
  std::vector<std::size_t> shape;
  int lat = -1, lon = -1, time = -1, level = -1, member = -1;  // positions among its dimensions
  std::size_t times = 1, levels = 1, members = 1;
  std::int64_t points = 0;
  bool packed = false;
  double scale = 1, offset = 0;
  std::vector<double> fills;  // in the stored values' terms
  UnitChange units;
  // The kind of level of a variable on no pressure or depth axis, when it
  // is not the surface (netcdf_vertical): "heightAboveGround", "tropopause".
  std::string level_type;
};

struct Contents {
  std::vector<Variable> vars;      // those that hold fields; variable N (from 1) at [N - 1]
  std::vector<FieldInfo> fields;   // plane P of variable N: message N, offset P
  std::vector<std::string> others; // the rest, in words
};

// The contents of FILE, input file number INDEX, whose centre is CENTRE.
// Throws IoFailure or SizeFailure naming the file, the variable and the
// cause.
Contents scan(const NetcdfFile& file, int index, const Centre& centre);

}  // namespace c2m::ingest::netcdf
