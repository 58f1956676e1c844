// The run context and the work arrays that the stages of conv2model share.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "conv2model/field.hpp"
#include "conv2model/record_io.hpp"
#include "layout/values.hpp"

namespace c2m {

// The marks of a missing datum (a level of an upper-air field, or a surface
// plane, is missing when its point (1, 1) equals it) and of an undefined
// point of the input grid file.
using layout::missing_value;
using layout::undefined_value;

// Gravity divisor: geopotential (m2 s-2) to geopotential height (m).
inline constexpr float gravity = 9.8f;

// Number of surface planes of slp.
inline constexpr std::int32_t surface_planes = 12;

// Planes of slp.
namespace plane {
inline constexpr std::int32_t land_sea_mask = 1;
inline constexpr std::int32_t msl_pressure = 2;
inline constexpr std::int32_t surface_pressure = 3;
inline constexpr std::int32_t topography = 4;
inline constexpr std::int32_t soil_temp_1 = 5;
inline constexpr std::int32_t soil_moist_1 = 6;
inline constexpr std::int32_t soil_temp_2 = 7;
inline constexpr std::int32_t soil_moist_2 = 8;
}  // namespace plane

// Largest im x jm whose record of im x jm x 4 bytes fits a 32-bit signed
// length.
inline constexpr std::int64_t max_points = 536870911;

// Most levels a run description may announce: far beyond any atmosphere's,
// and small enough that the level tables of a run are a few megabytes.
inline constexpr std::int32_t max_levels = 100000;

struct RunContext {
  std::string input_path;   // 255 characters, line 1 of standard input
  std::string second_path;  // 255 characters, line 2; no stage reads it
  std::string run_label;    // 20 characters, echoed to the log
  std::int32_t im = 0;      // points along a row, west to east
  std::int32_t jm = 0;      // rows, south to north
  std::int32_t lm = 0;      // pressure levels, from the bottom up
  // Grid type, first latitude and longitude, last latitude and longitude,
  // increments along i and j: they become kgds(1, 4, 5, 7, 8, 9, 10).
  std::array<std::int32_t, 7> grid{};
  std::int32_t nsfcfld = surface_planes;
  std::string date;  // 8 characters; no stage uses it
  std::string directory;  // where relative names are found; empty: the working directory

  // NAME as the run opens it: within DIRECTORY unless NAME is absolute.
  std::string located(const std::string& name) const {
    if (directory.empty() || name.starts_with('/')) return name;
    return directory + "/" + name;
  }
};

// The work arrays, (i, j, k) with k = 1 the lowest level, and the input
// grid file whose records their planes stand for.
struct WorkArrays {
  Field ht;     // geopotential height, m
  Field tp;     // temperature, K
  Field uw;     // zonal wind, m/s
  Field vw;     // meridional wind, m/s
  Field rh;     // relative humidity, percent
  Field q;      // specific humidity as delivered (only checked)
  Field slp;    // the twelve surface planes
  std::vector<float> pr;  // pressure of each level, hPa, pr[k - 1] for level k
  InputGrid input;
};

}  // namespace c2m
