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
