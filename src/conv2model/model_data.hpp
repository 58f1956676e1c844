#pragma once

#include <cstdint>
#include <utility>

#include "conv2model/context.hpp"
#include "conv2model/grid_description.hpp"
#include "conv2model/record_io.hpp"
#include "textio/log.hpp"

namespace c2m {

// Threads that make the records of the model data file: one per core of
// the machines the converter is built for.
inline constexpr int record_threads = 2;

// The two grid points whose surface values are logged: (im/2, jm/2) and
// (3 im/4, 3 jm/4) in integer division, each index at least 1 so that a
// grid of one row or one column shows its own points.
std::pair<std::int32_t, std::int32_t> first_sample(std::int32_t im, std::int32_t jm);
std::pair<std::int32_t, std::int32_t> second_sample(std::int32_t im, std::int32_t jm);

// Stage 11: write the 5 x lm + 12 records (uw, vw, ht, qnew2, tp level by
// level from the bottom, then the twelve surface planes), each read from
// the input grid file and made what the earlier stages decided, and the
// specific humidity derived on the way; log the surface values at the two
// sample points, close the file and move both outputs into place.  The
// records are made on THREADS threads at once (the calling one among
// them); the file, the log and any failure are the same for every count.
void write_model_data(const RunContext& ctx, const WorkArrays& work, Outputs& outputs,
                      Log& log, int threads = record_threads);

}  // namespace c2m
