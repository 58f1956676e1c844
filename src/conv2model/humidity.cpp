#include "conv2model/humidity.hpp"

#include <cmath>

#include "estab/estab.hpp"

namespace c2m {

namespace {

// Saturation specific humidity at 100 % never exceeds this: where the
// saturation vapour pressure approaches the level pressure (warm upper
// levels of a few hPa) the ratio would grow without bound or turn negative.
constexpr float qs_cap = 0.005f;

}  // namespace

std::int32_t esat_index(float t) {
  const float x = 100.0f * t;
  std::int32_t n = INT32_MIN;
  // Converting NaN or an out-of-range float to an integer is undefined, so
  // the range is tested first.
  if (x >= -2147483648.0f && x < 2147483648.0f) n = static_cast<std::int32_t>(x);
  if (n < estab::n_first) n = estab::n_first;
  if (n > estab::n_last) n = estab::n_last;
  return n;
}

float specific_humidity(float t, float r, float p) {
  if (t == missing_value || r == missing_value) return missing_value;
  const float e = estab::esat(esat_index(t));
  const float d = p - e;
  // 0.00622 = 0.622 (molar mass of water vapour over that of dry air) / 100
  // for relative humidity in percent.
  float qs = (0.00622f * e) / d;
  if (d <= 0.0f || qs > qs_cap) qs = qs_cap;
  return r * qs;
}

void derive_humidity(std::span<const float> tp, std::span<const float> rh, float pr,
                     std::span<float> qnew2) {
  for (std::size_t n = 0; n < qnew2.size(); ++n) qnew2[n] = specific_humidity(tp[n], rh[n], pr);
}

}  // namespace c2m
