// The saturation vapour pressure table over water, 150 K to 450 K in steps
// of 0.01 K, in hPa.
#include "estab/estab.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class Esat : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { estab::es_ini(); }
};

TEST_F(Esat, ReferenceValues) {
  const struct {
    std::int32_t n;
    double hpa;
  } refs[] = {
      {15000, 2.4542e-8},  // 150 K
      {27316, 6.1076},     // triple point
      {30000, 35.314},
      {37316, 1013.2},  // steam point: one atmosphere
      {45000, 9338.3},
  };
  for (const auto& r : refs) {
    const double v = estab::esat(r.n);
    EXPECT_LT(std::fabs(v - r.hpa) / r.hpa, 1e-4) << "n = " << r.n << ": " << v;
  }
}

// Every entry is finite, positive and above the one before it.
TEST_F(Esat, RisesStrictlyOverWholeTable) {
  EXPECT_GT(estab::esat(estab::n_first), 0.0f);
  for (std::int32_t n = estab::n_first + 1; n <= estab::n_last; ++n) {
    ASSERT_TRUE(std::isfinite(estab::esat(n))) << n;
    ASSERT_GT(estab::esat(n), estab::esat(n - 1)) << n;
  }
}

}  // namespace
