#include "atmosphere.hpp"

#include <algorithm>
#include <cmath>
#include <span>

#include "constants.hpp"
#include "geography.hpp"

namespace synth {

namespace {

// Seasonal phase from a date word that starts YYYYMMDD: +1 in mid-January
// (northern winter), -1 in mid-July.  Any other word gives mid-January.
double season_of(const std::string& date) {
  if (date.size() < 8) return 1.0;
  for (int n = 0; n < 8; ++n)
    if (date[static_cast<std::size_t>(n)] < '0' || date[static_cast<std::size_t>(n)] > '9')
      return 1.0;
  const int month = (date[4] - '0') * 10 + (date[5] - '0');
  const int day = (date[6] - '0') * 10 + (date[7] - '0');
  if (month < 1 || month > 12 || day < 1 || day > 31) return 1.0;
  const double day_of_year = (month - 1) * 30.44 + (day - 1);
  return std::cos(2.0 * pi * (day_of_year - 15.0) / 365.25);
}

}  // namespace

Atmosphere::Atmosphere(const CaseSettings& s)
    : im_(s.grid.im),
      jm_(s.grid.jm),
      lm_(static_cast<int>(s.pressures.size())),
      n_(static_cast<std::size_t>(s.grid.im) * static_cast<std::size_t>(s.grid.jm)),
      global_(static_cast<std::int64_t>(s.grid.im) * s.grid.di == 360000),
      season_(season_of(s.date)),
      p_(s.pressures) {
  lat_.resize(static_cast<std::size_t>(jm_));
  lon_.resize(static_cast<std::size_t>(im_));
  for (int r = 0; r < jm_; ++r) lat_[static_cast<std::size_t>(r)] = s.grid.lat_deg(jm_ - 1 - r);
  for (int i = 0; i < im_; ++i) lon_[static_cast<std::size_t>(i)] = s.grid.lon_deg(i);

  // Every draw of the generator in a fixed order: the seed alone decides.
  SplitMix64 rng(s.seed);
  build_geography();
  std::vector<float> n1, n2, n3, n4;
  build_smooth_field(rng, 14, 4, 24, n1);
  build_smooth_field(rng, 14, 3, 18, n2);
  build_smooth_field(rng, 14, 5, 30, n3);
  build_smooth_field(rng, 18, 10, 60, n4);
  build_terrain(n4, s.grid);
  build_sea_level(n1, n2, std::move(n3));
  build_surface_systems(rng);
  build_row_tables();
  build_level_tables();
  build_waves(rng);
}

void Atmosphere::build_terrain(const std::vector<float>& noise, const Grid& grid) {
  // Terrain: ranges and plateaus, a continental rise away from the coasts
  // and hills, on land only.
  std::vector<float> interior(land_.begin(), land_.end());
  const int ri = std::max(1, static_cast<int>(std::lround(8000.0 / grid.di)));
  const int rj = std::max(1, static_cast<int>(std::lround(8000.0 / grid.dj)));
  box_blur(interior, im_, jm_, ri, rj, global_);
  box_blur(interior, im_, jm_, ri, rj, global_);
  height_.assign(n_, 0.0f);
  raise_mountains(lat_, lon_, height_);
  for (std::size_t x = 0; x < n_; ++x) {
    if (!land_[x]) {
      height_[x] = 0.0f;
      continue;
    }
    const double hills = 180.0 * std::max(0.0f, noise[x]) * (0.2 + interior[x]);
    height_[x] = static_cast<float>(std::max(2.0, height_[x] + 30.0 + 200.0 * interior[x] + hills));
  }
}

void Atmosphere::build_sea_level(const std::vector<float>& n1, const std::vector<float>& n2,
                                 std::vector<float> wetness) {
  // Sea-level temperature: annual mean and season by latitude, the land's
  // winter cold and summer warmth, and a little weather.
  t_annual_.resize(static_cast<std::size_t>(jm_));
  t_deep_.resize(n_);
  t_shallow_.resize(n_);
  moist_low_.resize(n_);
  moist_high_.resize(n_);
  wetness_ = std::move(wetness);
  for (int r = 0; r < jm_; ++r) {
    const double phi = lat_[static_cast<std::size_t>(r)];
    const double sn = std::abs(std::sin(phi * deg));
    const double winter = season_ * std::tanh(phi / 10.0);  // +1 in the winter hemisphere
    // Over the sea the year's swing is small; land is colder in winter,
    // warmer in summer, the more so the further from the sea.
    // The polar seas are colder still, the more so in winter under their ice.
    const double s2 = sn * sn, s6 = s2 * s2 * s2;
    const double annual = 302.0 - 30.0 * s2 - 20.0 * s6 * s2;
    t_annual_[static_cast<std::size_t>(r)] = static_cast<float>(annual);
    const double zonal = annual - 3.0 * winter * sn - 8.0 * winter * s6;
    const double contrast = -14.0 * winter * sn - 4.0 * sn * sn + 2.0 * (1.0 - sn);
    const double dry = bell(std::abs(phi), 24.0, 9.0);  // subtropical deserts
    for (int i = 0; i < im_; ++i) {
      const std::size_t x = static_cast<std::size_t>(r) * static_cast<std::size_t>(im_) + static_cast<std::size_t>(i);
      t_deep_[x] = static_cast<float>(zonal + 1.5 * n1[x]);
      t_shallow_[x] = static_cast<float>(coast_[x] * coast_[x] * contrast);
      moist_low_[x] = static_cast<float>(14.0 * n1[x] - 22.0 * coast_[x] * dry);
      moist_high_[x] = static_cast<float>(22.0 * n2[x]);
    }
  }
}

void Atmosphere::build_row_tables() {
  // Row x level tables.
  const std::size_t rl = static_cast<std::size_t>(jm_) * static_cast<std::size_t>(lm_);
  lapse_factor_.resize(rl);
  t_floor_.resize(rl);
  u_mean_.resize(rl);
  rh_mean_.resize(rl);
  const double itcz = 4.0 - 7.0 * season_;
  for (int r = 0; r < jm_; ++r) {
    const double phi = lat_[static_cast<std::size_t>(r)];
    const double sn = std::sin(phi * deg);
    const double s2 = sn * sn;
    const double winter = season_ * std::tanh(phi / 10.0);
    const double aphi = std::abs(phi);
    // Lapse rate, K/km: steepest in middle latitudes, weakest over the
    // winter pole with its inversions.
    const double lapse = 6.2 + 0.6 * sqr(std::sin(2.0 * phi * deg)) - 1.4 * s2 * s2 * (1.0 + 0.4 * winter);
    const double kappa = rd * lapse / 1000.0 / gravity;
    // Tropopause: high and cold over the tropics, low and milder at the
    // poles, coldest over the winter pole.
    const double t_tropopause = 194.0 + 28.0 * s2 - 9.0 * winter * s2 * s2;
    // Jets: the subtropical/polar-front jet of each hemisphere near
    // 250 hPa, stronger and further equatorward in winter.
    const double jet_n = (32.0 + 14.0 * season_) * bell(phi, 40.0 - 5.0 * season_, 11.0);
    const double jet_s = (32.0 - 8.0 * season_) * bell(phi, -(42.0 + 4.0 * season_), 11.0);
    // Surface winds: trades, westerlies (stronger in the south), polar easterlies.
    const double u_low = -6.0 * bell(aphi, 15.0, 9.0) +
                         8.0 * (phi < 0.0 ? 1.4 : 1.0) * bell(aphi, 50.0, 10.0) -
                         4.0 * bell(aphi, 78.0, 6.0);
    for (int k = 0; k < lm_; ++k) {
      const double p = p_[static_cast<std::size_t>(k)];
      const double lnp = std::log(p);
      lapse_factor_[at(r, k)] = static_cast<float>(std::pow(p / 1000.0, kappa));
      const double warming = p < 100.0 ? 5.5 * std::log(100.0 / p) * (1.0 - 0.5 * winter * s2) : 0.0;
      t_floor_[at(r, k)] = static_cast<float>(t_tropopause + warming);

      const double jet_shape = std::exp(-sqr((lnp - std::log(230.0)) / 0.75));
      const double upper = std::exp(-sqr((lnp - std::log(3.0)) / 1.4));
      double u = u_low * std::pow(p / 1000.0, 1.5) + (jet_n + jet_s) * jet_shape;
      u += -8.0 * bell(phi, 0.0, 14.0) * std::exp(-sqr((lnp - std::log(150.0)) / 0.6));
      u += 50.0 * std::max(winter, 0.0) * bell(aphi, 62.0, 10.0) * upper;  // polar night jet
      u += -15.0 * std::max(-winter, 0.0) * bell(aphi, 45.0, 20.0) * upper;  // summer easterlies
      u_mean_[at(r, k)] = static_cast<float>(u);

      double rh = p >= 300.0 ? 30.0 + 52.0 * std::pow((p - 300.0) / 700.0, 0.8) : 30.0 * p / 300.0;
      rh += 25.0 * bell(phi, 0.0, 15.0) * std::exp(-sqr((lnp - std::log(130.0)) / 0.35));
      rh += 14.0 * bell(phi, itcz, 7.0) * std::min(1.0, p / 200.0);
      rh -= 24.0 * bell(aphi, 24.0, 8.0) * (0.3 + std::exp(-sqr((lnp - std::log(550.0)) / 0.6))) * std::min(1.0, p / 200.0);
      rh += 6.0 * bell(aphi, 55.0, 12.0) * std::min(1.0, p / 200.0);
      rh_mean_[at(r, k)] = static_cast<float>(rh);
    }
  }
}

void Atmosphere::build_level_tables() {
  // Level tables.
  shallow_w_.resize(static_cast<std::size_t>(lm_));
  system_w_.resize(static_cast<std::size_t>(lm_));
  moist_low_w_.resize(static_cast<std::size_t>(lm_));
  moist_high_w_.resize(static_cast<std::size_t>(lm_));
  dlnp_.resize(static_cast<std::size_t>(lm_));
  for (int k = 0; k < lm_; ++k) {
    const std::size_t kk = static_cast<std::size_t>(k);
    const double p = p_[kk];
    const double ln_up = std::log(1000.0 / p);
    shallow_w_[kk] = static_cast<float>(std::exp(-std::max(0.0, ln_up) / 0.35));
    // Surface lows are cold-core and deepen with height through the
    // troposphere; their circulation fades in the stratosphere.
    system_w_[kk] = static_cast<float>((1.0 + 0.4 * std::clamp(ln_up, 0.0, 1.4)) * (p < 200.0 ? std::sqrt(p / 200.0) : 1.0));
    const double top = p < 150.0 ? sqr(p / 150.0) : 1.0;
    moist_low_w_[kk] = static_cast<float>(std::pow(p / 1000.0, 0.7) * top);
    moist_high_w_[kk] = static_cast<float>(std::exp(-sqr(std::log(p / 400.0) / 0.8)) * top);
    dlnp_[kk] = k == 0 ? 0.0f : static_cast<float>(std::log(static_cast<double>(p_[kk - 1]) / p));
  }
}

void Atmosphere::build_geography() {
  land_.assign(n_, 0);
  for (int r = 0; r < jm_; ++r)
    land_row(lat_[static_cast<std::size_t>(r)], lon_,
             std::span<std::uint8_t>(land_.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(im_),
                                     static_cast<std::size_t>(im_)));
  // Continentality: the land fraction within about five degrees.
  coast_.assign(land_.begin(), land_.end());
  const double spacing_lon = std::abs(lon_.size() > 1 ? lon_[1] - lon_[0] : 1.0);
  const double spacing_lat = std::abs(lat_.size() > 1 ? lat_[0] - lat_[1] : 1.0);
  const int ri = std::max(1, static_cast<int>(std::lround(5.0 / spacing_lon)));
  const int rj = std::max(1, static_cast<int>(std::lround(5.0 / spacing_lat)));
  box_blur(coast_, im_, jm_, ri, rj, global_);
  box_blur(coast_, im_, jm_, ri, rj, global_);
}

// A smooth random pattern: a sum of plane waves cos(m lon + l lat + a) with
// whole zonal wavenumbers m, so that a global field joins up across the
// meridian where the grid wraps.  Scaled to a standard deviation near 0.5.
void Atmosphere::build_smooth_field(SplitMix64& rng, int terms, int m_lo, int m_hi,
                                    std::vector<float>& out) {
  out.assign(n_, 0.0f);
  // Wavenumbers, directions and phases first, then amplitudes falling off
  // as 1/m (larger features stronger, as in real weather).
  struct Term {
    int m;
    double l, alpha, amp;
  };
  std::vector<Term> term(static_cast<std::size_t>(terms));
  double variance = 0.0;
  for (Term& t : term) {
    t.m = rng.integer(m_lo, m_hi);
    t.l = rng.uniform(-1.2, 1.2) * t.m;
    t.alpha = rng.uniform(0.0, 2.0 * pi);
    t.amp = rng.uniform(0.5, 1.0) * m_lo / t.m;
    variance += 0.5 * t.amp * t.amp;
  }
  const double scale = 0.5 / std::sqrt(variance);
  std::vector<float> cm(static_cast<std::size_t>(im_)), sm(static_cast<std::size_t>(im_));
  for (const Term& t : term) {
    const int m = t.m;
    const double l = t.l;
    const double alpha = t.alpha;
    const double a = t.amp * scale;
    for (int i = 0; i < im_; ++i) {
      const double lam = m * lon_[static_cast<std::size_t>(i)] * deg;
      cm[static_cast<std::size_t>(i)] = static_cast<float>(a * std::cos(lam));
      sm[static_cast<std::size_t>(i)] = static_cast<float>(a * std::sin(lam));
    }
    for (int r = 0; r < jm_; ++r) {
      const double arg = l * lat_[static_cast<std::size_t>(r)] * deg + alpha;
      const float c = static_cast<float>(std::cos(arg));
      const float s = static_cast<float>(std::sin(arg));
      float* row = out.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(im_);
      for (int i = 0; i < im_; ++i)
        row[i] += c * cm[static_cast<std::size_t>(i)] - s * sm[static_cast<std::size_t>(i)];
    }
  }
}

}  // namespace synth
