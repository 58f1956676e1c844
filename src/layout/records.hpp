// The record layouts of the two binary files that the converter, the front
// door, the case makers and the tests all use: the input grid file and the
// model data file.  Both are headerless sequences of records of im x jm
// little-endian 4-byte reals, record n (from 1) at byte (n - 1) x im x jm x 4.
//
// Input grid file, 6 x lm + 12 records, rows stored north to south:
//   geopotential, relative humidity, specific humidity, temperature, zonal
//   and meridional wind, each for levels 1 (the bottom) to lm; then the
//   twelve surface planes.
// Model data file, 5 x lm + 12 records, rows stored south to north:
//   zonal wind, meridional wind, geopotential height, specific humidity,
//   temperature, each for levels 1 to lm; then the twelve surface planes.
// Surface planes, in both files: land-sea mask, mean sea-level pressure,
// surface pressure, surface geopotential (input) or topography (model
// data), then soil temperature and soil moisture of layers 1 to 4,
// alternating.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace c2m::layout {

inline constexpr int surface_count = 12;

// Upper-air blocks of the input grid file, in file order.
enum class InputUpper : int { geopotential = 0, rh = 1, q = 2, t = 3, u = 4, v = 5 };
inline constexpr int input_upper_count = 6;

// Surface planes, numbered from 1 as in both files.
namespace sfc {
inline constexpr int lsm = 1, msl = 2, sp = 3, orog = 4;
inline constexpr int stl1 = 5, swvl1 = 6, stl2 = 7, swvl2 = 8;
inline constexpr int stl3 = 9, swvl3 = 10, stl4 = 11, swvl4 = 12;
// Soil temperature and moisture of layer L (1 .. 4).
constexpr int soil_t(int layer) { return 3 + 2 * layer; }
constexpr int soil_m(int layer) { return 4 + 2 * layer; }
}  // namespace sfc

constexpr std::int64_t input_record_count(std::int64_t lm) { return 6 * lm + surface_count; }
// Record of level K (1 .. lm) of block F.
constexpr std::int64_t input_record(InputUpper f, std::int64_t k, std::int64_t lm) {
  return static_cast<std::int64_t>(f) * lm + k;
}
// Record of surface plane P (1 .. 12).
constexpr std::int64_t input_surface_record(int p, std::int64_t lm) { return 6 * lm + p; }

// The model data file's seventeen fields, in record order: five upper-air
// fields, then the twelve surface planes.
inline constexpr int upper_count = 5;
inline constexpr int field_count = upper_count + surface_count;

struct FieldInfo {
  std::string_view short_name;     // the one name of the field everywhere
  std::string_view long_name;      // in words
  // As the model takes it, in CF's (udunits) spelling; empty for none.  The
  // soil moisture is a volume fraction (0 to 1) and, like the land-sea mask,
  // has the unit 1.
  std::string_view unit;
  std::string_view standard_name;  // CF standard name; empty where CF has none
};

inline constexpr std::array<FieldInfo, field_count> fields = {{
    {"u", "zonal wind", "m s-1", "eastward_wind"},
    {"v", "meridional wind", "m s-1", "northward_wind"},
    {"gh", "geopotential height", "m", "geopotential_height"},
    {"q", "specific humidity", "kg kg-1", "specific_humidity"},
    {"t", "temperature", "K", "air_temperature"},
    {"lsm", "land-sea mask", "1", "land_binary_mask"},
    {"msl", "mean sea-level pressure", "hPa", "air_pressure_at_mean_sea_level"},
    {"sp", "surface pressure", "hPa", "surface_air_pressure"},
    {"orog", "topography", "m", "surface_altitude"},
    {"stl1", "soil temperature layer 1", "K", "soil_temperature"},
    {"swvl1", "soil moisture layer 1", "1", "volume_fraction_of_condensed_water_in_soil"},
    {"stl2", "soil temperature layer 2", "K", "soil_temperature"},
    {"swvl2", "soil moisture layer 2", "1", "volume_fraction_of_condensed_water_in_soil"},
    {"stl3", "soil temperature layer 3", "K", "soil_temperature"},
    {"swvl3", "soil moisture layer 3", "1", "volume_fraction_of_condensed_water_in_soil"},
    {"stl4", "soil temperature layer 4", "K", "soil_temperature"},
    {"swvl4", "soil moisture layer 4", "1", "volume_fraction_of_condensed_water_in_soil"},
}};

constexpr std::int64_t model_record_count(std::int64_t lm) { return 5 * lm + surface_count; }

// Record of field F (0 .. 16 in the table above) at level K (1 .. lm; any
// value for a surface field).
constexpr std::int64_t model_record(int f, std::int64_t k, std::int64_t lm) {
  return f < upper_count ? f * lm + k : 5 * lm + (f - upper_count + 1);
}

// Field (0 .. 16) and level (1 .. lm, 0 at the surface) of record N, or
// nothing when N is outside 1 .. 5 lm + 12.
struct RecordPlace {
  int field = 0;
  std::int64_t level = 0;
};
constexpr std::optional<RecordPlace> model_place(std::int64_t n, std::int64_t lm) {
  if (n < 1 || n > model_record_count(lm)) return std::nullopt;
  if (n <= 5 * lm) return RecordPlace{static_cast<int>((n - 1) / lm), (n - 1) % lm + 1};
  return RecordPlace{static_cast<int>(upper_count + (n - 5 * lm - 1)), 0};
}

// The field of short name NAME, or nothing.
constexpr std::optional<int> field_by_name(std::string_view name) {
  for (int f = 0; f < field_count; ++f)
    if (fields[static_cast<std::size_t>(f)].short_name == name) return f;
  return std::nullopt;
}

}  // namespace c2m::layout
