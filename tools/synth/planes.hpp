// Work over the planes of a synthetic case: rows shared among the cores,
// and smoothing.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

#include "kit/workers.hpp"

namespace synth {

// Runs body(r0, r1) over the rows [0, rows), split into parts taken by the
// workers when the plane is big enough to be worth it.  Each row is
// computed once, by whichever worker takes its part, from the same inputs,
// so the result does not depend on the split or on how many workers the
// system gives.
template <class Body>
void for_rows(int rows, std::size_t points, Body&& body) {
  const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
  const int parts = points < (1u << 17) ? 1 : static_cast<int>(std::min(hw, 8u));
  if (parts <= 1 || rows < 2 * parts) {
    body(0, rows);
    return;
  }
  std::atomic<int> next{0};
  c2m::run_on_threads(parts, [&](int) {
    for (int part; (part = next.fetch_add(1)) < parts;) body(rows * part / parts, rows * (part + 1) / parts);
  });
}

// Box average over 2r+1 points along i (wrapping round a global grid,
// repeating the edge value otherwise) and then along j; two passes of it
// approach a Gaussian smoothing.
void box_blur(std::vector<float>& f, int ni, int nj, int ri, int rj, bool wrap);

}  // namespace synth
