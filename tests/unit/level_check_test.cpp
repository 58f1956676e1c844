// The missing-level check of the upper-air fields: which test decides a
// level, the message line of each stop, and where the RH patch comes in.
#include "conv2model/level_check.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "support/work_fixture.hpp"
#include "textio/errors.hpp"

using c2m::missing_value;
using c2m::WorkArrays;
using testsupport::lines_of;

namespace {

const std::vector<float> five_levels{1000.0f, 850.0f, 700.0f, 500.0f, 300.0f};

// Marks level K of FIELD missing at its point (1, 1) only; the other points
// keep their values.
void spoil(testsupport::StageCase& c, testsupport::FieldOf field, std::int32_t k) {
  c.at(field, k, 1, 1) = missing_value;
}

std::vector<std::uint32_t> bits(const std::vector<float>& v) {
  std::vector<std::uint32_t> b;
  for (const float x : v) b.push_back(std::bit_cast<std::uint32_t>(x));
  return b;
}

// Level A of F now has all the values of level B.
bool levels_equal(const testsupport::StageCase& c, const c2m::Field& f, std::int32_t a,
                  std::int32_t b) {
  return bits(c.values(f, a)) == bits(c.values(f, b));
}

struct Outcome {
  std::vector<std::string> log;
  bool stopped = false;
  int status = 0;
  std::string diagnostic;
};

// Loads the case as it now stands and runs the check on it.
Outcome run_check(testsupport::StageCase& c) {
  c.load();
  std::string text;
  c2m::Log log(text);
  Outcome o;
  try {
    c2m::check_levels(c.ctx, c.work, log);
  } catch (const c2m::DataStop& e) {
    o.stopped = true;
    o.status = e.status();
    o.diagnostic = e.what();
  }
  o.log = lines_of(text);
  return o;
}

const std::string header = " Check for any missing data";

// The six tests of one level in their order; the first that holds decides.
using Member = testsupport::FieldOf;
constexpr Member ht = &WorkArrays::ht, tp = &WorkArrays::tp, rh = &WorkArrays::rh,
                 uw = &WorkArrays::uw, vw = &WorkArrays::vw, q = &WorkArrays::q;

struct LevelCase {
  const char* name;
  std::int32_t level;
  std::vector<Member> missing;
  std::vector<std::string> log_after_header;
  bool stops;
};

class LevelTests : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelTests, FirstTestThatHoldsDecides) {
  const LevelCase& lc = GetParam();
  auto c = testsupport::stage_case(3, 2, five_levels);
  for (Member m : lc.missing) spoil(c, m, lc.level);
  const Outcome o = run_check(c);

  std::vector<std::string> want{header};
  want.insert(want.end(), lc.log_after_header.begin(), lc.log_after_header.end());
  EXPECT_EQ(o.log, want);
  EXPECT_EQ(o.stopped, lc.stops);
  if (lc.stops) {
    EXPECT_EQ(o.status, c2m::status_data_stop);
    EXPECT_NE(o.diagnostic.find("case.bin"), std::string::npos) << o.diagnostic;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Precedence, LevelTests,
    ::testing::Values(
        LevelCase{"AllPresent", 1, {}, {}, false},
        LevelCase{"EverythingMissingStopsOnHeight", 3, {ht, tp, rh, uw, vw, q},
                  {" Height data missing at level:    700.000000    "}, true},
        LevelCase{"HeightAlone", 2, {ht},
                  {" Height data missing at level:    850.000000    "}, true},
        LevelCase{"TemperatureBeforeHumidityAndWind", 3, {tp, rh, uw},
                  {" Temperature data missing at level:    700.000000    "}, true},
        LevelCase{"HumidityPatchedSkipsWindsOfItsLevel", 1, {rh, uw, vw, q},
                  {" RH data missing at level:    1000.00000    ", " Calling RH patch.",
                   " Copying         850  mb to        1000  mb."},
                  false},
        LevelCase{"ZonalWindAloneStops", 1, {uw},
                  {" U-wind data missing at level:    1000.00000    "}, true},
        LevelCase{"MeridionalBeforeHumidity", 4, {vw, q},
                  {" V-wind data missing at level:    500.000000    "}, true},
        LevelCase{"InputHumidityStopsAtTop", 5, {q},
                  {" Spec. Humid. data missing at level:    300.000000    "}, true}),
    [](const auto& p) { return std::string(p.param.name); });

// Only point (1, 1) of a level is examined, and NaN there counts as present.
TEST(LevelCheck, OnlyFirstPointExamined) {
  auto c = testsupport::stage_case(3, 2, five_levels);
  for (Member m : {ht, tp, rh, uw, vw, q})
    for (std::int32_t k = 1; k <= 5; ++k) c.at(m, k, 3, 2) = missing_value;
  c.at(ht, 2, 1, 1) = std::bit_cast<float>(0x7FC00000u);
  c.at(q, 5, 1, 1) = std::bit_cast<float>(0xFFC00001u);
  const Outcome o = run_check(c);
  EXPECT_FALSE(o.stopped);
  EXPECT_EQ(o.log, std::vector<std::string>{header});
  // No level was patched: each still stands for its own record, with its
  // missing point.
  for (std::int32_t k = 1; k <= 5; ++k) EXPECT_EQ(c.work.rh.plane(k).record, c.record(rh, k));
  EXPECT_EQ(c.values(c.work.rh, 4)[5], missing_value);  // point (3, 2)
}

TEST(LevelCheck, HumidityPatchedAtBothEndsThenRunGoesOn) {
  auto c = testsupport::stage_case(3, 2, five_levels);
  for (std::int32_t k : {1, 2, 5}) spoil(c, rh, k);
  // Level 1 is not tested for winds once its humidity was missing.
  spoil(c, uw, 1);
  const Outcome o = run_check(c);

  EXPECT_FALSE(o.stopped);
  EXPECT_EQ(o.log, (std::vector<std::string>{
                       header,
                       " RH data missing at level:    1000.00000    ",
                       " Calling RH patch.",
                       " Copying         700  mb to         850  mb.",
                       " Copying         850  mb to        1000  mb.",
                       " checking RH at lev=    500.000000    ",
                       " Copying         500  mb to         300  mb.",
                   }));
  EXPECT_TRUE(levels_equal(c, c.work.rh, 1, 3));
  EXPECT_TRUE(levels_equal(c, c.work.rh, 2, 3));
  EXPECT_TRUE(levels_equal(c, c.work.rh, 5, 4));
  // Levels 1 and 2 stand for the record of level 3, level 5 for that of 4.
  EXPECT_EQ(c.work.rh.plane(1).record, c.record(rh, 3));
  EXPECT_EQ(c.work.rh.plane(2).record, c.record(rh, 3));
  EXPECT_EQ(c.work.rh.plane(5).record, c.record(rh, 4));
  // Level 3 itself untouched; point (2, 1).
  EXPECT_FLOAT_EQ(c.values(c.work.rh, 3)[1], 10.0f * 3 + 0.1f * 21);
}

TEST(LevelCheck, LevelsAbovePatchAreStillTestedForWinds) {
  auto c = testsupport::stage_case(3, 2, five_levels);
  for (std::int32_t k : {1, 2, 5}) spoil(c, rh, k);
  spoil(c, uw, 2);
  const Outcome o = run_check(c);

  ASSERT_TRUE(o.stopped);
  ASSERT_EQ(o.log.size(), 8u);
  EXPECT_EQ(o.log.back(), " U-wind data missing at level:    850.000000    ");
}

TEST(LevelCheck, HumidityPatchRunsBeforeHeightStopOfNextLevel) {
  auto c = testsupport::stage_case(3, 2, five_levels);
  spoil(c, rh, 1);
  spoil(c, ht, 2);
  const Outcome o = run_check(c);

  ASSERT_TRUE(o.stopped);
  EXPECT_EQ(o.log, (std::vector<std::string>{
                       header,
                       " RH data missing at level:    1000.00000    ",
                       " Calling RH patch.",
                       " Copying         850  mb to        1000  mb.",
                       " Height data missing at level:    850.000000    ",
                   }));
}

TEST(LevelCheck, UnpatchableHumidityStopsWithPatchMessage) {
  struct Case {
    std::vector<float> pr;
    std::vector<std::int32_t> missing;
    std::vector<std::string> log;
  };
  const std::vector<Case> cases{
      // A gap with present levels above and below.
      {five_levels, {3},
       {header, " RH data missing at level:    700.000000    ", " Calling RH patch.",
        " RH patch did not work.."}},
      // Nothing present anywhere in the column.
      {five_levels, {1, 2, 3, 4, 5},
       {header, " RH data missing at level:    1000.00000    ", " Calling RH patch.",
        " RH patch did not work."}},
      // A single level, missing.
      {{1000.0f}, {1},
       {header, " RH data missing at level:    1000.00000    ", " Calling RH patch.",
        " RH patch did not work."}},
  };
  for (const Case& cs : cases) {
    auto c = testsupport::stage_case(2, 2, cs.pr);
    for (std::int32_t k : cs.missing) spoil(c, rh, k);
    const Outcome o = run_check(c);
    EXPECT_TRUE(o.stopped);
    EXPECT_EQ(o.status, c2m::status_data_stop);
    EXPECT_NE(o.diagnostic.find("case.bin"), std::string::npos);
    EXPECT_EQ(o.log, cs.log);
  }
}

}  // namespace
