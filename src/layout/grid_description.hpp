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
//
// The reader is shared by every program that looks at a model data file;
// the converter writes the file in src/conv2model/grid_description.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "layout/records.hpp"

namespace c2m::layout {

// The field listing as the converter writes it, one line per field in
// record order (the text after the leading blank).
inline constexpr std::array<std::string_view, field_count> listed_field_names = {{
    "Zonal wind                (m/s)",
    "Meridional wind           (m/s)",
    "Geopotential height       (m)",
    "Specific humidity         (kg/kg)",
    "Temperature               (K)",
    "Land-sea mask             ( )",
    "M S L Pressure            (hPa)",
    "Surface Pressure          (hPa)",
    "Topography                (m)",
    "Soil Temperature  layer 1 (K)",
    "Soil Moisture layer 1     (0-1)",
    "Soil Temperature  layer 2 (K)",
    "Soil Moisture layer 2     (0-1)",
    "Soil Temperature  layer 3 (K)",
    "Soil Moisture layer 3     (0-1)",
    "Soil Temperature  layer 4 (K)",
    "Soil Moisture layer 4     (0-1)",
}};

// A field name as the grid description lists it: "Zonal wind" and "m/s".
struct ListedName {
  std::string name;
  std::string unit;  // empty for "( )"
  // "Zonal wind (m/s)", or only the name when the unit is empty.
  std::string with_unit() const;
};

struct GridDescription {
  std::int32_t lm = 0;
  // Level pressures in Pa in record order: level k = 1 (the bottom) first.
  std::vector<float> pressure_pa;
  // kgds(1) .. kgds(11) at indexes 0 .. 10, and the value of the twelfth
  // kgds line at index 11.
  std::array<std::int32_t, 12> kgds_values{};
  // The field listing, in record order: five upper-air fields, then the
  // twelve surface fields.
  std::array<ListedName, field_count> listed;

  // kgds(n), n = 1 .. 12 as numbered in the file.
  std::int32_t kgds(int n) const { return kgds_values.at(static_cast<std::size_t>(n - 1)); }
  std::int32_t im() const { return kgds(2); }
  std::int32_t jm() const { return kgds(3); }
  std::int64_t points() const { return std::int64_t{im()} * jm(); }
  std::int64_t record_count() const { return model_record_count(lm); }
  // Fits in 64 bits: im and jm are positive 32-bit integers.
  std::uint64_t record_bytes() const { return static_cast<std::uint64_t>(points()) * 4; }
  // The size of the whole file, or nothing when no file could be that
  // large (more than 64 bits).
  std::optional<std::uint64_t> file_bytes() const {
    const auto records = static_cast<std::uint64_t>(record_count());
    if (records > UINT64_MAX / record_bytes()) return std::nullopt;
    return records * record_bytes();
  }
  // Byte offset of record N (from 1).
  std::uint64_t record_offset(std::int64_t n) const {
    return static_cast<std::uint64_t>(n - 1) * record_bytes();
  }
  // Pressure of level K (1 .. lm) in hPa: the description holds hPa x 100
  // as 4-byte reals, and dividing in the same precision gives back the hPa
  // of the run description (850, 1013.25).
  float level_hpa(std::int64_t k) const {
    return pressure_pa[static_cast<std::size_t>(k - 1)] / 100.0f;
  }
};

// The largest lm for which 5 x lm + 12 records still have a 32-bit number.
inline constexpr std::int32_t most_levels = (2147483647 - 12) / 5;

// Reads a grid description from IN; NAME is the file name the diagnostics
// give.  Throws IoFailure naming the line that is not as expected, or that
// holds a value no grid can have: a pressure that is not a finite number
// above 0, a latitude beyond a pole, an increment of 0, or an increment
// along j that takes the last row past a pole.
GridDescription parse_grid_description(std::istream& in, const std::string& name);

// The grid description file of a model data file: DATA_PATH + ".gdsinfo".
std::string grid_description_path(const std::string& data_path);

// Reads the grid description beside the model data file DATA_PATH.  When it
// cannot be opened the diagnostic (CannotOpen) gives the system's reason
// and, for the usual slips (naming the description itself, or the
// converter's input instead of its output), what was probably meant.
GridDescription read_grid_description(const std::string& data_path);

}  // namespace c2m::layout
