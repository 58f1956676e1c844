// Summary of one record: the range, mean and standard deviation of its
// valid points, and how many points are not valid.  Points equal to the
// missing value -99999.0, NaN points and infinite points are counted apart
// and left out of the statistics.  Every point counts alike (the mean is
// not weighted by the area a point stands for).  Sums are kept in double
// precision: they are diagnostics, and a 4-byte sum over a million points
// would drift.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "layout/values.hpp"

namespace c2m::md {

using layout::missing_value;

struct RecordStats {
  std::uint64_t valid = 0;
  std::uint64_t missing = 0;
  std::uint64_t nan = 0;
  std::uint64_t infinite = 0;
  float min = 0.0f;  // of the valid points; meaningless when valid == 0
  float max = 0.0f;
  double mean = 0.0;
  double stddev = 0.0;  // population standard deviation of the valid points

  // Takes VALUES in (a record may arrive in pieces).
  void add(std::span<const float> values);

 private:
  double m2_ = 0.0;  // sum of squared deviations from the running mean
};

RecordStats record_stats(std::span<const float> values);

// A point that takes part in the statistics and gets a colour in a picture.
inline bool is_valid(float v) { return std::isfinite(v) && v != missing_value; }

}  // namespace c2m::md
