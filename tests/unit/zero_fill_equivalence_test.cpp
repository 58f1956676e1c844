// The one-walk zero fill against the literal 15 sweeps, bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "conv2model/surface_fill.hpp"
#include "support/case_files.hpp"
#include "support/reference_fill.hpp"
#include "support/scratch.hpp"

namespace {

std::vector<std::uint32_t> bits(const std::vector<float>& v) {
  std::vector<std::uint32_t> b;
  for (const float x : v) b.push_back(std::bit_cast<std::uint32_t>(x));
  return b;
}

void expect_same_fill(std::vector<float> plane, std::int32_t im, std::int32_t jm) {
  std::vector<float> reference = plane;
  testsupport::zero_fill_sweeps(reference, im, jm);
  c2m::zero_fill(plane, im, jm);
  ASSERT_EQ(bits(plane), bits(reference));
}

// Values a soil row may hold: plenty of zeros of both signs, NaN, ordinary
// values.
float draw(std::mt19937& rng) {
  switch (rng() % 8) {
    case 0: case 1: case 2: return 0.0f;
    case 3: return -0.0f;
    case 4: return std::numeric_limits<float>::quiet_NaN();
    default: return static_cast<float>(rng() % 1000) * 0.5f + 1.0f;
  }
}

TEST(ZeroFill, EveryRunOfZerosAtStartMiddleAndEnd) {
  // Rows of length n with one run of zeros [a, b) among distinct values, for
  // every n up to 40 and every run: covers the western end (beyond the
  // reach of 15 sweeps too), the middle and the eastern end.
  for (std::int32_t n = 1; n <= 40; ++n)
    for (std::int32_t a = 0; a < n; ++a)
      for (std::int32_t b = a + 1; b <= n; ++b) {
        std::vector<float> row(static_cast<std::size_t>(n));
        for (std::int32_t i = 0; i < n; ++i) row[static_cast<std::size_t>(i)] = (i >= a && i < b) ? 0.0f : static_cast<float>(i + 1);
        expect_same_fill(row, n, 1);
      }
}

TEST(ZeroFill, RandomRowsAndPlanes) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 20000; ++trial) {
    const auto im = static_cast<std::int32_t>(1 + rng() % 64);
    const auto jm = static_cast<std::int32_t>(1 + rng() % 4);
    std::vector<float> plane(static_cast<std::size_t>(im * jm));
    for (float& v : plane) v = draw(rng);
    expect_same_fill(plane, im, jm);
  }
}

TEST(ZeroFill, LongRunsAtTheWesternEnd) {
  // Runs of 0 to 40 leading zeros before a value: 15 points reach.
  for (std::int32_t lead = 0; lead <= 40; ++lead) {
    std::vector<float> row(static_cast<std::size_t>(lead), 0.0f);
    row.push_back(280.0f);
    row.push_back(0.0f);
    row.push_back(-0.0f);
    expect_same_fill(row, static_cast<std::int32_t>(row.size()), 1);
  }
}

TEST(ZeroFill, WholeConversionWithCopiedPlanes) {
  // Random soil planes, some of planes 9 to 12 missing: they are copied
  // from planes 7 and 8 after those were capped and filled, then filled
  // again.  The surface records of the model data file must hold what the
  // literal fill gives.
  std::mt19937 rng(7);
  for (int trial = 0; trial < 60; ++trial) {
    const auto im = static_cast<std::int32_t>(1 + rng() % 40);
    const auto jm = static_cast<std::int32_t>(1 + rng() % 3);
    testsupport::TestCase c = testsupport::TestCase::valid(im, jm, 1);
    const auto r = c.rec();
    for (std::int32_t p = 5; p <= 12; ++p)
      for (std::int32_t j = 1; j <= jm; ++j)
        for (std::int32_t i = 1; i <= im; ++i) c.at(r.sfc(p), i, j) = draw(rng);
    for (std::int32_t p = 5; p <= 12; ++p)
      if (rng() % 3 == 0) c.at(r.sfc(p), 1, 1) = -99999.0f;

    std::vector<std::vector<float>> reference(13);
    const auto points = static_cast<std::size_t>(im * jm);
    for (std::int32_t p = 5; p <= 12; ++p) {
      auto& plane = reference[static_cast<std::size_t>(p)];
      const auto first = c.records.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(r.sfc(p) - 1) * points);
      plane.assign(first, first + static_cast<std::ptrdiff_t>(points));
      if (p % 2 == 0)
        for (float& v : plane)
          if (v > 0.6f) v = 0.3f;
    }
    for (std::int32_t p = 5; p <= 12; ++p) {
      auto& plane = reference[static_cast<std::size_t>(p)];
      if (plane[0] == -99999.0f && p >= 9) plane = reference[static_cast<std::size_t>(p % 2 ? 7 : 8)];
      testsupport::zero_fill_sweeps(plane, im, jm);
    }

    testsupport::ScratchDir dir;
    c.write(dir.path());
    const auto run = testsupport::run_in_process(dir.path(), "case.bin\nx\n");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string out = testsupport::read_file(dir / "case.bin.KVOwrk");
    for (std::int32_t p = 5; p <= 12; ++p)
      ASSERT_EQ(bits(testsupport::record_of(out, im, jm, 5 + p)), bits(reference[static_cast<std::size_t>(p)]))
          << "plane " << p << " im " << im << " jm " << jm;
  }
}

}  // namespace
