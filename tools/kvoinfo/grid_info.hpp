// The grid description file that the converter writes beside the model data
// file (model data file name + ".gdsinfo").  It is a text file of lm + 38
// lines, each with one leading blank:
//
//   lm " => Number of Levels"
//   "Pressure in Pa"
//   lm pressures in Pa, one per line, from the top level (k = lm) down to
//     the bottom one (k = 1): the reverse of the record order
//   kgds(1) .. kgds(11), one per line, each followed by the text "kgds(n)"
//   255 "kgds(12)"
//   (empty) "Fields names and writing order" (empty) "3D"
//   "first written record: botton of the atmosphere"
//   5 upper-air field names, each "Name (unit)" with the name in 26 columns
//   (empty) "2D"
//   12 surface field names
//
// kgds is the grid description of a latitude/longitude grid in the integer
// layout of GRIB edition 1: (1) grid type, (2) im, (3) jm, (4) latitude and
// (5) longitude of the first point, (6) 128, (7) latitude and (8) longitude
// of the last point, (9) increment along i, (10) increment along j,
// (11) 64 (rows run south to north); angles in thousandths of a degree.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace kvo {

inline constexpr int upper_field_count = 5;
inline constexpr int surface_field_count = 12;

// A field name as the grid description lists it: "Zonal wind" and "m/s".
struct FieldName {
  std::string name;
  std::string unit;  // empty for "( )"
  // "Zonal wind (m/s)", or only the name when the unit is empty.
  std::string with_unit() const;
};

struct GridInfo {
  std::int32_t lm = 0;
  // Level pressures in Pa in record order: level k = 1 (the bottom) first.
  std::vector<float> pressure_pa;
  // kgds(1) .. kgds(11) at indexes 0 .. 10, and the value of the twelfth
  // kgds line at index 11.
  std::array<std::int32_t, 12> kgds_values{};
  std::array<FieldName, upper_field_count> upper;
  std::array<FieldName, surface_field_count> surface;

  // kgds(n), n = 1 .. 12 as numbered in the file.
  std::int32_t kgds(int n) const { return kgds_values.at(static_cast<std::size_t>(n - 1)); }
  std::int32_t im() const { return kgds(2); }
  std::int32_t jm() const { return kgds(3); }
  std::int64_t points() const { return std::int64_t{im()} * jm(); }
  std::int64_t record_count() const { return 5 * std::int64_t{lm} + surface_field_count; }
  std::uint64_t record_bytes() const { return static_cast<std::uint64_t>(points()) * 4; }
  std::uint64_t file_bytes() const {
    return static_cast<std::uint64_t>(record_count()) * record_bytes();
  }
};

// Reads a grid description from IN; NAME is the file name the diagnostics
// give.  Throws GridInfoError naming the line that is not as expected.
GridInfo parse_grid_info(std::istream& in, const std::string& name);

// The grid description file of a model data file: DATA_PATH + ".gdsinfo".
std::string grid_info_path(const std::string& data_path);

// Reads the grid description beside the model data file DATA_PATH.  When it
// cannot be opened the diagnostic gives the system's reason and, for the
// usual slips (naming the description itself, or the converter's input
// instead of its output), what was probably meant.
GridInfo read_grid_info(const std::string& data_path);

}  // namespace kvo
