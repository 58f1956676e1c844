#include "conv2model/humidity.hpp"

#include <algorithm>
#include <vector>
#include <cmath>

#include "conv2model/conv2model.hpp"
#include "estab/estab.hpp"

namespace c2m {

namespace {

// Saturation specific humidity at 100 % never exceeds this: where the
// saturation vapour pressure approaches the level pressure (warm upper
// levels of a few hPa) the ratio would grow without bound or turn negative.
constexpr float qs_cap = 0.005f;

}  // namespace

namespace {

// Saturation specific humidity from the saturation vapour pressure E and the
// pressure P (hPa), capped.
inline float saturation_q(float e, float p) {
  const float d = p - e;
  // 0.00622 = 0.622 (molar mass of water vapour over that of dry air) / 100
  // for relative humidity in percent.
  const float qs = (0.00622f * e) / d;
  return ((d <= 0.0f) | (qs > qs_cap)) ? qs_cap : qs;
}

inline float humidity(float t, float r, float qs) {
  const float q = r * qs;
  const bool missing = (t == missing_value) | (r == missing_value);  // no branch
  return missing ? missing_value : q;
}

}  // namespace

float saturation_humidity(float t, float p) { return saturation_q(estab::esat(esat_index(t)), p); }

LevelSaturation::LevelSaturation(float p) : p_(p), qs_(static_cast<std::size_t>(estab::n_last - estab::n_first + 1)) {
  for (std::int32_t n = estab::n_first; n <= estab::n_last; ++n)
    qs_[static_cast<std::size_t>(n - estab::n_first)] = saturation_q(estab::esat(n), p);
}

float specific_humidity(float t, float r, float p) { return humidity(t, r, saturation_humidity(t, p)); }

LevelHumidity::LevelHumidity(float pr)
    : qs_(static_cast<std::size_t>(estab::n_last - estab::n_first + 1)) {
  // The saturation humidity of a level depends on the table entry alone:
  // worked out once per entry (30001 divisions instead of one per point),
  // it gives each point the very value the formula gives it.
  for (std::int32_t n = estab::n_first; n <= estab::n_last; ++n)
    qs_[static_cast<std::size_t>(n - estab::n_first)] = saturation_q(estab::esat(n), pr);
}

void LevelHumidity::derive(std::span<const float> tp, std::span<const float> rh,
                           std::span<float> qnew2) const {
  // In chunks: the indices and the products go several points at a time,
  // only the table lookups one by one.
  constexpr std::size_t chunk = 512;
  std::int32_t n[chunk];
  float q_sat[chunk];
  const float* qs = qs_.data();
  for (std::size_t start = 0; start < qnew2.size(); start += chunk) {
    const std::size_t len = std::min(chunk, qnew2.size() - start);
    const float* t = tp.data() + start;
    const float* r = rh.data() + start;
    float* q = qnew2.data() + start;
    for (std::size_t i = 0; i < len; ++i) n[i] = esat_index(t[i]) - estab::n_first;
    for (std::size_t i = 0; i < len; ++i) q_sat[i] = qs[static_cast<std::size_t>(n[i])];
    for (std::size_t i = 0; i < len; ++i) q[i] = humidity(t[i], r[i], q_sat[i]);
  }
}

void derive_humidity(std::span<const float> tp, std::span<const float> rh, float pr,
                     std::span<float> qnew2) {
  LevelHumidity(pr).derive(tp, rh, qnew2);
}

}  // namespace c2m
