// Synthetic input cases for conv2model: one analysis time of a plausible
// atmosphere on pressure levels over a regular latitude/longitude grid,
// written as the run description, the date file and the input grid file.
//
// The atmosphere is built from smooth, physically motivated pieces rather
// than noise: a zonal-mean climate that depends on latitude and season, a
// few travelling planetary waves that are hydrostatic in temperature and
// geopotential and geostrophic in the wind, surface lows and highs, a land
// mask with the real continents, and terrain.  Everything is a function of a
// seed through a small deterministic generator, so a seed always gives the
// same bytes.
#pragma once

#include <bit>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli.hpp"
#include "layout/values.hpp"

namespace synth {

// A bad command line or an impossible set of options.
using UsageError = c2m::cli::UsageError;

// The bits of the file's mark for an undefined point (9.999e20 as a 4-byte
// real), as the synthetic fields are compared by.
inline constexpr std::uint32_t undefined_bits = std::bit_cast<std::uint32_t>(c2m::layout::undefined_value);

// A regular latitude/longitude grid.  Angles are in thousandths of a degree,
// the unit of the grid integers in the run description.  The first point is
// the south-west corner; rows run south to north with j, points west to east
// with i.
struct Grid {
  int im = 0;
  int jm = 0;
  std::int32_t lat_first = 0;  // southernmost row
  std::int32_t lon_first = 0;  // westernmost column
  std::int32_t di = 0;         // increment along i (east)
  std::int32_t dj = 0;         // increment along j (north)

  std::int32_t lat_last() const { return lat_first + (jm - 1) * dj; }
  std::int32_t lon_last() const { return lon_first + (im - 1) * di; }
  double lat_deg(int j) const { return (lat_first + j * dj) / 1000.0; }
  double lon_deg(int i) const { return (lon_first + i * di) / 1000.0; }
};

struct CaseSettings {
  Grid grid;
  std::vector<float> pressures;  // hPa, level 1 (the bottom) first
  std::uint64_t seed = 42;
  std::string file_name = "case.bin";
  std::string date = "2026120800";
  std::string label = "synth seed 42";
};

// Pressure levels for lm levels, from 1000 hPa upward: the 26 and 17
// standard sets as they are, an evenly thinned 26-level set for other lm up
// to 26, and log-spaced levels from 1000 to 1 hPa beyond that (lm <= 100).
std::vector<float> standard_pressures(int lm);

// Number of records and bytes of the input grid file of a case.
std::int64_t record_count(const CaseSettings& s);
std::int64_t file_bytes(const CaseSettings& s);

// Text of InputModelInf.txt for the case.
std::string run_description(const CaseSettings& s);

// Creates `dir` if needed and writes InputModelInf.txt, adate.txt and the
// input grid file into it, each whole or not at all (c2m::OutputFile): the
// three appear together once the last record is written.  Throws the
// IoFailure of the file that could not be made, written or closed.
void write_case(const std::filesystem::path& dir, const CaseSettings& s);

}  // namespace synth
