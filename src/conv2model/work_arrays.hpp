#pragma once

#include "conv2model/context.hpp"

namespace c2m {

// Stage 2: the work arrays with the extents of the run, in the order ht,
// tp, uw, vw, rh, q, qnew2, slp; pr is filled by the pressure list.
WorkArrays allocate_work_arrays(const RunContext& ctx);

}  // namespace c2m
