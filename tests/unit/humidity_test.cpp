// Specific humidity from temperature and relative humidity: the index into
// the saturation table, the plain formula, and the two departures from it
// (missing inputs, saturation humidity capped where e nears the pressure).
#include "conv2model/humidity.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "estab/estab.hpp"

using c2m::missing_value;

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();

class Humidity : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { estab::es_ini(); }
};

TEST_F(Humidity, TableIndexTruncatesThenClamps) {
  const struct {
    float t;
    std::int32_t n;
  } cases[] = {
      {300.0f, 30000},      {273.159f, 27315},  // truncated, not rounded
      {273.16f, 27316},     {150.0f, 15000},     {149.99f, 15000},
      {0.0f, 15000},        {-0.0f, 15000},      {-40.0f, 15000},
      {450.0f, 45000},      {450.01f, 45000},    {1000.0f, 45000},
      {nan, 15000},         {inf, 15000},        {-inf, 15000},
      {1.0e30f, 15000},     {-1.0e30f, 15000},
      // 100 x T rounds to 2^31 in 4-byte reals: outside 32 bits.
      {21474836.0f, 15000},
      // 2147483392 still fits.
      {21474834.0f, 45000},
  };
  for (const auto& c : cases) EXPECT_EQ(c2m::esat_index(c.t), c.n) << c.t;
}

// rh x (0.00622 e) / (p - e), every step a 4-byte real.
float plain(std::int32_t n, float r, float p) {
  const float e = estab::esat(n);
  const float qs = (0.00622f * e) / (p - e);
  return r * qs;
}

TEST_F(Humidity, PlainFormulaBitForBit) {
  const struct {
    float t, r, p;
    std::int32_t n;
  } cases[] = {
      {300.0f, 50.0f, 1000.0f, 30000},  {273.159f, 80.0f, 850.0f, 27315},
      {250.0f, 100.0f, 500.0f, 25000},  {320.5f, 150.0f, 1000.0f, 32050},  // above saturation
      {290.0f, -5.0f, 900.0f, 29000},   {100.0f, 50.0f, 1000.0f, 15000},
      {nan, 50.0f, 1000.0f, 15000},     {1.0e30f, 50.0f, 1000.0f, 15000},
      {500.0f, 50.0f, 25000.0f, 45000}, {300.0f, 50.0f, 80.0f, 30000},  // qs just under 0.005
      {300.0f, 0.0f, 1000.0f, 30000},
  };
  for (const auto& c : cases) {
    const float q = c2m::specific_humidity(c.t, c.r, c.p);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(q), std::bit_cast<std::uint32_t>(plain(c.n, c.r, c.p)))
        << c.t << " K, " << c.r << " %, " << c.p << " hPa: " << q;
  }
  EXPECT_NEAR(c2m::specific_humidity(300.0f, 50.0f, 1000.0f), 0.011385f, 0.011385f * 1e-4f);
}

TEST_F(Humidity, SaturationHumidityCappedWhereVapourPressureNearsPressure) {
  const float e300 = estab::esat(30000);
  const struct {
    float t, p;
  } cases[] = {
      {350.0f, 10.0f},          // warm upper level: e far above p
      {300.0f, 79.0f},          // qs just over 0.005
      {300.0f, 40.0f},
      {300.0f, e300},           // p - e = 0
      {300.0f, e300 - 1.0f},    // p - e < 0
      {nan, 0.0f},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c2m::specific_humidity(c.t, 50.0f, c.p), 50.0f * 0.005f) << c.t << " K " << c.p;
    EXPECT_EQ(c2m::specific_humidity(c.t, 0.0f, c.p), 0.0f);
  }
}

TEST_F(Humidity, MissingTemperatureOrHumidityGivesMissing) {
  EXPECT_EQ(c2m::specific_humidity(missing_value, 50.0f, 1000.0f), missing_value);
  EXPECT_EQ(c2m::specific_humidity(300.0f, missing_value, 1000.0f), missing_value);
  EXPECT_EQ(c2m::specific_humidity(missing_value, missing_value, 10.0f), missing_value);
}

// Every point of every level, each level with its own pressure; missing
// points away from (1, 1) stay missing.  The levels go one after the other,
// as they are written, so a level cannot go on with the pressure of the one
// before.
TEST_F(Humidity, DerivedAtEveryPointWithItsLevelPressure) {
  constexpr std::int32_t im = 3, jm = 2;
  const float pr[] = {1000.0f, 500.0f, 5.0f};
  for (std::int32_t k = 1; k <= 3; ++k) {
    std::vector<float> tp, rh;
    for (std::int32_t j = 1; j <= jm; ++j)
      for (std::int32_t i = 1; i <= im; ++i) {
        const auto p = static_cast<float>(10 * i + j);
        const auto kf = static_cast<float>(k);
        tp.push_back(290.0f - 5.0f * kf + 0.01f * p);
        rh.push_back(10.0f * kf + 0.1f * p);
      }
    const auto point = [](std::int32_t i, std::int32_t j) {
      return static_cast<std::size_t>((j - 1) * im + (i - 1));
    };
    if (k == 1) rh[point(2, 1)] = missing_value;
    if (k == 2) tp[point(3, 2)] = missing_value;
    if (k == 3) tp[point(1, 2)] = 340.0f;
    std::vector<float> qnew2(tp.size(), nan);
    c2m::derive_humidity(tp, rh, pr[k - 1], qnew2);

    for (std::size_t n = 0; n < qnew2.size(); ++n) {
      const float t = tp[n], r = rh[n];
      float want = missing_value;
      if (t != missing_value && r != missing_value) {
        want = plain(c2m::esat_index(t), r, pr[k - 1]);
        if (k == 3) want = r * 0.005f;  // 5 hPa: e above p at every point
      }
      EXPECT_EQ(std::bit_cast<std::uint32_t>(qnew2[n]), std::bit_cast<std::uint32_t>(want))
          << "level " << k << ", point " << n;
    }
  }
}

// A level of many points, longer than any batch the level may be taken in:
// every point, those at the ends of a batch included, gets the value of the
// formula for its own temperature and humidity.
TEST_F(Humidity, LongLevelEveryPointAsTheFormula) {
  for (const float p : {1000.0f, 300.0f, 10.0f}) {
    std::vector<float> tp, rh;
    for (std::size_t n = 0; n < 2500; ++n) {
      // Temperatures across the table and beyond both of its ends.
      tp.push_back(120.0f + 0.137f * static_cast<float>(n));
      rh.push_back(static_cast<float>(n % 101));
    }
    for (const std::size_t n : {0u, 1u, 511u, 512u, 513u, 1023u, 1024u, 2047u, 2048u, 2499u}) {
      tp[n] = n % 2 ? missing_value : tp[n];
      rh[n] = n % 2 ? rh[n] : missing_value;
    }
    tp[700] = nan;
    std::vector<float> qnew2(tp.size(), nan);
    c2m::derive_humidity(tp, rh, p, qnew2);
    for (std::size_t n = 0; n < qnew2.size(); ++n)
      ASSERT_EQ(std::bit_cast<std::uint32_t>(qnew2[n]),
                std::bit_cast<std::uint32_t>(c2m::specific_humidity(tp[n], rh[n], p)))
          << p << " hPa, point " << n << ": " << tp[n] << " K, " << rh[n] << " %";
  }
}

}  // namespace
