#include "record_stats.hpp"

#include <cmath>

namespace c2m::md {

void RecordStats::add(std::span<const float> values) {
  for (const float v : values) {
    if (std::isnan(v)) {
      ++nan;
    } else if (v == missing_value) {
      ++missing;
    } else if (std::isinf(v)) {
      ++infinite;
    } else {
      if (valid == 0 || v < min) min = v;
      if (valid == 0 || v > max) max = v;
      // Welford's update: no large sums of squares to cancel.
      ++valid;
      const double x = static_cast<double>(v);
      const double delta = x - mean;
      mean += delta / static_cast<double>(valid);
      m2_ += delta * (x - mean);
    }
  }
  stddev = valid > 0 ? std::sqrt(m2_ / static_cast<double>(valid)) : 0.0;
}

RecordStats record_stats(std::span<const float> values) {
  RecordStats s;
  s.add(values);
  return s;
}

}  // namespace c2m::md
