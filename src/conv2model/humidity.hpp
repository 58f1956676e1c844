#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "conv2model/context.hpp"

namespace c2m {

// Specific humidity (kg/kg) from temperature T (K), relative humidity R
// (percent) and pressure P (hPa).  A missing T or R gives missing_value.
float specific_humidity(float t, float r, float p);

// The saturation humidity of a level at pressure PR for every entry of the
// saturation table, so that the points of the level, in as many pieces as
// need be, each take theirs with one lookup.
class LevelHumidity {
 public:
  explicit LevelHumidity(float pr);
  // The specific humidity QNEW2 from temperature TP and relative humidity
  // RH, point by point (all three of the same length).
  void derive(std::span<const float> tp, std::span<const float> rh, std::span<float> qnew2) const;

 private:
  std::vector<float> qs_;
};

// The specific humidity qnew2 of one level at pressure PR from its
// temperature TP and relative humidity RH, point by point.
void derive_humidity(std::span<const float> tp, std::span<const float> rh, float pr,
                     std::span<float> qnew2);

}  // namespace c2m
