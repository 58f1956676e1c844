#pragma once

#include "conv2model/context.hpp"

namespace c2m {

// Stage 2: the work arrays with the extents of the run, in the order ht,
// tp, uw, vw, rh, q, slp; pr is filled by the pressure list.  The specific
// humidity qnew2 is derived level by level as it is written.
WorkArrays allocate_work_arrays(const RunContext& ctx);

}  // namespace c2m
