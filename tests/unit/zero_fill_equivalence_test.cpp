// The one-walk zero fill against the literal 15 sweeps, bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "conv2model/surface_fill.hpp"
#include "conv2model/work_arrays.hpp"
#include "support/reference_fill.hpp"

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

TEST(ZeroFill, WholeSurfaceStageWithCopiedPlanes) {
  // Planes 9 to 12 missing: they are copied from planes 7 and 8 after
  // those were filled, then filled again.  The stage must give the planes
  // the reference gives when every fill is the literal one.
  std::mt19937 rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    c2m::RunContext ctx;
    ctx.im = static_cast<std::int32_t>(1 + rng() % 40);
    ctx.jm = static_cast<std::int32_t>(1 + rng() % 3);
    ctx.lm = 1;
    c2m::WorkArrays work = c2m::allocate_work_arrays(ctx);
    for (float& v : work.slp.all()) v = draw(rng);
    for (std::int32_t n = 9; n <= 12; ++n)
      if (rng() % 2) work.slp(1, 1, n) = -99999.0f;

    std::vector<std::vector<float>> reference(13);
    for (std::int32_t n = 1; n <= 12; ++n) {
      const auto p = work.slp.plane(n);
      reference[static_cast<std::size_t>(n)].assign(p.begin(), p.end());
    }
    for (std::int32_t n = 6; n <= 12; n += 2)
      for (float& v : reference[static_cast<std::size_t>(n)])
        if (v > 0.6f) v = 0.3f;
    for (std::int32_t n = 5; n <= 12; ++n) {
      auto& plane = reference[static_cast<std::size_t>(n)];
      if (plane[0] == -99999.0f && n >= 9) plane = reference[static_cast<std::size_t>(n % 2 ? 7 : 8)];
      testsupport::zero_fill_sweeps(plane, ctx.im, ctx.jm);
    }

    std::string captured;
    c2m::Log log(captured);
    c2m::fill_surface(ctx, work, log);
    for (std::int32_t n = 1; n <= 12; ++n) {
      const auto p = work.slp.plane(n);
      ASSERT_EQ(bits(std::vector<float>(p.begin(), p.end())), bits(reference[static_cast<std::size_t>(n)]))
          << "plane " << n;
    }
  }
}

}  // namespace
