#pragma once

#include "conv2model/context.hpp"
#include "textio/log.hpp"

namespace c2m {

// Stage 7: every level of every upper-air field must be present (point
// (1, 1) not missing_value).  A missing level of height, temperature, wind
// or input specific humidity ends the run with its message line (DataStop);
// missing relative humidity is patched by rh_fix.
void check_levels(const RunContext& ctx, WorkArrays& work, Log& log);

}  // namespace c2m
