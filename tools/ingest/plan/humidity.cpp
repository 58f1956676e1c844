#include "plan/humidity.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <cstdint>
#include <cstring>

#include "driver/input_driver.hpp"
#include "estab/estab.hpp"
#include "source/fields.hpp"

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

namespace {

// Points are taken in chunks: the saturation of each looked up one by one
// (an index into the table), then the arithmetic of the chunk four points
// at a time in vectors of 4-byte reals.  Each lane does the very operations,
// in the very order, of the formula written point by point (no contraction,
// no reassociation), so the results are the same bits; the undefined points
// are chosen by masks afterwards.  (The compiler does not vectorize such a
// loop itself: the choice would have to come before the divisions, which
// may raise floating-point flags.)
constexpr std::size_t chunk = 512;

typedef float Vec __attribute__((vector_size(16)));
typedef std::int32_t Mask __attribute__((vector_size(16)));
constexpr std::size_t lanes = 4;

Vec load(const float* p) {
  Vec v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void store(float* p, Vec v) { std::memcpy(p, &v, sizeof v); }

// BAD lanes undefined, the others V.
Vec undefined_where(Mask bad, Vec v) {
  const Vec u = {undefined_value, undefined_value, undefined_value, undefined_value};
  return reinterpret_cast<Vec>((reinterpret_cast<Mask>(v) & ~bad) | (reinterpret_cast<Mask>(u) & bad));
}

void es_water_chunk(const float* t, std::size_t len, float* es) {
  for (std::size_t i = 0; i < len; ++i) es[i] = estab::esat(esat_index(t[i]));
}

// RH over water from q, t (only its undefined mark) and es_water(t).
void rh_from_q_chunk(const float* t, float* q_to_rh, const float* es, std::size_t len, float p) {
  std::size_t i = 0;
  for (; i + lanes <= len; i += lanes) {
    const Vec q = load(q_to_rh + i), tv = load(t + i);
    const Vec e = q * p / (eps + one_minus_eps * q);
    const Vec rh = 100.0f * e / load(es + i);
    store(q_to_rh + i, undefined_where((q == undefined_value) | (tv == undefined_value), rh));
  }
  for (; i < len; ++i) {
    const float q = q_to_rh[i];
    const float e = q * p / (eps + one_minus_eps * q);
    const float rh = 100.0f * e / es[i];
    q_to_rh[i] = (undefined(q) || undefined(t[i])) ? undefined_value : rh;
  }
}

// q from t (only its undefined mark), RH and es_water(t).
void q_from_rh_chunk(float* t_to_q, const float* rh, const float* es, std::size_t len, float p) {
  std::size_t i = 0;
  for (; i + lanes <= len; i += lanes) {
    const Vec tv = load(t_to_q + i), r = load(rh + i);
    const Vec e = r * 0.01f * load(es + i);
    const Vec d = p - one_minus_eps * e;
    const Vec q = eps * e / d;
    const Mask bad = (tv == undefined_value) | (r == undefined_value) | ~(d > 0.0f);
    store(t_to_q + i, undefined_where(bad, q));
  }
  for (; i < len; ++i) {
    const float e = rh[i] * 0.01f * es[i];
    const float d = p - one_minus_eps * e;
    const float q = eps * e / d;
    t_to_q[i] = (undefined(t_to_q[i]) || undefined(rh[i]) || !(d > 0.0f)) ? undefined_value : q;
  }
}

// The converter's RH for Q, given its saturation humidity QS (per percent).
// The product of a 4-byte real by QS is monotonic in that real, so from
// q / qs (within an ulp or two of the answer) the steps go one way only,
// until the product passes Q; the nearest is kept.
// The float next to R, above it when UP; for a finite R of either sign
// by its bits (the neighbours of a real are those of its bit pattern, in
// the direction of its magnitude), else as the library makes it.
float next_float(float r, bool up) {
  if (r == 0.0f || !std::isfinite(r)) return std::nextafter(r, up ? INFINITY : -INFINITY);
  const auto bits = std::bit_cast<std::uint32_t>(r);
  return std::bit_cast<float>(up == (r > 0.0f) ? bits + 1 : bits - 1);
}

float converter_rh(float q, float qs) {
  float r = q / qs;
  const float first = r * qs;
  if (first == q || !std::isfinite(r)) return r;
  const bool up = first < q;
  float best = r, best_off = std::fabs(first - q);
  for (int step = 0; step < 4; ++step) {
    r = next_float(r, up);
    const float got = r * qs;
    const float off = std::fabs(got - q);
    if (off < best_off) best = r, best_off = off;
    if (up ? got >= q : got <= q) break;
  }
  return best;
}

// The converter's saturation humidity at P, a table per level, kept while
// a worker goes through the blocks of rows of one level.
const LevelSaturation& level_saturation(float p) {
  thread_local std::optional<LevelSaturation> table;
  if (!table || table->pressure() != p) table.emplace(p);
  return *table;
}

}  // namespace

void rh_for_converter(std::span<const float> t, std::span<const float> q, std::span<float> rh, float p_hpa) {
  const LevelSaturation& saturation = level_saturation(p_hpa);
  // A chunk at a time: q / qs for every point in loops the compiler makes
  // several points at a time, then the search for the few points where
  // that quotient does not give q back, and the undefined and dry ones.
  // Q and RH may be one span (the RH made in the place of q).
  float qs[chunk], quotient[chunk];
  bool done[chunk];
  for (std::size_t start = 0; start < rh.size(); start += chunk) {
    const std::size_t len = std::min(chunk, rh.size() - start);
    const float* tc = t.data() + start;
    const float* qc = q.data() + start;
    float* out = rh.data() + start;
    for (std::size_t i = 0; i < len; ++i) qs[i] = saturation(tc[i]);
    for (std::size_t i = 0; i < len; ++i) {
      const float r = qc[i] / qs[i];
      done[i] = (r * qs[i] == qc[i]) & (qc[i] != 0.0f) & !undefined(qc[i]) & !undefined(tc[i]);
      quotient[i] = r;
    }
    for (std::size_t i = 0; i < len; ++i) {
      if (done[i]) {
        out[i] = quotient[i];
        continue;
      }
      if (undefined(qc[i]) || undefined(tc[i])) {
        out[i] = undefined_value;
        continue;
      }
      // The converter's saturation is never 0 (its table's least entry, at
      // 150 K, is positive, and near p it is capped), so q / qs is finite.
      out[i] = qc[i] == 0.0f ? 0.0f : converter_rh(qc[i], qs[i]);
    }
  }
}

void rh_from_q(std::span<const float> t, std::span<float> q_to_rh, float p_hpa, HumidityRecords records) {
  if (records == HumidityRecords::exact) {
    rh_for_converter(t, q_to_rh, q_to_rh, p_hpa);
    return;
  }
  float es[chunk];
  for (std::size_t start = 0; start < q_to_rh.size(); start += chunk) {
    const std::size_t len = std::min(chunk, q_to_rh.size() - start);
    es_water_chunk(t.data() + start, len, es);
    rh_from_q_chunk(t.data() + start, q_to_rh.data() + start, es, len, p_hpa);
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
  float es[chunk];
  for (std::size_t start = 0; start < t_to_q.size(); start += chunk) {
    const std::size_t len = std::min(chunk, t_to_q.size() - start);
    es_water_chunk(t_to_q.data() + start, len, es);
    q_from_rh_chunk(t_to_q.data() + start, rh.data() + start, es, len, p_hpa);
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
