// The relative-humidity patch: missing levels at either end of the column
// take the values of the nearest present level; a gap with present levels
// on both sides cannot be patched and ends the run.
#pragma once

#include <cstdint>
#include <vector>

#include "conv2model/field.hpp"
#include "textio/log.hpp"

namespace c2m {

// Nearest integer with halves away from zero (849.5 gives 850).  A value
// whose nearest integer does not fit 32 bits, or NaN, gives the most
// negative 32-bit integer.
std::int32_t nearest_integer(float x);

// Repairs the missing levels of RH (a level is missing when its point
// (1, 1) holds missing_value); PR, the level pressures in hPa, names the
// levels in the log.  Returns only when no level is missing any more;
// otherwise it writes its message line and throws DataStop.
void rh_fix(std::int32_t im, std::int32_t jm, std::int32_t lm, Field& rh,
            const std::vector<float>& pr, Log& log);

}  // namespace c2m
