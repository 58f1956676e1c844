// The zero fill of the soil planes exactly as its rule states it: 15 sweeps
// of two in-place passes along every row.  The converter walks each row
// once instead; this is the reference it is checked against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace testsupport {

inline void zero_fill_sweeps(std::span<float> plane, std::int32_t im, std::int32_t jm) {
  const auto n = static_cast<std::size_t>(im);
  for (int sweep = 0; sweep < 15; ++sweep) {
    for (std::int32_t j = 0; j < jm; ++j) {  // pass from the east
      float* row = plane.data() + static_cast<std::size_t>(j) * n;
      for (std::size_t i = 0; i + 1 < n; ++i)
        if (row[i] == 0.0f && row[i + 1] != 0.0f) row[i] = row[i + 1];
    }
    for (std::int32_t j = 0; j < jm; ++j) {  // pass from the west
      float* row = plane.data() + static_cast<std::size_t>(j) * n;
      for (std::size_t i = 1; i < n; ++i)
        if (row[i] == 0.0f && row[i - 1] != 0.0f) row[i] = row[i - 1];
    }
  }
}

}  // namespace testsupport
