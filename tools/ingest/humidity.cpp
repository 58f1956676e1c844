#include "humidity.hpp"

#include <cmath>

#include "conv2model/humidity.hpp"
#include "estab/estab.hpp"
#include "fields.hpp"

namespace c2m::ingest {

namespace {

constexpr float t0 = 273.16f;

// Water vapour over dry air, by molar mass, and one minus it.
constexpr float eps = 0.622f;
constexpr float one_minus_eps = 0.378f;

bool undefined(float v) { return v == undefined_value; }

}  // namespace

float es_water_pa(float t) { return 611.21f * expf(17.502f * (t - t0) / (t - 32.19f)); }
float es_ice_pa(float t) { return 611.21f * expf(22.587f * (t - t0) / (t + 0.7f)); }

MixedPhase mixed_phase_of(long centre) {
  if (centre == 98) return MixedPhase::ecmwf;
  if (centre == 7) return MixedPhase::ncep;
  return MixedPhase::water;
}

std::string words(MixedPhase m) {
  switch (m) {
    case MixedPhase::ecmwf:
      return "ECMWF's mixed phase (water at and above 273.16 K, ice at and below 250.16 K, "
             "blended as the square of the fraction between)";
    case MixedPhase::ncep:
      return "NCEP's mixed phase (water at and above 273.16 K, ice at and below 253.16 K, "
             "linear in T between)";
    case MixedPhase::water:
      break;
  }
  return "over water";
}

float es_mixed_pa(MixedPhase m, float t) {
  switch (m) {
    case MixedPhase::ecmwf: {
      if (t >= t0) return es_water_pa(t);
      if (t <= 250.16f) return es_ice_pa(t);
      const float f = (t - 250.16f) / (t0 - 250.16f);
      const float alpha = f * f;
      return alpha * es_water_pa(t) + (1.0f - alpha) * es_ice_pa(t);
    }
    case MixedPhase::ncep: {
      if (t >= t0) return es_water_pa(t);
      if (t <= t0 - 20.0f) return es_ice_pa(t);
      const float w = (t - (t0 - 20.0f)) / 20.0f;
      return w * es_water_pa(t) + (1.0f - w) * es_ice_pa(t);
    }
    case MixedPhase::water:
      break;
  }
  return es_water_pa(t);
}

float es_water_hpa(float t) { return estab::esat(esat_index(t)); }

void rh_from_q(std::span<const float> t, std::span<float> q_to_rh, float p_hpa) {
  for (std::size_t i = 0; i < q_to_rh.size(); ++i) {
    const float q = q_to_rh[i];
    if (undefined(q) || undefined(t[i])) {
      q_to_rh[i] = undefined_value;
      continue;
    }
    const float e = q * p_hpa / (eps + one_minus_eps * q);
    q_to_rh[i] = 100.0f * e / es_water_hpa(t[i]);
  }
}

void rh_from_mixed(std::span<const float> t, std::span<float> r_to_rh, MixedPhase m) {
  if (m == MixedPhase::water) {
    for (std::size_t i = 0; i < r_to_rh.size(); ++i)
      if (undefined(t[i])) r_to_rh[i] = undefined_value;
    return;
  }
  for (std::size_t i = 0; i < r_to_rh.size(); ++i) {
    const float r = r_to_rh[i];
    if (undefined(r) || undefined(t[i])) {
      r_to_rh[i] = undefined_value;
      continue;
    }
    // e in hPa = r / 100 x es_mixed (Pa) / 100; RH = 100 e / es_water (hPa).
    const float e_hpa = r * 0.01f * (es_mixed_pa(m, t[i]) * 0.01f);
    r_to_rh[i] = 100.0f * e_hpa / es_water_hpa(t[i]);
  }
}

void q_from_rh(std::span<float> t_to_q, std::span<const float> rh, float p_hpa) {
  for (std::size_t i = 0; i < t_to_q.size(); ++i) {
    const float t = t_to_q[i];
    if (undefined(t) || undefined(rh[i])) {
      t_to_q[i] = undefined_value;
      continue;
    }
    const float e = rh[i] * 0.01f * es_water_hpa(t);
    const float d = p_hpa - one_minus_eps * e;
    t_to_q[i] = d > 0.0f ? eps * e / d : undefined_value;
  }
}

FillWeights fill_weights(float p, float p_below, float p_above) {
  const float below = logf(p / p_above) / logf(p_below / p_above);
  return {below, 1.0f - below};
}

void fill_between(std::span<float> below_to_out, std::span<const float> above, FillWeights w) {
  for (std::size_t i = 0; i < below_to_out.size(); ++i) {
    const float b = below_to_out[i], a = above[i];
    below_to_out[i] = (undefined(b) || undefined(a)) ? undefined_value : w.below * b + w.above * a;
  }
}

}  // namespace c2m::ingest
