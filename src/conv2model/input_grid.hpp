#pragma once

#include "conv2model/context.hpp"
#include "textio/log.hpp"

namespace c2m {

// Stage 5: log the opening and open the input grid file; make sure that
// all its 6 x lm + 12 records are there; let the planes of ht, rh, q, tp,
// uw, vw (six blocks of lm records) and of slp (the twelve records after
// them) stand for their records, and read their points (1, 1).  The file
// stays open: the records are read again, whole, when they are written.
void read_input_grid(const RunContext& ctx, WorkArrays& work, Log& log);

}  // namespace c2m
