// The weather of a synthetic case: surface lows and highs, and planetary
// waves aloft.
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

#include "atmosphere.hpp"
#include "constants.hpp"
#include "geography.hpp"

namespace synth {

// Mean sea-level pressure: the zonal belts (equatorial trough, subtropical
// highs, subpolar lows) plus Gaussian lows and highs, the semi-permanent
// centres of action and travelling systems placed by the seed.  Their
// geostrophic wind, their cold or warm cores and the cloud of the lows are
// kept for the upper air.
void Atmosphere::build_surface_systems(SplitMix64& rng) {
  const std::vector<PressureSystem> systems = pressure_systems(rng);
  std::vector<float> dpdx(n_, 0.0f), dpdy(n_, 0.0f);
  add_pressure_systems(systems, dpdx, dpdy);
  build_geostrophic_wind(dpdx, dpdy);
}

// The semi-permanent centres of action, then the travelling systems the
// seed places inside the domain.
std::vector<PressureSystem> Atmosphere::pressure_systems(SplitMix64& rng) const {
  const double s = season_;
  std::vector<PressureSystem> systems = {
      {-32, 61, -12.0 * (1.0 + 0.4 * s), 1300, 0.0, -0.8},        // Icelandic low
      {-172, 52, -12.0 * (1.0 + 0.5 * s), 1500, 0.0, -0.8},       // Aleutian low
      {100, 50, 20.0 * std::max(s, 0.0) + 2.0, 1800, -0.5, -0.5},  // Siberian high, cold
      {-30, 36, 8.0, 1600, 0.1, -0.8},                            // Azores high
      {-145, 34, 7.0 * (1.0 - 0.4 * s), 2000, 0.1, -0.8},          // North Pacific high
      {-10, -30, 7.0, 1800, 0.1, -0.8},                           // South Atlantic high
      {80, -32, 7.0, 2000, 0.1, -0.8},                            // South Indian high
      {-100, -32, 7.0, 2200, 0.1, -0.8},                          // South Pacific high
  };
  // Travelling lows and highs inside the domain, more of them the larger it is.
  const double south = lat_.back(), north = lat_.front();
  const double west = lon_.front(), east = lon_.back();
  const double area = std::abs(std::sin(north * deg) - std::sin(south * deg)) * 0.5 *
                      std::min(1.0, (east - west) / 360.0);
  const int lows = std::max(3, static_cast<int>(std::lround(14.0 * area)));
  const int highs = std::max(2, static_cast<int>(std::lround(8.0 * area)));
  const double lat_lo = std::max(south, -75.0), lat_hi = std::min(north, 75.0);
  for (int n = 0; n < lows + highs; ++n) {
    const bool low = n < lows;
    // Mostly in the storm belts, 30 to 70 degrees, where the domain has them.
    double lat = rng.uniform(lat_lo, lat_hi);
    for (int tries = 0; tries < 16 && (std::abs(lat) < 30.0 || std::abs(lat) > 70.0); ++tries)
      lat = rng.uniform(lat_lo, lat_hi);
    const double lon = rng.uniform(west, east);
    const double strength = std::clamp(std::abs(std::sin(lat * deg)) / 0.6, 0.2, 1.0);
    if (low)
      systems.push_back({lon, lat, -rng.uniform(8.0, 28.0) * strength, rng.uniform(600.0, 1100.0), 0.28, -1.3});
    else
      systems.push_back({lon, lat, rng.uniform(6.0, 16.0) * strength, rng.uniform(900.0, 1600.0), 0.15, -1.0});
  }
  return systems;
}

// The zonal belts of the sea-level pressure, and each system added to
// them, to its pressure gradient and to the temperature and moisture of
// its column.
void Atmosphere::add_pressure_systems(const std::vector<PressureSystem>& systems, std::vector<float>& dpdx,
                                      std::vector<float>& dpdy) {
  mslp_.resize(n_);
  const double itcz = 4.0 - 7.0 * season_;
  for (int r = 0; r < jm_; ++r) {
    const double phi = lat_[static_cast<std::size_t>(r)];
    const double aphi = std::abs(phi);
    const double belts = 1012.0 - 3.0 * bell(phi, itcz, 9.0) + 7.0 * bell(aphi, 32.0, 9.0) -
                         9.0 * (phi < 0.0 ? 1.8 : 0.6) * bell(aphi, 62.0, 9.0) + 6.0 * bell(aphi, 90.0, 12.0);
    std::fill_n(mslp_.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(r) * static_cast<std::size_t>(im_)), im_,
                static_cast<float>(belts));
  }
  for (const PressureSystem& sys : systems) {
    const double reach = 3.2 * sys.radius_km * 1000.0;
    const double inv_var = 1.0 / sqr(sys.radius_km * 1000.0);
    for (int r = 0; r < jm_; ++r) {
      const double phi = lat_[static_cast<std::size_t>(r)];
      const double dy = earth_radius * (phi - sys.lat) * deg;
      if (std::abs(dy) > reach) continue;
      const double metre_per_deg = earth_radius * std::cos(phi * deg) * deg;
      for (int i = 0; i < im_; ++i) {
        const double dx = metre_per_deg * fold_longitude(lon_[static_cast<std::size_t>(i)] - sys.lon);
        if (std::abs(dx) > reach) continue;
        const double e = sys.hpa * std::exp(-0.5 * (dx * dx + dy * dy) * inv_var);
        const std::size_t x = static_cast<std::size_t>(r) * static_cast<std::size_t>(im_) + static_cast<std::size_t>(i);
        mslp_[x] += static_cast<float>(e);
        dpdx[x] += static_cast<float>(-e * dx * inv_var);
        dpdy[x] += static_cast<float>(-e * dy * inv_var);
        t_deep_[x] += static_cast<float>(sys.t_per_hpa * e);
        const double cloud = std::clamp(sys.rh_per_hpa * e, -20.0, 30.0);
        moist_low_[x] += static_cast<float>(cloud);
        moist_high_[x] += static_cast<float>(0.6 * cloud);
      }
    }
  }
}

void Atmosphere::build_geostrophic_wind(const std::vector<float>& dpdx, const std::vector<float>& dpdy) {
  // Geostrophic wind of the systems, faded out towards the equator where the
  // balance no longer holds, and capped.
  u_sys_.resize(n_);
  v_sys_.resize(n_);
  for (int r = 0; r < jm_; ++r) {
    const double phi = lat_[static_cast<std::size_t>(r)];
    const double f = 2.0 * omega * std::sin(std::max(std::abs(phi), 15.0) * deg) * (phi < 0.0 ? -1.0 : 1.0);
    const double fade = sqr(std::min(1.0, std::abs(phi) / 25.0));
    const double k = 100.0 / (air_density * f) * fade;  // hPa -> Pa
    for (int i = 0; i < im_; ++i) {
      const std::size_t x = static_cast<std::size_t>(r) * static_cast<std::size_t>(im_) + static_cast<std::size_t>(i);
      double u = -k * dpdy[x];
      double v = k * dpdx[x];
      const double speed = std::hypot(u, v);
      if (speed > 30.0) {
        u *= 30.0 / speed;
        v *= 30.0 / speed;
      }
      u_sys_[x] = static_cast<float>(u);
      v_sys_[x] = static_cast<float>(v);
    }
  }
}

// Planetary waves: temperature waves T' = G(lat) A(p) cos(m lon + theta(p))
// that tilt westward with height and change sign above the tropopause.  The
// geopotential integrates them hydrostatically level by level (the same
// trapezoid the geopotential records use), and the wind is the geostrophic
// wind of that geopotential wave, so the three agree.
void Atmosphere::build_waves(SplitMix64& rng) {
  const std::array<std::array<int, 2>, waves> m_range = {{{3, 4}, {5, 6}, {7, 9}}};
  cos_m_.resize(static_cast<std::size_t>(waves) * static_cast<std::size_t>(im_));
  sin_m_.resize(cos_m_.size());
  g_t_.resize(static_cast<std::size_t>(waves) * static_cast<std::size_t>(jm_));
  g_u_.resize(g_t_.size());
  g_v_.resize(g_t_.size());
  const std::size_t wl = static_cast<std::size_t>(waves) * static_cast<std::size_t>(lm_);
  t_re_.resize(wl);
  t_im_.resize(wl);
  z_re_.resize(wl);
  z_im_.resize(wl);

  for (int w = 0; w < waves; ++w) {
    const int m = rng.integer(m_range[static_cast<std::size_t>(w)][0], m_range[static_cast<std::size_t>(w)][1]);
    const double amplitude = rng.uniform(1.5, 3.5);  // K
    const double phase = rng.uniform(0.0, 2.0 * pi);
    const double centre = rng.uniform(42.0, 52.0);

    for (int i = 0; i < im_; ++i) {
      const double lam = m * lon_[static_cast<std::size_t>(i)] * deg;
      cos_m_[wave_col(w, i)] = static_cast<float>(std::cos(lam));
      sin_m_[wave_col(w, i)] = static_cast<float>(std::sin(lam));
    }
    auto shape = [&](double phi) {
      const double winter = season_ * std::tanh(phi / 10.0);
      return (1.0 + 0.3 * winter) * bell(std::abs(phi), centre, 13.0);
    };
    // Streamfunction shape: geopotential over the Coriolis parameter, the
    // latter kept away from zero (the shape is negligible there anyway).
    auto stream = [&](double phi) {
      const double f = 2.0 * omega * std::sin(std::max(std::abs(phi), 12.0) * deg) * (phi < 0.0 ? -1.0 : 1.0);
      return shape(phi) / f;
    };
    for (int r = 0; r < jm_; ++r) {
      const double phi = lat_[static_cast<std::size_t>(r)];
      const double h = 0.01;
      const double dstream = (stream(phi + h) - stream(phi - h)) / (2.0 * h * deg);
      g_t_[wave_row(w, r)] = static_cast<float>(shape(phi));
      g_u_[wave_row(w, r)] = static_cast<float>(-dstream / earth_radius);
      g_v_[wave_row(w, r)] = static_cast<float>(-m * stream(phi) / (earth_radius * std::max(std::cos(phi * deg), 0.02)));
    }
    std::complex<double> z = 0.0, t_prev = 0.0;
    for (int k = 0; k < lm_; ++k) {
      const double p = p_[static_cast<std::size_t>(k)];
      double vertical = std::tanh((std::log(p) - std::log(200.0)) / 0.4);
      if (vertical < 0.0) vertical *= 0.6;
      const double theta = phase + 0.3 * std::clamp(std::log(1000.0 / p), 0.0, std::log(5.0));
      const std::complex<double> t = std::polar(amplitude * vertical, theta);
      if (k == 0)
        z = rd * t * std::log(1013.25 / p);
      else
        z += rd * 0.5 * (t_prev + t) * static_cast<double>(dlnp_[static_cast<std::size_t>(k)]);
      t_prev = t;
      t_re_[wave_lev(w, k)] = static_cast<float>(t.real());
      t_im_[wave_lev(w, k)] = static_cast<float>(t.imag());
      z_re_[wave_lev(w, k)] = static_cast<float>(z.real());
      z_im_[wave_lev(w, k)] = static_cast<float>(z.imag());
    }
  }
}

}  // namespace synth
