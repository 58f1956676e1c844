// The model data file's writer: the sample points whose surface values are
// logged, and the log lines of the writes.
#include "conv2model/model_data.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/scratch.hpp"
#include "support/work_fixture.hpp"
#include "textio/free_line.hpp"

using testsupport::lines_of;
using Point = std::pair<std::int32_t, std::int32_t>;

namespace {

// (im/2, jm/2) and (3 im/4, 3 jm/4) in integer division, each index at
// least 1.
TEST(ModelData, SamplePoints) {
  const struct {
    std::int32_t im, jm;
    Point first, second;
  } cases[] = {
      {10, 8, {5, 4}, {7, 6}},   {2, 2, {1, 1}, {1, 1}},  {3, 5, {1, 2}, {2, 3}},
      {4, 3, {2, 1}, {3, 2}},    {1, 1, {1, 1}, {1, 1}},  {1, 8, {1, 4}, {1, 6}},
      {10, 1, {5, 1}, {7, 1}},   {536870911, 1, {268435455, 1}, {402653183, 1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c2m::first_sample(c.im, c.jm), c.first) << c.im << " x " << c.jm;
    EXPECT_EQ(c2m::second_sample(c.im, c.jm), c.second) << c.im << " x " << c.jm;
  }
}

// " field, value", the plane number in 11 characters, the value (here a
// whole number of 3 or 4 digits) in 16.
std::string sample_line(std::int32_t m, std::int32_t value) {
  const std::string n = std::to_string(m), v = std::to_string(value);
  return " field, value " + std::string(11 - n.size() + 1, ' ') + n + "   " + v +
         (v.size() == 3 ? ".000000" : ".00000") + "    ";
}

TEST(ModelData, WritesEveryRecordAndLogsBothSamplePoints) {
  testsupport::ScratchDir dir;
  auto c = testsupport::stage_case(10, 8, {1000.0f, 850.0f});
  const std::string name = dir / "case.bin.KVOwrk";
  std::string text;
  c2m::Log log(text);
  {
    c2m::Outputs out(name, name + ".gdsinfo");
    c2m::write_model_data(c.ctx, c.work, out, log);
  }
  // The fixture stores 100 m + 10 i + j at point (i, j) of plane m, and the
  // planes go out prepared: the land-sea mask as 1 (land everywhere), the
  // topography, stored as the geopotential 9.8 times that, divided by 9.8.
  const auto sample = [&c](std::int32_t m, std::int32_t i, std::int32_t j) {
    if (m == c2m::plane::land_sea_mask) return std::string(" field, value            1   1.00000000    ");
    if (m == c2m::plane::topography)
      return " field, value            4 " +
             c2m::format_real(c.at(&c2m::WorkArrays::slp, m, i, j) / 9.8f);
    return sample_line(m, 100 * m + 10 * i + j);
  };
  std::vector<std::string> want{" starting writes to unit1",
                                " writing these sfc values to the KVOwrk  file..."};
  for (std::int32_t m = 1; m <= 12; ++m) want.push_back(sample(m, 5, 4));
  for (std::int32_t m = 1; m <= 12; ++m) want.push_back(sample(m, 7, 6));
  EXPECT_EQ(lines_of(text), want);
  EXPECT_EQ(std::filesystem::file_size(name), (5u * 2 + 12) * 10 * 8 * 4);
}

}  // namespace
