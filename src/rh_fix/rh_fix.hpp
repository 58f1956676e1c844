// The relative-humidity patch: missing levels at either end of the column
// take the values of the nearest present level; a gap with present levels
// on both sides cannot be patched and ends the run.
//
// The patch decides from the first point of each level alone (a level is
// missing when its first point holds the missing value) and has the level
// copies made by its caller, so that it works on any way of holding the
// levels.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "textio/log.hpp"

namespace c2m {

// Nearest integer with halves away from zero (849.5 gives 850).  A value
// whose nearest integer does not fit 32 bits, or NaN, gives the most
// negative 32-bit integer.
std::int32_t nearest_integer(float x);

// Level FROM (1 .. lm) copied onto level TO, all of its values.
using LevelCopy = std::function<void(std::int32_t from, std::int32_t to)>;

// Repairs the missing levels of a column of relative humidity of
// FIRST_POINTS.size() levels, FIRST_POINTS[k - 1] the first point of level
// k (k = 1 the bottom), a level being missing when it holds MISSING; PR,
// the level pressures in hPa, names the levels in the log.  Each copy is
// made by COPY_LEVEL as soon as it is decided.  Returns only when no level
// is missing any more; otherwise it writes its message line and throws
// DataStop, after the copies already made.
void rh_fix(std::span<const float> first_points, float missing, std::span<const float> pr,
            const LevelCopy& copy_level, Log& log);

}  // namespace c2m
