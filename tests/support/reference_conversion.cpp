#include "support/reference_conversion.hpp"

#include <bit>
#include <cmath>

#include "estab/estab.hpp"
#include "support/reference_fill.hpp"

namespace testsupport {

namespace {

constexpr float missing = -99999.0f;
const float undefined = std::bit_cast<float>(0x6258D19Au);

using Plane = std::vector<float>;

// The planes of one block of records, k = 1..n at index k - 1.
std::vector<Plane> block(const TestCase& c, std::int32_t first_record, std::int32_t n) {
  const auto points = static_cast<std::size_t>(c.im) * static_cast<std::size_t>(c.jm);
  std::vector<Plane> planes;
  for (std::int32_t k = 0; k < n; ++k) {
    const auto start = c.records.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(first_record - 1 + k) * points);
    planes.emplace_back(start, start + static_cast<std::ptrdiff_t>(points));
  }
  return planes;
}

void each(std::vector<Plane>& planes, float (*f)(float)) {
  for (Plane& p : planes)
    for (float& v : p) v = f(v);
}

}  // namespace

ReferenceResult reference_conversion(const TestCase& c) {
  const std::int32_t lm = c.lm;
  const auto r = c.rec();
  auto ht = block(c, r.ht(1), lm), rh = block(c, r.rh(1), lm), q = block(c, r.q(1), lm);
  auto tp = block(c, r.tp(1), lm), uw = block(c, r.uw(1), lm), vw = block(c, r.vw(1), lm);
  auto slp = block(c, r.sfc(1), 12);

  // Heights: marks recognised on the stored values, the rest divided.
  for (Plane& p : ht)
    for (float& v : p) v = (v == undefined) ? missing : (v == missing ? v : v / 9.8f);
  // Topography, mask, undefined points aloft and at the surface.
  for (float& v : slp[3]) v = (v == undefined) ? 0.0f : v / 9.8f;
  for (float& v : slp[0])
    if (v == undefined || v < 0.1f) v = 0.0f; else if (v >= 0.1f) v = 1.0f;
  for (auto* f : {&ht, &uw, &vw, &tp, &rh, &q})
    each(*f, [](float v) { return v == undefined ? missing : v; });
  each(slp, [](float v) { return v == undefined ? 0.0f : v; });

  // Missing levels: point (1, 1), the first value of a plane.
  const auto gone = [](const std::vector<Plane>& f, std::int32_t k) { return f[static_cast<std::size_t>(k - 1)][0] == missing; };
  for (std::int32_t k = 1; k <= lm; ++k) {
    if (gone(ht, k) || gone(tp, k)) return {1, {}};
    if (gone(rh, k)) {
      if (gone(rh, 1)) {
        std::int32_t p = 2;
        while (p <= lm && gone(rh, p)) ++p;
        if (p > lm) return {1, {}};
        for (std::int32_t kk = p - 1; kk >= 1; --kk) rh[static_cast<std::size_t>(kk - 1)] = rh[static_cast<std::size_t>(kk)];
      }
      if (gone(rh, lm))
        for (std::int32_t p = lm - 1; p >= 1; --p)
          if (!gone(rh, p)) {
            for (std::int32_t kk = p + 1; kk <= lm; ++kk) rh[static_cast<std::size_t>(kk - 1)] = rh[static_cast<std::size_t>(kk - 2)];
            break;
          }
      for (std::int32_t kk = 1; kk <= lm; ++kk)
        if (gone(rh, kk)) return {1, {}};
      continue;
    }
    if (gone(uw, k) || gone(vw, k) || gone(q, k)) return {1, {}};
  }

  // Soil: cap, missing layers 3 and 4 from layer 2, the literal fill.
  for (std::size_t n = 5; n < 12; n += 2)
    for (float& v : slp[n])
      if (v > 0.6f) v = 0.3f;
  for (std::size_t n = 4; n < 12; ++n) {
    if (slp[n][0] == missing && n >= 8) slp[n] = slp[n % 2 == 0 ? 6 : 7];
    zero_fill_sweeps(slp[n], c.im, c.jm);
  }

  // Specific humidity, with missing points kept and the saturation cap.
  std::vector<Plane> qnew2 = tp;
  for (std::int32_t k = 1; k <= lm; ++k) {
    const float pr = c.pr[static_cast<std::size_t>(k - 1)];
    Plane& out = qnew2[static_cast<std::size_t>(k - 1)];
    for (std::size_t n = 0; n < out.size(); ++n) {
      const float t = tp[static_cast<std::size_t>(k - 1)][n], h = rh[static_cast<std::size_t>(k - 1)][n];
      const float x = 100.0f * t;
      std::int32_t i = INT32_MIN;
      if (x >= -2147483648.0f && x < 2147483648.0f) i = static_cast<std::int32_t>(x);
      i = std::min(std::max(i, 15000), 45000);
      const float e = estab::esat(i);
      float qs = (0.00622f * e) / (pr - e);
      if (pr - e <= 0.0f || qs > 0.005f) qs = 0.005f;
      out[n] = (t == missing || h == missing) ? missing : h * qs;
    }
  }

  ReferenceResult result;
  for (auto* f : {&uw, &vw, &ht, &qnew2, &tp, &slp})
    for (const Plane& p : *f) result.model_data += le_bytes(p);
  return result;
}

}  // namespace testsupport
