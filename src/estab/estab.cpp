#include "estab/estab.hpp"

#include <cmath>

namespace estab {

Table esat;

// Goff-Gratch over water with the steam-point temperature 373.16 K folded
// into the coefficients (0.0303998 = 11.344 / 373.16, 1302.8844 = 3.49149 x
// 373.16, 2949.076 = 7.90298 x 373.16) and every constant term, the
// steam-point pressure included, gathered into 23.832241; the result is in
// hPa.  Every step is a 4-byte real with the single-precision powf and
// log10f, in this order.  It must stay scalar (this file is compiled
// without the vectoriser): vector maths routines differ from powf in the
// last bits, and the table below must keep every bit it has always had.
float goff_gratch(float t) {
  const float a = 11.344f - t * 0.0303998f;
  const float b = 3.49149f - 1302.8844f / t;
  const float c = 23.832241f - 5.02808f * log10f(t);
  const float d = c - 1.3816e-7f * powf(10.0f, a);
  const float e = powf(10.0f, b) * 0.0081328f + d;
  const float f = e - 2949.076f / t;
  return powf(10.0f, f);
}

void es_ini() {
  for (std::int32_t n = n_first; n <= n_last; ++n) esat(n) = goff_gratch(0.01f * static_cast<float>(n));
}

}  // namespace estab
