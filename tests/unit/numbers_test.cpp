// Numbers as text and back: every form the programs write, at its edges,
// and every way a text can fail to be a number.
#include "kit/numbers.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

using c2m::NumberRead;

TEST(Numbers, IntegersAndPaddedDigits) {
  EXPECT_EQ(c2m::decimal(0), "0");
  EXPECT_EQ(c2m::decimal(std::int64_t{INT64_MIN}), "-9223372036854775808");
  EXPECT_EQ(c2m::decimal(std::uint64_t{UINT64_MAX}), "18446744073709551615");
  EXPECT_EQ(c2m::decimal(static_cast<signed char>(-128)), "-128");
  EXPECT_EQ(c2m::decimal(std::size_t{536870911}), "536870911");
  const struct {
    unsigned long long v;
    std::size_t width;
    int base;
    const char* text;
  } padded[] = {
      {7, 2, 10, "07"},  {123, 2, 10, "123"}, {0, 3, 10, "000"},
      {0x1b, 2, 16, "1b"}, {0x7f, 2, 16, "7f"}, {0, 0, 10, "0"},
  };
  for (const auto& p : padded) EXPECT_EQ(c2m::zero_padded(p.v, p.width, p.base), p.text) << p.v;
}

// The shortest forms of a 4-byte and of an 8-byte real differ for the
// same value; each reads back bit for bit.
TEST(Numbers, ShortestRealsReadBackExactly) {
  const struct {
    float f;
    const char* as_float;
    const char* as_double;
  } rows[] = {
      {0.1f, "0.1", "0.10000000149011612"},
      {-99999.0f, "-99999", "-99999"},
      {9.999e20f, "9.999e+20", "999900026055400882176"},  // fixed when no longer
      {1e-5f, "1e-05", "9.999999747378752e-06"},
      {std::numeric_limits<float>::infinity(), "inf", "inf"},
      {-0.0f, "-0", "-0"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(c2m::shortest_float(r.f), r.as_float);
    EXPECT_EQ(c2m::shortest_double(static_cast<double>(r.f)), r.as_double);
  }
  EXPECT_EQ(c2m::shortest_float(std::numeric_limits<float>::quiet_NaN()), "nan");
  // A spread of bit patterns, subnormals and the largest included.
  for (std::uint32_t bits = 1; bits < 0x7f800000u; bits += 0x00d00ab1u) {
    const float f = std::bit_cast<float>(bits);
    float back = 0.0f;
    ASSERT_EQ(c2m::read_real(c2m::shortest_float(f), back), NumberRead::done);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(back), bits);
  }
}

// The scientific form keeps the shortest digits of its own type, so that
// a decimal shift of its exponent is exact: 79432.82 Pa is 794.3282 hPa.
TEST(Numbers, ShortestScientificOfEachType) {
  const struct {
    double v;
    const char* as_double;
  } doubles[] = {
      {85000.0, "8.5e+04"}, {0.01, "1e-02"}, {79432.82, "7.943282e+04"}, {-1.0, "-1e+00"},
      {1e300, "1e+300"},    {5e-324, "5e-324"},
  };
  for (const auto& r : doubles) EXPECT_EQ(c2m::shortest_scientific(r.v), r.as_double);
  EXPECT_EQ(c2m::shortest_scientific(0.1f), "1e-01");
  EXPECT_EQ(c2m::shortest_scientific(static_cast<double>(0.1f)), "1.0000000149011612e-01");
  EXPECT_EQ(c2m::shortest_scientific(794.3282f), "7.943282e+02");
  EXPECT_EQ(c2m::shortest_scientific(-std::numeric_limits<float>::infinity()), "-inf");
}

TEST(Numbers, RealsWithAStatedPrecision) {
  EXPECT_EQ(c2m::fixed_decimals(2.5, 2), "2.50");
  EXPECT_EQ(c2m::fixed_decimals(-0.125, 2), "-0.12");  // to nearest, ties to even
  EXPECT_EQ(c2m::fixed_decimals(1e300, 0).size(), 301u);
  EXPECT_EQ(c2m::fixed_decimals(-1e300, 20).size(), 1u + 301u + 1u + 20u);  // never cut short
  EXPECT_EQ(c2m::fixed_decimals(0.5, 500).size(), 502u);
  EXPECT_EQ(c2m::significant_digits(283.16666, 7), "283.1667");
  EXPECT_EQ(c2m::significant_digits(1234567.8, 7), "1234568");
  EXPECT_EQ(c2m::significant_digits(12345678.0, 7), "1.234568e+07");
  EXPECT_EQ(c2m::significant_digits(0.5, 3), "0.5");
  EXPECT_EQ(c2m::scientific_decimals(999999999.0f, 8), "1.00000000e+09");
  EXPECT_EQ(c2m::scientific_decimals(0.099999994f, 8), "9.99999940e-02");
}

TEST(Numbers, WholeTextsAsIntegers) {
  const struct {
    const char* text;
    NumberRead read;
    long long value;
  } rows[] = {
      {"12", NumberRead::done, 12},
      {"-5", NumberRead::done, -5},
      {"007", NumberRead::done, 7},
      {"+5", NumberRead::malformed, 0},
      {"", NumberRead::malformed, 0},
      {"-", NumberRead::malformed, 0},
      {" 5", NumberRead::malformed, 0},
      {"5 ", NumberRead::malformed, 0},
      {"5x", NumberRead::malformed, 0},
      {"1.0", NumberRead::malformed, 0},
      {"9223372036854775808", NumberRead::out_of_range, 0},
      {"99999999999999999999x", NumberRead::out_of_range, 0},  // out of range before malformed
  };
  for (const auto& r : rows) {
    long long v = 0;
    EXPECT_EQ(c2m::read_integer(r.text, v), r.read) << "'" << r.text << "'";
    if (r.read == NumberRead::done) {
      EXPECT_EQ(v, r.value) << r.text;
    }
  }
  std::uint64_t u = 0;
  EXPECT_EQ(c2m::read_integer("-1", u), NumberRead::malformed);  // no sign for an unsigned type
  std::int8_t small = 0;
  EXPECT_EQ(c2m::read_integer("128", small), NumberRead::out_of_range);

  std::int32_t lead = 0;
  EXPECT_EQ(c2m::read_leading_integer("12 kgds(2)", lead), 2u);
  EXPECT_EQ(lead, 12);
  EXPECT_EQ(c2m::read_leading_integer("x12", lead), 0u);
  EXPECT_EQ(c2m::read_leading_integer("99999999999 x", lead), 0u);
}

TEST(Numbers, WholeTextsAsReals) {
  const struct {
    const char* text;
    NumberRead read;
    double value;
  } rows[] = {
      {"8.5e2", NumberRead::done, 850.0},
      {"-2.5", NumberRead::done, -2.5},
      {".5", NumberRead::done, 0.5},
      {"1.", NumberRead::done, 1.0},
      {"inf", NumberRead::done, HUGE_VAL},
      {"+1", NumberRead::malformed, 0},
      {"1e", NumberRead::malformed, 0},
      {"1d3", NumberRead::malformed, 0},
      {"0x10", NumberRead::malformed, 0},
      {"", NumberRead::malformed, 0},
      {"1e999", NumberRead::out_of_range, 0},
  };
  for (const auto& r : rows) {
    double v = 0;
    EXPECT_EQ(c2m::read_real(r.text, v), r.read) << "'" << r.text << "'";
    if (r.read == NumberRead::done) {
      EXPECT_EQ(v, r.value) << r.text;
    }
  }
  double nan = 0;
  EXPECT_EQ(c2m::read_real("nan", nan), NumberRead::done);
  EXPECT_TRUE(std::isnan(nan));
  float f = 0;
  EXPECT_EQ(c2m::read_real("3.5e38", f), NumberRead::out_of_range);  // beyond a 4-byte real
  EXPECT_EQ(c2m::read_real("0.1", f), NumberRead::done);
  EXPECT_EQ(f, 0.1f);
}

}  // namespace
