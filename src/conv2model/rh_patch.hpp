// The relative-humidity patch (src/rh_fix) on the converter's work array of
// relative humidity: the first point of each level tells which are
// missing, and a copied level takes the whole recipe of the level it is
// copied from.
#pragma once

#include <cstdint>
#include <vector>

#include "conv2model/field.hpp"
#include "rh_fix/rh_fix.hpp"
#include "textio/log.hpp"

namespace c2m {

// Repairs the missing levels of RH (im x jm x lm; a level is missing when
// its point (1, 1) holds missing_value); PR, the level pressures in hPa,
// names the levels in the log.  Returns only when no level is missing any
// more; otherwise it writes its message line and throws DataStop.
void rh_fix(std::int32_t im, std::int32_t jm, std::int32_t lm, Field& rh,
            const std::vector<float>& pr, Log& log);

}  // namespace c2m
