// The synthetic atmosphere of a case: the climate by latitude and season,
// the continents and their terrain, surface lows and highs, planetary
// waves, and from these every record of the input grid file, a level at a
// time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "planes.hpp"
#include "random.hpp"
#include "synth.hpp"

namespace synth {

// A surface low or high: its centre (degrees), depth or height (hPa, below
// 0 for a low) and radius, and per hPa of it the temperature of its core
// (K) and its relative humidity (percent).
struct PressureSystem {
  double lon, lat, hpa, radius_km, t_per_hpa, rh_per_hpa;
};

// The synthetic atmosphere.  All planes are held in the order of the input
// grid file: row r = 0 is the northernmost, points west to east.
class Atmosphere {
 public:
  explicit Atmosphere(const CaseSettings& s);

  std::size_t points() const { return n_; }
  int levels() const { return lm_; }
  float pressure(int k) const { return p_[static_cast<std::size_t>(k)]; }

  void geopotential_next(int k, float* phi, float* t_prev, float* t_cur) const;
  void temperature(int k, float* out) const;
  void relative_humidity(int k, float* out) const;
  void specific_humidity(int k, float* out, float* scratch) const;
  void zonal_wind(int k, float* out) const;
  void meridional_wind(int k, float* out) const;
  void surface(int plane, float* out) const;  // plane 1..12

 private:
  static constexpr int waves = 3;

  std::size_t at(int r, int k) const {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(lm_) + static_cast<std::size_t>(k);
  }
  std::size_t wave_col(int w, int i) const {
    return static_cast<std::size_t>(w) * static_cast<std::size_t>(im_) + static_cast<std::size_t>(i);
  }
  std::size_t wave_row(int w, int r) const {
    return static_cast<std::size_t>(w) * static_cast<std::size_t>(jm_) + static_cast<std::size_t>(r);
  }
  std::size_t wave_lev(int w, int k) const {
    return static_cast<std::size_t>(w) * static_cast<std::size_t>(lm_) + static_cast<std::size_t>(k);
  }
  template <class Body>
  void rows(Body&& body) const { for_rows(jm_, n_, std::forward<Body>(body)); }

  // The construction, in its order (atmosphere.cpp, weather.cpp).
  void build_geography();
  void build_smooth_field(SplitMix64& rng, int terms, int m_lo, int m_hi, std::vector<float>& out);
  void build_terrain(const std::vector<float>& noise, const Grid& grid);
  void build_sea_level(const std::vector<float>& n1, const std::vector<float>& n2, std::vector<float> wetness);
  void build_surface_systems(SplitMix64& rng);
  std::vector<PressureSystem> pressure_systems(SplitMix64& rng) const;
  void add_pressure_systems(const std::vector<PressureSystem>& systems, std::vector<float>& dpdx,
                            std::vector<float>& dpdy);
  void build_geostrophic_wind(const std::vector<float>& dpdx, const std::vector<float>& dpdy);
  void build_row_tables();
  void build_level_tables();
  void build_waves(SplitMix64& rng);
  void soil(int plane, float* out) const;

  int im_, jm_, lm_;
  std::size_t n_;
  bool global_;
  double season_;
  std::vector<float> p_;
  std::vector<double> lat_, lon_;  // per file row, per column; degrees

  // Planes (file order).
  std::vector<std::uint8_t> land_;
  std::vector<float> height_;       // terrain, m (0 over sea)
  std::vector<float> coast_;        // continentality 0..1 (smoothed mask)
  std::vector<float> t_deep_;       // sea-level temperature that carries up the column, K
  std::vector<float> t_shallow_;    // land-sea contrast confined to low levels, K
  std::vector<float> mslp_;         // hPa
  std::vector<float> u_sys_, v_sys_;  // geostrophic wind of the surface lows and highs, m/s
  std::vector<float> moist_low_, moist_high_;  // RH anomalies, percent
  std::vector<float> wetness_;      // soil wetness pattern, about -1..1
  std::vector<float> t_annual_;     // annual-mean sea-level temperature, K, per row

  // Row x level tables.
  std::vector<float> lapse_factor_;  // (p/1000)^(Rd Gamma/g)
  std::vector<float> t_floor_;       // temperature of the tropopause and stratosphere, K
  std::vector<float> u_mean_;        // zonal-mean zonal wind, m/s
  std::vector<float> rh_mean_;       // zonal-mean relative humidity, percent

  // Level tables.
  std::vector<float> shallow_w_, system_w_, moist_low_w_, moist_high_w_, dlnp_;

  // Planetary waves.
  std::vector<float> cos_m_, sin_m_;          // per wave and column
  std::vector<float> g_t_, g_u_, g_v_;        // per wave and row
  std::vector<float> t_re_, t_im_;            // temperature wave, per wave and level
  std::vector<float> z_re_, z_im_;            // geopotential wave, per wave and level
};

}  // namespace synth
