// The records of a synthetic case, a level or a surface plane at a time,
// from its atmosphere.
#include <algorithm>
#include <array>
#include <cmath>

#include "atmosphere.hpp"
#include "constants.hpp"

namespace synth {

// Temperature: the sea-level temperature carried up a lapse-rate profile
// (with the land-sea contrast fading above the boundary layer), floored by
// the tropopause temperature and the stratosphere's warming above it, plus
// the planetary waves.
void Atmosphere::temperature(int k, float* out) const {
  const float shallow = shallow_w_[static_cast<std::size_t>(k)];
  rows([&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      const std::size_t base = static_cast<std::size_t>(r) * static_cast<std::size_t>(im_);
      const float fac = lapse_factor_[at(r, k)];
      const float floor_t = t_floor_[at(r, k)];
      float* o = out + base;
      const float* td = t_deep_.data() + base;
      const float* ts = t_shallow_.data() + base;
      for (int i = 0; i < im_; ++i) o[i] = std::max((td[i] + ts[i] * shallow) * fac, floor_t);
      for (int w = 0; w < waves; ++w) {
        const float g = g_t_[wave_row(w, r)];
        const float a = g * t_re_[wave_lev(w, k)];
        const float b = g * t_im_[wave_lev(w, k)];
        const float* c = cos_m_.data() + wave_col(w, 0);
        const float* s = sin_m_.data() + wave_col(w, 0);
        for (int i = 0; i < im_; ++i) o[i] += a * c[i] - b * s[i];
      }
    }
  });
}

// Geopotential of level k, hydrostatic: the first level from the sea-level
// pressure and the temperature there, each further one from the layer below
// with the mean of the two levels' temperatures in ln p.  phi holds the
// previous level on entry; t_prev the previous level's temperature.
void Atmosphere::geopotential_next(int k, float* phi, float* t_prev, float* t_cur) const {
  temperature(k, t_cur);
  const float p = p_[static_cast<std::size_t>(k)];
  const float half_rd_dlnp = static_cast<float>(0.5 * rd) * dlnp_[static_cast<std::size_t>(k)];
  rows([&](int r0, int r1) {
    const std::size_t x0 = static_cast<std::size_t>(r0) * static_cast<std::size_t>(im_);
    const std::size_t x1 = static_cast<std::size_t>(r1) * static_cast<std::size_t>(im_);
    if (k == 0) {
      for (std::size_t x = x0; x < x1; ++x)
        phi[x] = static_cast<float>(rd) * t_cur[x] * std::log(mslp_[x] / p);
    } else {
      for (std::size_t x = x0; x < x1; ++x) phi[x] += half_rd_dlnp * (t_prev[x] + t_cur[x]);
    }
    std::copy(t_cur + x0, t_cur + x1, t_prev + x0);
  });
}

void Atmosphere::relative_humidity(int k, float* out) const {
  const float wl = moist_low_w_[static_cast<std::size_t>(k)];
  const float wh = moist_high_w_[static_cast<std::size_t>(k)];
  rows([&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      const std::size_t base = static_cast<std::size_t>(r) * static_cast<std::size_t>(im_);
      const float mean = rh_mean_[at(r, k)];
      const float* ml = moist_low_.data() + base;
      const float* mh = moist_high_.data() + base;
      float* o = out + base;
      for (int i = 0; i < im_; ++i) o[i] = std::clamp(mean + wl * ml[i] + wh * mh[i], 0.0f, 100.0f);
    }
  });
}

// Specific humidity from temperature and relative humidity, with the
// saturation vapour pressure over water (Bolton's fit).
void Atmosphere::specific_humidity(int k, float* out, float* scratch) const {
  temperature(k, scratch);
  relative_humidity(k, out);
  const float p = p_[static_cast<std::size_t>(k)];
  rows([&](int r0, int r1) {
    const std::size_t x1 = static_cast<std::size_t>(r1) * static_cast<std::size_t>(im_);
    for (std::size_t x = static_cast<std::size_t>(r0) * static_cast<std::size_t>(im_); x < x1; ++x) {
      const float t = scratch[x];
      const float es = 6.112f * std::exp(17.67f * (t - 273.15f) / (t - 29.65f));
      const float e = std::min(out[x] * 0.01f * es, 0.5f * p);
      out[x] = 0.622f * e / (p - 0.378f * e);
    }
  });
}

void Atmosphere::zonal_wind(int k, float* out) const {
  const float sys_w = system_w_[static_cast<std::size_t>(k)];
  rows([&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      const std::size_t base = static_cast<std::size_t>(r) * static_cast<std::size_t>(im_);
      const float mean = u_mean_[at(r, k)];
      const float* us = u_sys_.data() + base;
      float* o = out + base;
      for (int i = 0; i < im_; ++i) o[i] = mean + sys_w * us[i];
      for (int w = 0; w < waves; ++w) {
        const float g = g_u_[wave_row(w, r)];
        const float a = g * z_re_[wave_lev(w, k)];
        const float b = g * z_im_[wave_lev(w, k)];
        const float* c = cos_m_.data() + wave_col(w, 0);
        const float* s = sin_m_.data() + wave_col(w, 0);
        for (int i = 0; i < im_; ++i) o[i] += a * c[i] - b * s[i];
      }
    }
  });
}

void Atmosphere::meridional_wind(int k, float* out) const {
  const float sys_w = system_w_[static_cast<std::size_t>(k)];
  rows([&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      const std::size_t base = static_cast<std::size_t>(r) * static_cast<std::size_t>(im_);
      const float* vs = v_sys_.data() + base;
      float* o = out + base;
      for (int i = 0; i < im_; ++i) o[i] = sys_w * vs[i];
      for (int w = 0; w < waves; ++w) {
        // d/dlon of (a cos - b sin) is -m (a sin + b cos); the -m is in g_v.
        const float g = g_v_[wave_row(w, r)];
        const float a = g * z_re_[wave_lev(w, k)];
        const float b = g * z_im_[wave_lev(w, k)];
        const float* c = cos_m_.data() + wave_col(w, 0);
        const float* s = sin_m_.data() + wave_col(w, 0);
        for (int i = 0; i < im_; ++i) o[i] += a * s[i] + b * c[i];
      }
    }
  });
}

// Surface planes, numbered as in the input grid file.
void Atmosphere::surface(int plane, float* out) const {
  switch (plane) {
    case 1:  // land-sea mask
      for (std::size_t x = 0; x < n_; ++x) out[x] = land_[x] ? 1.0f : 0.0f;
      return;
    case 2:  // mean sea-level pressure
      std::copy(mslp_.begin(), mslp_.end(), out);
      return;
    case 3:  // surface pressure: sea-level pressure carried up to the terrain
      for (std::size_t x = 0; x < n_; ++x) {
        if (height_[x] == 0.0f) {
          out[x] = mslp_[x];
          continue;
        }
        const double t_sfc = t_deep_[x] + t_shallow_[x] - sea_level_lapse * height_[x];
        const double t_mean = t_sfc + 0.5 * sea_level_lapse * height_[x];
        out[x] = static_cast<float>(mslp_[x] * std::exp(-gravity * height_[x] / (rd * t_mean)));
      }
      return;
    case 4:  // surface geopotential
      for (std::size_t x = 0; x < n_; ++x) out[x] = static_cast<float>(gravity) * height_[x];
      return;
    default:
      soil(plane, out);
  }
}

// Soil temperature (planes 5, 7, 9, 11) and moisture (6, 8, 10, 12) of the
// four layers, over land; the undefined mark over sea.  The top layer
// follows the air just above the ground, deeper layers lean ever more to the
// annual mean.  Moisture is high in the rainy tropics and under the storm
// tracks, low in the subtropical deserts; the wettest spots exceed 0.6.
void Atmosphere::soil(int plane, float* out) const {
  const int layer = (plane - 5) / 2;  // 0..3
  const bool moisture = plane % 2 == 0;
  static constexpr std::array<double, 4> damping = {1.0, 0.8, 0.5, 0.2};
  static constexpr std::array<double, 4> warmer = {0.5, 0.8, 1.0, 1.2};
  static constexpr std::array<double, 4> keep = {1.0, 0.8, 0.6, 0.45};
  const double itcz = 4.0 - 7.0 * season_;
  for (int r = 0; r < jm_; ++r) {
    const double phi = lat_[static_cast<std::size_t>(r)];
    const double wet_band = 0.20 * bell(phi, itcz, 12.0);
    const double dry = bell(std::abs(phi), 24.0, 8.0);
    const double tropical = 1.0 - std::abs(std::sin(phi * deg));
    for (int i = 0; i < im_; ++i) {
      const std::size_t x = static_cast<std::size_t>(r) * static_cast<std::size_t>(im_) + static_cast<std::size_t>(i);
      if (!land_[x]) {
        out[x] = undefined;
        continue;
      }
      const std::size_t lk = static_cast<std::size_t>(layer);
      if (moisture) {
        // Wetlands and bogs where the wetness pattern peaks, but not in deserts.
        const double humid = 1.0 - 0.8 * dry;
        const double marsh = 0.45 * std::max(0.0f, wetness_[x] - 0.55f) * humid;
        const double top = std::clamp(0.28 + wet_band - 0.17 * dry * (0.4 + 0.6 * coast_[x]) +
                                          0.005 * moist_low_[x] + 0.12 * wetness_[x] * humid + marsh,
                                      0.02, 0.92);
        out[x] = static_cast<float>(std::clamp(keep[lk] * top + (1.0 - keep[lk]) * 0.32 + 0.01 * layer, 0.02, 0.92));
      } else {
        const double lapse = sea_level_lapse * height_[x];
        const double air = t_deep_[x] + t_shallow_[x] - lapse;
        const double land_annual = -4.0 * sqr(1.0 - tropical) + 2.0 * tropical;
        const double annual = t_annual_[static_cast<std::size_t>(r)] + coast_[x] * coast_[x] * land_annual - lapse;
        out[x] = static_cast<float>(std::max(200.0, annual + damping[lk] * (air - annual) + warmer[lk]));
      }
    }
  }
}

}  // namespace synth
