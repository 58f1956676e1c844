// The relative-humidity patch: missing levels at the bottom of the column
// take the lowest present level, missing levels at the top the highest
// present one; a gap between present levels ends the run.
#include "conv2model/rh_patch.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <limits>
#include <string>
#include <vector>

#include "support/work_fixture.hpp"
#include "textio/errors.hpp"

using c2m::missing_value;
using testsupport::lines_of;

namespace {

struct Patch {
  std::vector<std::string> log;
  bool stopped = false;
  std::vector<std::vector<float>> levels;  // every level after the patch, as written
  std::vector<std::vector<float>> before;  // every level before it
};

// Runs rh_fix on a 3 x 2 column with the levels MISSING marked at (1, 1).
Patch patch(const std::vector<float>& pr, const std::vector<std::int32_t>& missing) {
  auto c = testsupport::stage_case(3, 2, pr);
  for (std::int32_t k : missing) c.at(&c2m::WorkArrays::rh, k, 1, 1) = missing_value;
  c.load();
  Patch p;
  for (std::int32_t k = 1; k <= c.ctx.lm; ++k) p.before.push_back(c.values(c.work.rh, k));
  std::string text;
  c2m::Log log(text);
  try {
    c2m::rh_fix(c.ctx.im, c.ctx.jm, c.ctx.lm, c.work.rh, c.work.pr, log);
  } catch (const c2m::DataStop&) {
    p.stopped = true;
  }
  p.log = lines_of(text);
  for (std::int32_t k = 1; k <= c.ctx.lm; ++k) p.levels.push_back(c.values(c.work.rh, k));
  return p;
}

const std::vector<float> five_levels{1000.0f, 850.0f, 700.0f, 500.0f, 300.0f};

TEST(RhFix, OnlyLowestPresentLevelLeftFillsTheColumnUpwards) {
  const Patch p = patch(five_levels, {2, 3, 4, 5});
  EXPECT_FALSE(p.stopped);
  // Every level below the top is examined, the present level 1 included.
  EXPECT_EQ(p.log, (std::vector<std::string>{
                       " checking RH at lev=    500.000000    ",
                       " checking RH at lev=    700.000000    ",
                       " checking RH at lev=    850.000000    ",
                       " checking RH at lev=    1000.00000    ",
                       " Copying        1000  mb to         850  mb.",
                       " Copying         850  mb to         700  mb.",
                       " Copying         700  mb to         500  mb.",
                       " Copying         500  mb to         300  mb.",
                   }));
  for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(p.levels[k], p.before[0]) << "level " << k + 1;
}

TEST(RhFix, NothingMissingChangesNothing) {
  const Patch p = patch(five_levels, {});
  EXPECT_FALSE(p.stopped);
  EXPECT_TRUE(p.log.empty());
  EXPECT_EQ(p.levels, p.before);
}

// The ends are patched first; a gap left between present levels stops the
// run after the copies already made.
TEST(RhFix, GapLeftAfterEndsArePatchedStops) {
  const Patch bottom = patch(five_levels, {1, 3});
  EXPECT_TRUE(bottom.stopped);
  EXPECT_EQ(bottom.log, (std::vector<std::string>{" Copying         850  mb to        1000  mb.",
                                                  " RH patch did not work.."}));
  EXPECT_EQ(bottom.levels[0], bottom.before[1]);  // the copy made stays

  const Patch top = patch(five_levels, {2, 4, 5});
  EXPECT_TRUE(top.stopped);
  EXPECT_EQ(top.log, (std::vector<std::string>{
                         " checking RH at lev=    500.000000    ",
                         " checking RH at lev=    700.000000    ",
                         " Copying         700  mb to         500  mb.",
                         " Copying         500  mb to         300  mb.",
                         " RH patch did not work..",
                     }));
  EXPECT_EQ(top.levels[3], top.before[2]);
  EXPECT_EQ(top.levels[4], top.before[2]);
}

TEST(RhFix, CopyLinesRoundPressuresToNearestInteger) {
  // 849.5 rounds away from zero; 3e9 does not fit 32 bits.
  const Patch p = patch({1000.4999f, 849.5f, 3.0e9f}, {1, 3});
  EXPECT_FALSE(p.stopped);
  EXPECT_EQ(p.log, (std::vector<std::string>{
                       " Copying         850  mb to        1000  mb.",
                       " checking RH at lev=    849.500000    ",
                       " Copying         850  mb to -2147483648  mb.",
                   }));
  EXPECT_EQ(p.levels[0], p.before[1]);
  EXPECT_EQ(p.levels[2], p.before[1]);
}

TEST(NearestInteger, HalvesAwayFromZeroAndOutOfRangeToMostNegative) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float x;
    std::int32_t n;
  } cases[] = {
      {849.5f, 850},           {-849.5f, -850},        {0.5f, 1},
      {-0.5f, -1},             {0.49999997f, 0},       {1000.4999f, 1000},
      {-0.0f, 0},              {2147483520.0f, 2147483520},
      {-2147483648.0f, INT32_MIN},                     {2147483648.0f, INT32_MIN},
      {1.0e10f, INT32_MIN},    {-1.0e10f, INT32_MIN},  {nan, INT32_MIN},
      {inf, INT32_MIN},        {-inf, INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(c2m::nearest_integer(c.x), c.n) << c.x;
}

}  // namespace
