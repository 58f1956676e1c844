#include "synth.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#include "fileio/output_file.hpp"
#include "geography.hpp"
#include "kit/numbers.hpp"
#include "layout/run_description_text.hpp"
#include "textio/errors.hpp"

namespace synth {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double deg = pi / 180.0;
constexpr double earth_radius = 6.371e6;  // m
constexpr double omega = 7.292e-5;        // rotation rate of the Earth, 1/s
constexpr double rd = 287.05;             // gas constant of dry air, J/(kg K)
constexpr double gravity = 9.8;           // the converter divides geopotential by this
constexpr double air_density = 1.2;       // kg/m3, for the geostrophic wind of surface systems
constexpr double sea_level_lapse = 0.0065;  // K/m, for reducing temperatures to the terrain

const float undefined = std::bit_cast<float>(undefined_bits);

// ---------------------------------------------------------------------------
// Deterministic random numbers: splitmix64, and uniform reals built from its
// top 53 bits, so that a seed gives the same case on every platform.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  int integer(int lo, int hi) {  // inclusive
    return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
  }

 private:
  std::uint64_t state_;
};

double sqr(double x) { return x * x; }
double bell(double x, double centre, double width) { return std::exp(-sqr((x - centre) / width)); }

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

// Runs body(r0, r1) over the rows [0, rows), split across threads when the
// plane is big enough to be worth it.  Each row is computed by exactly one
// thread from the same inputs, so the result does not depend on the split.
template <class Body>
void for_rows(int rows, std::size_t points, Body&& body) {
  const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
  const int threads = points < (1u << 17) ? 1 : static_cast<int>(std::min(hw, 8u));
  if (threads <= 1 || rows < 2 * threads) {
    body(0, rows);
    return;
  }
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t)
    pool.emplace_back([&body, t, rows, threads] { body(rows * t / threads, rows * (t + 1) / threads); });
  body(0, rows / threads);
  for (auto& th : pool) th.join();
}

// Box average over 2r+1 points along i (wrapping round a global grid,
// repeating the edge value otherwise) and then along j; two passes of it
// approach a Gaussian smoothing.
void box_blur(std::vector<float>& f, int ni, int nj, int ri, int rj, bool wrap) {
  std::vector<double> prefix(static_cast<std::size_t>(std::max(ni, nj) + 2 * std::max(ri, rj) + 1));
  auto pass = [&](int n, int r, bool periodic, auto&& at) {
    prefix[0] = 0.0;
    for (int e = 0; e < n + 2 * r; ++e) {
      int src = e - r;
      if (periodic) src = ((src % n) + n) % n;
      else src = std::clamp(src, 0, n - 1);
      prefix[static_cast<std::size_t>(e + 1)] = prefix[static_cast<std::size_t>(e)] + at(src);
    }
    for (int x = 0; x < n; ++x)
      at(x) = static_cast<float>((prefix[static_cast<std::size_t>(x + 2 * r + 1)] -
                                  prefix[static_cast<std::size_t>(x)]) /
                                 (2 * r + 1));
  };
  for (int j = 0; j < nj; ++j)
    pass(ni, ri, wrap, [&](int i) -> float& { return f[static_cast<std::size_t>(j) * static_cast<std::size_t>(ni) + static_cast<std::size_t>(i)]; });
  for (int i = 0; i < ni; ++i)
    pass(nj, rj, false, [&](int j) -> float& { return f[static_cast<std::size_t>(j) * static_cast<std::size_t>(ni) + static_cast<std::size_t>(i)]; });
}

// ---------------------------------------------------------------------------
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

  void build_geography();
  void build_smooth_field(SplitMix64& rng, int terms, int m_lo, int m_hi, std::vector<float>& out);
  void build_surface_systems(SplitMix64& rng);
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

  SplitMix64 rng(s.seed);
  build_geography();
  std::vector<float> n1, n2, n3, n4;
  build_smooth_field(rng, 14, 4, 24, n1);
  build_smooth_field(rng, 14, 3, 18, n2);
  build_smooth_field(rng, 14, 5, 30, n3);
  build_smooth_field(rng, 18, 10, 60, n4);

  // Terrain: ranges and plateaus, a continental rise away from the coasts
  // and hills, on land only.
  std::vector<float> interior(land_.begin(), land_.end());
  const int ri = std::max(1, static_cast<int>(std::lround(8000.0 / s.grid.di)));
  const int rj = std::max(1, static_cast<int>(std::lround(8000.0 / s.grid.dj)));
  box_blur(interior, im_, jm_, ri, rj, global_);
  box_blur(interior, im_, jm_, ri, rj, global_);
  height_.assign(n_, 0.0f);
  raise_mountains(lat_, lon_, height_);
  for (std::size_t x = 0; x < n_; ++x) {
    if (!land_[x]) {
      height_[x] = 0.0f;
      continue;
    }
    const double hills = 180.0 * std::max(0.0f, n4[x]) * (0.2 + interior[x]);
    height_[x] = static_cast<float>(std::max(2.0, height_[x] + 30.0 + 200.0 * interior[x] + hills));
  }

  // Sea-level temperature: annual mean and season by latitude, the land's
  // winter cold and summer warmth, and a little weather.
  t_annual_.resize(static_cast<std::size_t>(jm_));
  t_deep_.resize(n_);
  t_shallow_.resize(n_);
  moist_low_.resize(n_);
  moist_high_.resize(n_);
  wetness_ = std::move(n3);
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
  build_surface_systems(rng);

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
  build_waves(rng);
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

// Mean sea-level pressure: the zonal belts (equatorial trough, subtropical
// highs, subpolar lows) plus Gaussian lows and highs, the semi-permanent
// centres of action and travelling systems placed by the seed.  Their
// geostrophic wind, their cold or warm cores and the cloud of the lows are
// kept for the upper air.
void Atmosphere::build_surface_systems(SplitMix64& rng) {
  struct System {
    double lon, lat, hpa, radius_km, t_per_hpa, rh_per_hpa;
  };
  const double s = season_;
  std::vector<System> systems = {
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

  mslp_.resize(n_);
  std::vector<float> dpdx(n_, 0.0f), dpdy(n_, 0.0f);
  const double itcz = 4.0 - 7.0 * s;
  for (int r = 0; r < jm_; ++r) {
    const double phi = lat_[static_cast<std::size_t>(r)];
    const double aphi = std::abs(phi);
    const double belts = 1012.0 - 3.0 * bell(phi, itcz, 9.0) + 7.0 * bell(aphi, 32.0, 9.0) -
                         9.0 * (phi < 0.0 ? 1.8 : 0.6) * bell(aphi, 62.0, 9.0) + 6.0 * bell(aphi, 90.0, 12.0);
    std::fill_n(mslp_.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(r) * static_cast<std::size_t>(im_)), im_,
                static_cast<float>(belts));
  }
  for (const System& sys : systems) {
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

// ---------------------------------------------------------------------------
// One record of 4-byte reals, little-endian whatever the host, appended to
// the input grid file.
void write_record(c2m::OutputFile& out, std::vector<float>& values, int n) {
  if constexpr (std::endian::native == std::endian::big) {
    for (float& v : values) v = std::bit_cast<float>(__builtin_bswap32(std::bit_cast<std::uint32_t>(v)));
  }
  out.write(std::as_bytes(std::span<const float>(values)), "record " + c2m::decimal(n));
}

}  // namespace

std::vector<float> standard_pressures(int lm) {
  static constexpr std::array<float, 26> levels26 = {
      1000, 975, 950, 925, 900, 850, 800, 750, 700, 650, 600, 550, 500,
      450,  400, 350, 300, 250, 200, 150, 100, 70,  50,  30,  20,  10};
  static constexpr std::array<float, 17> levels17 = {
      1000, 925, 850, 700, 600, 500, 400, 300, 250, 200, 150, 100, 70, 50, 30, 20, 10};
  if (lm == 17) return {levels17.begin(), levels17.end()};
  std::vector<float> p;
  if (lm <= 0) return p;
  if (lm == 1) return {1000.0f};
  if (lm <= 26) {
    for (int k = 0; k < lm; ++k) p.push_back(levels26[static_cast<std::size_t>(std::lround(25.0 * k / (lm - 1)))]);
    return p;
  }
  // Beyond 26 levels: evenly spaced in ln p from 1000 to 1 hPa, rounded to
  // whole hPa above 100, tenths above 10 and hundredths above that.
  for (int k = 0; k < lm; ++k) {
    const double v = 1000.0 * std::pow(1.0e-3, static_cast<double>(k) / (lm - 1));
    const double step = v >= 100.0 ? 1.0 : v >= 10.0 ? 0.1 : 0.01;
    p.push_back(static_cast<float>(std::round(v / step) * step));
  }
  return p;
}

std::int64_t record_count(const CaseSettings& s) {
  return 6 * static_cast<std::int64_t>(s.pressures.size()) + 12;
}

std::int64_t file_bytes(const CaseSettings& s) {
  return record_count(s) * s.grid.im * static_cast<std::int64_t>(s.grid.jm) * 4;
}

std::string run_description(const CaseSettings& s) {
  c2m::layout::RunGrid g;
  g.im = s.grid.im;
  g.jm = s.grid.jm;
  g.grid = {0, s.grid.lat_first, s.grid.lon_first, s.grid.lat_last(), s.grid.lon_last(),
            s.grid.di, s.grid.dj};
  return c2m::layout::run_description_text(s.label, g, s.pressures);
}

namespace {

// The three files of the case, each under a temporary name until all are
// whole, then moved into place together.
void write_files(const std::filesystem::path& dir, const CaseSettings& s) {
  c2m::OutputFile description((dir / c2m::layout::run_description_file).string());
  c2m::OutputFile date((dir / c2m::layout::date_file).string());
  c2m::OutputFile out((dir / s.file_name).string());
  description.write(run_description(s), "the run description");
  date.write(s.date + "\n", "the date");

  const Atmosphere atm(s);
  const std::size_t n = atm.points();
  const int lm = atm.levels();
  std::vector<float> record(n), a(n), b(n), c(n);
  int number = 0;

  // Geopotential, integrated upward level by level.
  for (int k = 0; k < lm; ++k) {
    atm.geopotential_next(k, a.data(), b.data(), c.data());
    std::copy(a.begin(), a.end(), record.begin());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.relative_humidity(k, record.data());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.specific_humidity(k, record.data(), a.data());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.temperature(k, record.data());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.zonal_wind(k, record.data());
    write_record(out, record, ++number);
  }
  for (int k = 0; k < lm; ++k) {
    atm.meridional_wind(k, record.data());
    write_record(out, record, ++number);
  }
  for (int plane = 1; plane <= 12; ++plane) {
    atm.surface(plane, record.data());
    write_record(out, record, ++number);
  }
  c2m::commit_together({&description, &date, &out});
}

}  // namespace

void write_case(const std::filesystem::path& dir, const CaseSettings& s) {
  std::error_code ec;
  const bool made_dir = std::filesystem::create_directories(dir, ec);
  if (ec) throw c2m::CannotOpen(dir.string() + ": cannot create the directory: " + ec.message());
  if (!std::filesystem::is_directory(dir, ec))
    throw c2m::CannotOpen(dir.string() + ": cannot create the directory: it exists and is not a directory");
  try {
    write_files(dir, s);
  } catch (...) {
    // A directory made for this case goes again with it (only if empty).
    if (made_dir) std::filesystem::remove(dir, ec);
    throw;
  }
}

}  // namespace synth
