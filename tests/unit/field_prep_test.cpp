// Field preparation: geopotential to height, topography, the land-sea mask
// and the undefined-point mark, all compared bit for bit.
#include "conv2model/field_prep.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "conv2model/work_arrays.hpp"

namespace {

using c2m::missing_value;

constexpr float undefined = std::bit_cast<float>(std::uint32_t{0x6258D19A});
constexpr float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();
const float below_undefined = std::nextafter(undefined, 0.0f);
const float above_undefined = std::nextafter(undefined, inf);

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

struct Row {
  float in, out;
};

// Applies F to the inputs in one span and compares every result bit for bit.
template <typename F>
void check(F f, const std::vector<Row>& rows) {
  std::vector<float> v;
  for (const Row& r : rows) v.push_back(r.in);
  f(std::span<float>(v));
  for (std::size_t n = 0; n < rows.size(); ++n)
    EXPECT_EQ(bits(v[n]), bits(rows[n].out))
        << "in 0x" << std::hex << bits(rows[n].in) << " (" << rows[n].in << ")";
}

TEST(GeopotentialToHeight, DividedBy9Point8) {
  // A true division: 9800 / 9.8f is 1000 exactly, while 9800 times the
  // reciprocal of 9.8f gives 999.99994.
  ASSERT_NE(bits(9800.0f * (1.0f / 9.8f)), bits(1000.0f));
  std::vector<Row> rows = {{9800.0f, 1000.0f}, {98.0f, 10.0f}, {0.0f, 0.0f}, {-0.0f, -0.0f}};
  for (const float x : {1.0f, 3.0f, 1000.0f, 12345.678f, 55555.5f, -4321.0f, 0.3f,
                        3.4028235e38f, std::numeric_limits<float>::denorm_min(),
                        below_undefined, above_undefined, std::nextafter(missing_value, 0.0f)})
    rows.push_back({x, x / 9.8f});
  // The file's marks, recognised before the division.
  rows.push_back({undefined, missing_value});
  rows.push_back({missing_value, missing_value});
  rows.push_back({inf, inf});
  check(c2m::geopotential_to_height, rows);

  std::vector<float> v{nan};
  c2m::geopotential_to_height(v);
  EXPECT_TRUE(std::isnan(v[0]));
}

TEST(TopographyFromGeopotential, DividedExceptTheUndefinedMark) {
  std::vector<Row> rows = {{undefined, 0.0f}, {9800.0f, 1000.0f}, {0.0f, 0.0f}};
  for (const float x : {3.0f, 1000.0f, -120.5f, below_undefined, above_undefined,
                        missing_value})
    rows.push_back({x, x / 9.8f});
  check(c2m::topography_from_geopotential, rows);
}

TEST(LandSeaMask, ZeroOrOneAtTheThreshold) {
  const float nan_payload = std::bit_cast<float>(std::uint32_t{0x7FC00123});
  check(c2m::land_sea_mask,
        {
            {0.1f, 1.0f},
            {std::nextafter(0.1f, 0.0f), 0.0f},
            {std::nextafter(0.1f, 1.0f), 1.0f},
            {0.5f, 1.0f},
            {1.0f, 1.0f},
            {0.0f, 0.0f},
            {-0.0f, 0.0f},  // positive zero
            {-1.0f, 0.0f},
            {missing_value, 0.0f},
            {-inf, 0.0f},
            {inf, 1.0f},
            {250.0f, 1.0f},
            {undefined, 0.0f},
            {below_undefined, 1.0f},
            {above_undefined, 1.0f},
            {nan_payload, nan_payload},
        });
}

TEST(ReplaceUndefined, OnlyTheExactBitPattern) {
  check([](std::span<float> v) { c2m::replace_undefined(v, missing_value); },
        {{undefined, missing_value},
         {below_undefined, below_undefined},
         {above_undefined, above_undefined},
         {-undefined, -undefined},
         {9.999e20f, missing_value},  // the same bits as 0x6258D19A
         {missing_value, missing_value},
         {0.0f, 0.0f}});
}

TEST(Prepare, EveryKindOfRecord) {
  // Raw values of a record as stored, and what each kind of record makes
  // of them: heights and topography divided, mask thresholded, undefined
  // points missing aloft and 0 at the surface.
  const float raw[] = {98.0f, undefined, missing_value, above_undefined, 0.5f};
  struct Kind {
    c2m::Prep prep;
    float want[5];
  };
  const Kind rows[] = {
      {c2m::Prep::height, {98.0f / 9.8f, missing_value, missing_value, above_undefined / 9.8f, 0.5f / 9.8f}},
      {c2m::Prep::upper_air, {98.0f, missing_value, missing_value, above_undefined, 0.5f}},
      {c2m::Prep::mask, {1.0f, 0.0f, 0.0f, 1.0f, 1.0f}},
      {c2m::Prep::topography, {98.0f / 9.8f, 0.0f, missing_value / 9.8f, above_undefined / 9.8f, 0.5f / 9.8f}},
      {c2m::Prep::surface, {98.0f, 0.0f, missing_value, above_undefined, 0.5f}},
  };
  // In place, and from one buffer into another (as a row is prepared into
  // its turned place), over 37 values: the raw ones over and over, so that
  // every one also falls where a loop taking several at a time has to
  // finish one by one.
  for (const Kind& r : rows) {
    std::vector<float> in, want;
    for (std::size_t n = 0; n < 37; ++n) {
      in.push_back(raw[n % 5]);
      want.push_back(r.want[n % 5]);
    }
    std::vector<float> in_place = in, out(in.size(), nan);
    c2m::prepare(r.prep, in_place);
    c2m::prepare(r.prep, std::span<const float>(in), out);
    for (std::size_t n = 0; n < in.size(); ++n) {
      EXPECT_EQ(bits(in_place[n]), bits(want[n])) << "kind " << static_cast<int>(r.prep) << ", value " << n;
      EXPECT_EQ(bits(out[n]), bits(want[n])) << "kind " << static_cast<int>(r.prep) << ", value " << n;
      EXPECT_EQ(bits(in[n]), bits(raw[n % 5]));  // the source is left as it was
    }
  }
}

TEST(PrepareFields, PointsOneOneOfEveryPlane) {
  c2m::RunContext ctx;
  ctx.im = 2;
  ctx.jm = 2;
  ctx.lm = 2;
  c2m::WorkArrays w = c2m::allocate_work_arrays(ctx);
  for (c2m::Field* f : {&w.ht, &w.uw, &w.vw, &w.tp, &w.rh, &w.q})
    for (std::int32_t k = 1; k <= 2; ++k) {
      f->plane(k).prep = (f == &w.ht) ? c2m::Prep::height : c2m::Prep::upper_air;
      f->plane(k).first = k == 1 ? undefined : 98.0f;
    }
  for (std::int32_t p = 1; p <= 12; ++p) {
    w.slp.plane(p).prep = p == 1 ? c2m::Prep::mask : p == 4 ? c2m::Prep::topography : c2m::Prep::surface;
    w.slp.plane(p).first = undefined;
  }
  c2m::prepare_fields(w);
  for (c2m::Field* f : {&w.ht, &w.uw, &w.vw, &w.tp, &w.rh, &w.q}) {
    EXPECT_EQ(bits(f->first_point(1)), bits(missing_value));
    EXPECT_EQ(f->first_point(2), f == &w.ht ? 10.0f : 98.0f);
  }
  for (std::int32_t p = 1; p <= 12; ++p) EXPECT_EQ(bits(w.slp.first_point(p)), bits(0.0f)) << p;
}

}  // namespace
