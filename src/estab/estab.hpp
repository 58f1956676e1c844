// The module estab: saturation vapour pressure over a plane surface of
// water, tabulated once at start-up in steps of 0.01 K from 150 K to 450 K
// (Goff-Gratch), so that every grid point needs one indexed load.
#pragma once

#include <array>
#include <cstdint>

namespace estab {

// Index range of the table: entry n holds the value at T = n / 100 K.
inline constexpr std::int32_t n_first = 15000;
inline constexpr std::int32_t n_last = 45000;

class Table {
 public:
  // Entry n, n_first <= n <= n_last (the reader keeps n in range).
  float operator()(std::int32_t n) const { return v_[static_cast<std::size_t>(n - n_first)]; }
  float& operator()(std::int32_t n) { return v_[static_cast<std::size_t>(n - n_first)]; }

 private:
  std::array<float, n_last - n_first + 1> v_{};
};

// Saturation vapour pressure in hPa; read-only after es_ini.
extern Table esat;

// Saturation vapour pressure over water at temperature T (K), in hPa: the
// formula of every entry of esat, entry n being goff_gratch(0.01f * n).
float goff_gratch(float t);

// Fills every entry of esat.
void es_ini();

}  // namespace estab

namespace c2m {

// Index of the saturation table for temperature T (K): 100 x T in 4-byte
// reals, truncated toward zero; NaN or a product outside 32 bits gives the
// most negative 32-bit integer; then clamped to the table's range.  Inline,
// so that the loops over a level take several points at a time.
inline std::int32_t esat_index(float t) {
  // n = trunc(100 t) clamped to the table, with NaN and products beyond 32
  // bits taken as the most negative integer, which the clamp lifts to the
  // first entry.  The clamp is done on the real before it becomes an
  // integer, so that no out-of-range conversion happens (it would be
  // undefined).
  const float x = 100.0f * t;
  const float first = static_cast<float>(estab::n_first);
  const float last = static_cast<float>(estab::n_last);
  float clamped = x < last ? x : last;
  clamped = (x >= first && x < 2147483648.0f) ? clamped : first;
  return static_cast<std::int32_t>(clamped);
}

}  // namespace c2m
