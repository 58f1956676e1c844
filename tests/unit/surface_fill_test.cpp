// The surface step: soil moisture cap, missing deep soil layers taken from
// layer 2, and the zero fill along the rows of the soil planes.
#include "conv2model/surface_fill.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "support/work_fixture.hpp"

using c2m::missing_value;
using testsupport::lines_of;

namespace {

const float nan = std::bit_cast<float>(0x7FC01234u);

std::vector<std::uint32_t> bits(const std::vector<float>& v) {
  std::vector<std::uint32_t> b;
  for (float x : v) b.push_back(std::bit_cast<std::uint32_t>(x));
  return b;
}

struct FillCase {
  const char* name;
  std::int32_t im, jm;
  std::vector<float> before, after;  // row j = 1 first
};

class ZeroFill : public ::testing::TestWithParam<FillCase> {};

TEST_P(ZeroFill, FillsZerosAlongRows) {
  const FillCase& c = GetParam();
  std::vector<float> plane = c.before;
  c2m::zero_fill(plane, c.im, c.jm);
  EXPECT_EQ(bits(plane), bits(c.after));
}

std::vector<float> zeros_then(std::size_t zeros, float value) {
  std::vector<float> row(zeros, 0.0f);
  row.push_back(value);
  return row;
}

// The pass from the east moves a value one point per sweep, so of a run of
// zeros at the western end only the 15 nearest to the value are filled.
std::vector<float> twenty_zeros_filled() {
  std::vector<float> row(5, 0.0f);
  row.resize(21, 280.0f);
  return row;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ZeroFill,
    ::testing::Values(
        FillCase{"ValueInMiddleSpreadsBothWays", 5, 1, {0, 0, 5, 0, 0}, {5, 5, 5, 5, 5}},
        FillCase{"OnlyFifteenZerosWestOfValue", 21, 1, zeros_then(20, 280.0f),
                 twenty_zeros_filled()},
        FillCase{"SixteenZerosLeaveOne", 17, 1, zeros_then(16, 3.0f),
                 [] {
                   std::vector<float> r(17, 3.0f);
                   r[0] = 0.0f;
                   return r;
                 }()},
        // From the east first: the fourth point takes the 9 before the pass
        // from the west carries the 7.
        FillCase{"EastPassBeforeWestPass", 5, 1, {7, 0, 0, 0, 9}, {7, 7, 7, 9, 9}},
        FillCase{"WestPassCrossesLongRunAtOnce", 40, 1,
                 [] {
                   std::vector<float> r(40, 0.0f);
                   r[0] = 2.5f;
                   return r;
                 }(),
                 std::vector<float>(40, 2.5f)},
        FillCase{"ZeroAtRowEnd", 4, 1, {1, 2, 3, 0}, {1, 2, 3, 3}},
        FillCase{"NegativeZeroIsZero", 3, 1, {-0.0f, 4, -0.0f}, {4, 4, 4}},
        FillCase{"RowOfZerosKeepsItsBits", 3, 1, {-0.0f, 0.0f, -0.0f}, {-0.0f, 0.0f, -0.0f}},
        FillCase{"NaNNeighbourIsCopied", 3, 1, {0, nan, 0}, {nan, nan, nan}},
        FillCase{"MissingValueIsCopied", 3, 1, {missing_value, 0, 0},
                 {missing_value, missing_value, missing_value}},
        FillCase{"SinglePointRows", 1, 3, {0, 6, 0}, {0, 6, 0}},
        // Values never move between rows, in either direction.
        FillCase{"RowsIndependent", 3, 3, {0, 0, 0, 6, 0, 0, 0, 0, 9},
                 {0, 0, 0, 6, 6, 6, 9, 9, 9}},
        FillCase{"RowEndDoesNotFeedNextRow", 3, 2, {0, 0, 9, 0, 0, 0}, {9, 9, 9, 0, 0, 0}}),
    [](const auto& p) { return std::string(p.param.name); });

// fill_surface on the work arrays of a case (3 x 2 unless said) whose
// surface planes the test sets whole, as stored in the input grid file (row
// j = 1 first); the planes are then looked at as they would be written.
struct Surface {
  explicit Surface(std::int32_t im = 3, std::int32_t jm = 2)
      : c(testsupport::stage_case(im, jm, {1000.0f})) {}

  testsupport::StageCase c;
  std::vector<std::string> log;

  void set(std::int32_t m, const std::vector<float>& v) { c.set(&c2m::WorkArrays::slp, m, v); }
  std::vector<float> get(std::int32_t m) const { return c.values(c.work.slp, m); }
  std::int32_t record(std::int32_t m) const { return c.record(&c2m::WorkArrays::slp, m); }
  void fill() {
    c.load();
    std::string text;
    c2m::Log l(text);
    c2m::fill_surface(c.ctx, c.work, l);
    log = lines_of(text);
  }
};

TEST(FillSurface, MoistureCappedAboveSixTenthsOnly) {
  Surface s;
  const std::vector<float> moist{0.61f, 0.6f, 0.7f, nan, 0.3f, 1.0f};
  for (std::int32_t m = 5; m <= 12; ++m) s.set(m, moist);
  s.set(2, {0.7f, 0.0f, 0.9f, 0.0f, 0.7f, 0.0f});  // planes 1 to 4 are left alone
  s.fill();

  const std::vector<float> capped{0.3f, 0.6f, 0.3f, nan, 0.3f, 0.3f};
  for (std::int32_t m : {6, 8, 10, 12}) EXPECT_EQ(bits(s.get(m)), bits(capped)) << m;
  for (std::int32_t m : {5, 7, 9, 11}) EXPECT_EQ(bits(s.get(m)), bits(moist)) << m;
  EXPECT_EQ(bits(s.get(2)), bits({0.7f, 0.0f, 0.9f, 0.0f, 0.7f, 0.0f}));
  EXPECT_EQ(s.log, std::vector<std::string>{" going to use nsfcfld=           12"});
}

TEST(FillSurface, MissingPlanesReportedAndDeepLayersFilled) {
  Surface s;
  s.set(6, {missing_value, 0, 0, 0.2f, 0.9f, 0});     // layer 1 moisture missing
  s.set(7, {281, 0, 282, 0, 283, 284});               // layer 2 temperature
  s.set(8, {0.9f, 0, 0.5f, 0, 0.4f, 0.7f});           // layer 2 moisture, capped and filled
  s.set(9, {missing_value, 1, 1, 1, 1, 1});           // layer 3 temperature missing
  s.set(10, {missing_value, 0.55f, 0.5f, 0.5f, 0.5f, 0.5f});  // layer 3 moisture missing
  const std::vector<float> plane11 = s.c.stored_level(&c2m::WorkArrays::slp, 11);
  s.fill();

  EXPECT_EQ(s.log, (std::vector<std::string>{
                       " going to use nsfcfld=           12",
                       " SURFACE DATA MISSING...            6",
                       " SURFACE DATA MISSING...            9",
                       " filling soil temp data...",
                       " SURFACE DATA MISSING...           10",
                       " filling soil moisture data...",
                   }));
  // Layer 1 moisture keeps its mark (not capped, below 0.6) and is filled.
  EXPECT_EQ(bits(s.get(6)), bits({missing_value, missing_value, missing_value, 0.2f, 0.3f, 0.3f}));
  const std::vector<float> layer2_temp{281, 282, 282, 283, 283, 284};
  const std::vector<float> layer2_moist{0.3f, 0.5f, 0.5f, 0.4f, 0.4f, 0.3f};
  EXPECT_EQ(bits(s.get(7)), bits(layer2_temp));
  EXPECT_EQ(bits(s.get(8)), bits(layer2_moist));
  // Layer 3 is layer 2 as it stands after its own cap and fill: it comes
  // from layer 2's records.  Layer 1 has no source and keeps its own.
  EXPECT_EQ(bits(s.get(9)), bits(layer2_temp));
  EXPECT_EQ(bits(s.get(10)), bits(layer2_moist));
  EXPECT_EQ(s.c.work.slp.plane(9).record, s.record(7));
  EXPECT_EQ(s.c.work.slp.plane(10).record, s.record(8));
  EXPECT_EQ(s.c.work.slp.plane(6).record, s.record(6));
  // Layer 4, present, only capped and filled (nothing to do here).
  EXPECT_EQ(s.get(11), plane11);
  EXPECT_EQ(s.get(12), std::vector<float>(6, 0.3f));
}

TEST(FillSurface, MissingSourceLayerIsCopiedWithItsMark) {
  Surface s;
  s.set(7, {missing_value, 280, 280, 280, 280, 280});
  s.set(11, {missing_value, 1, 1, 1, 1, 1});
  s.fill();
  EXPECT_EQ(s.get(11), s.get(7));
  EXPECT_EQ(s.get(11)[0], missing_value);
  EXPECT_EQ(s.c.work.slp.plane(11).record, s.record(7));
}

// Every soil plane is filled, a copied one too, after its copy: of a run
// of zeros at the western end that one fill left, 15 more points take the
// value east of it.
TEST(FillSurface, CopiedLayerIsFilledAgain) {
  Surface s(21, 1);
  std::vector<float> temp(20, 0.0f);
  temp.push_back(280.0f);
  s.set(7, temp);
  std::vector<float> missing(21, 1.0f);
  missing[0] = missing_value;
  s.set(9, missing);
  s.fill();

  std::vector<float> filled_once(5, 0.0f);
  filled_once.resize(21, 280.0f);
  EXPECT_EQ(bits(s.get(7)), bits(filled_once));
  EXPECT_EQ(bits(s.get(9)), bits(std::vector<float>(21, 280.0f)));
  EXPECT_EQ(s.c.work.slp.plane(9).record, s.record(7));
}

}  // namespace
