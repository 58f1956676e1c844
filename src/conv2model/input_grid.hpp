#pragma once

#include "conv2model/context.hpp"
#include "textio/log.hpp"

namespace c2m {

// Stage 5: log the opening, read the input grid file record by record
// into ht, rh, q, tp, uw, vw and the twelve planes of slp with the rows
// turned south to north, turn geopotential into height as soon as the
// height records are in, and close the file.
void read_input_grid(const RunContext& ctx, WorkArrays& work, Log& log);

}  // namespace c2m
