#include "record_stats.hpp"

#include <cmath>

namespace kvo {

RecordStats record_stats(std::span<const float> values) {
  RecordStats s;
  double sum = 0.0;
  for (const float v : values) {
    if (std::isnan(v)) {
      ++s.nan;
    } else if (v == missing_value) {
      ++s.missing;
    } else if (std::isinf(v)) {
      ++s.infinite;
    } else {
      if (s.valid == 0 || v < s.min) s.min = v;
      if (s.valid == 0 || v > s.max) s.max = v;
      sum += static_cast<double>(v);
      ++s.valid;
    }
  }
  if (s.valid > 0) s.mean = sum / static_cast<double>(s.valid);
  return s;
}

}  // namespace kvo
