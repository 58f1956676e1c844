// Surface and soil field fill: soil moisture capped, missing deep soil
// layers taken from layer 2, and points holding zero (where the input had
// its undefined value, over sea) given a nearby value of the same row.
#pragma once

#include <cstdint>
#include <span>

#include "conv2model/context.hpp"
#include "textio/log.hpp"

namespace c2m {

// Number of sweeps of the zero fill.
inline constexpr int fill_sweeps = 15;

// Soil moisture above 0.6 is taken as unreliable and set to 0.3.
void cap_soil_moisture(std::span<float> plane);

// The zero fill of one plane of IM x JM points.  Its rule is 15 sweeps of
// two passes along every row, each updating in place with i ascending:
// from the east (a zero takes the value of its eastern neighbour) and from
// the west (a zero takes the value of its western neighbour).  -0 counts as
// zero; a NaN neighbour counts as a value and is copied.  The sweeps are
// done as one equivalent walk per row, with bit-identical results.
void zero_fill(std::span<float> plane, std::int32_t im, std::int32_t jm);

// Stage 8.
void fill_surface(const RunContext& ctx, WorkArrays& work, Log& log);

}  // namespace c2m
