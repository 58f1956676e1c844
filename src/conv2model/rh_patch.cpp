#include "conv2model/rh_patch.hpp"

#include "conv2model/context.hpp"

namespace c2m {

void rh_fix(std::int32_t im, std::int32_t jm, std::int32_t lm, Field& rh,
            const std::vector<float>& pr, Log& log) {
  (void)im;  // the extents travel with the array
  (void)jm;
  std::vector<float> first_points;
  for (std::int32_t k = 1; k <= lm; ++k) first_points.push_back(rh.first_point(k));
  rh_fix(first_points, missing_value, pr,
         [&rh](std::int32_t from, std::int32_t to) { rh.copy_level(from, to); }, log);
}

}  // namespace c2m
