// Whole conversions of random small cases against the plain reference that
// holds every array in memory: the same exit status and, when converted,
// the same model data file, bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <random>

#include "estab/estab.hpp"
#include "support/case_files.hpp"
#include "support/reference_conversion.hpp"
#include "support/scratch.hpp"

namespace {

using testsupport::TestCase;

// Values worth mixing into a case: the marks, the special floats and
// ordinary values of each field's range.
float draw(std::mt19937& rng, float typical) {
  switch (rng() % 16) {
    case 0: return std::bit_cast<float>(0x6258D19Au);  // undefined point
    case 1: return -99999.0f;
    case 2: return 0.0f;
    case 3: return -0.0f;
    case 4: return std::numeric_limits<float>::quiet_NaN();
    case 5: return std::numeric_limits<float>::infinity();
    case 6: return 0.1f;
    case 7: return 0.7f;
    default: return typical * (0.5f + static_cast<float>(rng() % 1000) / 1000.0f);
  }
}

TEST(ConversionEquivalence, RandomCasesMatchTheReference) {
  estab::es_ini();
  std::mt19937 rng(2026);
  int converted = 0, stopped = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const auto im = static_cast<std::int32_t>(1 + rng() % 12);
    const auto jm = static_cast<std::int32_t>(1 + rng() % 5);
    const auto lm = static_cast<std::int32_t>(rng() % 5);
    TestCase c = TestCase::valid(im, jm, lm);
    const auto r = c.rec();
    // Typical magnitudes by record: geopotential, humidity, temperature...
    const auto typical = [&](std::int32_t rec) {
      if (rec > 6 * lm) {
        const float sfc[12] = {1, 1013, 1000, 980, 285, 0.3f, 283, 0.3f, 281, 0.3f, 279, 0.3f};
        return sfc[rec - 6 * lm - 1];
      }
      const float upper[6] = {9.8f * 1000, 60, 0.01f, 280, 10, 10};
      return upper[(rec - 1) / lm];
    };
    // A few odd values per record, the first point (the missing-level
    // test) more rarely so that most cases go through.
    for (std::int32_t rec = 1; rec <= r.count(); ++rec) {
      for (int n = 0; n < 3; ++n)
        c.at(rec, static_cast<std::int32_t>(1 + rng() % static_cast<unsigned>(im)),
             static_cast<std::int32_t>(1 + rng() % static_cast<unsigned>(jm))) = draw(rng, typical(rec));
      if (rng() % 12 == 0) c.at(rec, 1, 1) = draw(rng, typical(rec));
    }
    // Warm thin upper levels, where the saturation cap works.
    if (lm > 0 && rng() % 4 == 0) c.pr.back() = 5.0f;

    const testsupport::ReferenceResult want = testsupport::reference_conversion(c);
    testsupport::ScratchDir dir;
    c.write(dir.path());
    const testsupport::RunResult got = testsupport::run_in_process(dir.path(), "case.bin\nx\n");
    ASSERT_EQ(got.status, want.status) << "trial " << trial << ": " << got.err;
    if (want.status == 0) {
      ++converted;
      ASSERT_TRUE(testsupport::read_file(dir / "case.bin.KVOwrk") == want.model_data)
          << "trial " << trial << " (" << im << " x " << jm << " x " << lm << ")";
    } else {
      ++stopped;
    }
  }
  // Both kinds of run must have been seen many times.
  EXPECT_GT(converted, 100);
  EXPECT_GT(stopped, 20);
}

// Planes of more points than one band of rows holds: each record is made
// band by band, by whichever thread takes it, and must still come out as
// the reference makes it whole.  The shapes give bands of a single long
// row, bands that leave a short one at the south, and one column of many
// rows.
TEST(ConversionEquivalence, PlanesOfSeveralBandsMatchTheReference) {
  estab::es_ini();
  const struct {
    std::int32_t im, jm, lm;
  } shapes[] = {{70001, 3, 1}, {700, 200, 2}, {1, 70000, 1}, {65536, 2, 1}};
  std::mt19937 rng(7);
  for (const auto& s : shapes) {
    TestCase c = TestCase::valid(s.im, s.jm, s.lm);
    const auto r = c.rec();
    const float typical[] = {9.8f * 1000, 60, 0.01f, 280, 10, 10};
    for (std::int32_t rec = 1; rec <= r.count(); ++rec) {
      const float t = rec > 6 * s.lm ? 0.3f : typical[(rec - 1) / s.lm];
      for (int n = 0; n < 200; ++n)
        c.at(rec, static_cast<std::int32_t>(1 + rng() % static_cast<unsigned>(s.im)),
             static_cast<std::int32_t>(1 + rng() % static_cast<unsigned>(s.jm))) = draw(rng, t);
    }
    for (std::int32_t rec = 1; rec <= r.count(); ++rec) c.at(rec, 1, 1) = 1.0f;  // no stop
    const testsupport::ReferenceResult want = testsupport::reference_conversion(c);
    ASSERT_EQ(want.status, 0);
    testsupport::ScratchDir dir;
    c.write(dir.path());
    const testsupport::RunResult got = testsupport::run_in_process(dir.path(), "case.bin\nx\n");
    ASSERT_EQ(got.status, 0) << got.err;
    EXPECT_TRUE(testsupport::read_file(dir / "case.bin.KVOwrk") == want.model_data)
        << s.im << " x " << s.jm << " x " << s.lm;
  }
}

}  // namespace
