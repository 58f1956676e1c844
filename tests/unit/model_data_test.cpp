// The model data file's writer: the sample points whose surface values are
// logged, and the log lines of the writes.
#include "conv2model/model_data.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/scratch.hpp"
#include "support/work_fixture.hpp"
#include "textio/errors.hpp"
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

// The model data file made in DIR from case C on THREADS threads: its
// bytes, or the failure's diagnostic.
struct Made {
  std::string bytes, failure;
};
Made make_model_data(testsupport::StageCase& c, const testsupport::ScratchDir& dir, int threads) {
  const std::string name = dir / "case.bin.KVOwrk";
  std::string text;
  c2m::Log log(text);
  Made m;
  try {
    c2m::Outputs out(name, name + ".gdsinfo");
    c2m::write_model_data(c.ctx, c.work, out, log, threads);
    m.bytes = testsupport::read_file(name);
  } catch (const c2m::RunFailure& e) {
    m.failure = e.what();
  }
  return m;
}

// Whatever thread makes a record, and however its rows are split into
// bands, the file is the one a single thread makes.
TEST(ModelData, SameFileOnOneThreadAndTwo) {
  for (const auto& [im, jm] : {std::pair{10, 8}, std::pair{700, 100}, std::pair{70000, 2}}) {
    testsupport::ScratchDir dir;
    auto c = testsupport::stage_case(im, jm, {1000.0f, 850.0f, 700.0f});
    const Made one = make_model_data(c, dir, 1), two = make_model_data(c, dir, 2);
    ASSERT_EQ(one.failure, "");
    ASSERT_EQ(two.failure, "");
    EXPECT_EQ(one.bytes.size(), (5u * 3 + 12) * static_cast<std::size_t>(im * jm) * 4);
    EXPECT_TRUE(one.bytes == two.bytes) << im << " x " << jm;
  }
}

// Records go out out of order and from two threads, but a write refused
// by a file size limit is reported at the record a single thread writing
// them in order would have stopped at.  16 x 16 points make records of
// 1 KiB; with 3 levels, records 1-3 are u, 4-6 v, 7-9 height, 10-12
// humidity, 13-15 temperature (each written by the humidity job of its
// level, before the humidity of the levels above) and 16-27 the surface.
TEST(ModelData, RefusedWriteReportedAtTheFirstRecordInOrder) {
  const struct {
    rlim_t limit;  // bytes
    int record;    // the first record the limit cuts
  } rows[] = {
      {0, 1},          {5 * 1024, 6},   {9 * 1024, 10},  {10 * 1024, 11}, {12 * 1024, 13},
      {12 * 1024 + 512, 13},            {14 * 1024, 15}, {15 * 1024, 16}, {26 * 1024 + 100, 27},
  };
  auto c = testsupport::stage_case(16, 16, {1000.0f, 900.0f, 800.0f});
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a signal
  for (const auto& row : rows)
    for (const int threads : {1, 2, 2, 2, 2, 2}) {
      testsupport::ScratchDir dir;
      rlimit lim = old;
      lim.rlim_cur = row.limit;
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
      const Made m = make_model_data(c, dir, threads);
      setrlimit(RLIMIT_FSIZE, &old);
      const std::string want = "(writing record " + std::to_string(row.record) + ")";
      EXPECT_TRUE(m.failure.ends_with(want))
          << "limit " << row.limit << ", " << threads << " threads: " << m.failure;
      EXPECT_TRUE(testsupport::list_files(dir.path()).empty()) << "limit " << row.limit;
    }
  std::signal(SIGXFSZ, old_handler);
}

// An input grid file cut short after the run checked its size: the
// failure reported names the input record that the first output record in
// order could not read.  Input records of 3 levels: 1-3 height, 4-6
// relative humidity, 7-9 specific humidity, 10-12 temperature, 13-15 u,
// 16-18 v, 19-30 the surface; output record 1 is u of level 1.
TEST(ModelData, InputCutShortReportedAtTheFirstRecordInOrder) {
  const struct {
    double kept;  // records left whole (a fraction cuts one)
    int record;   // the input record named
  } rows[] = {{23.0, 24}, {27.5, 28}, {16.5, 17}, {10.5, 13}, {5.0, 13}, {0.0, 13}};
  for (const auto& row : rows)
    for (const int threads : {1, 2, 2, 2}) {
      auto c = testsupport::stage_case(16, 16, {1000.0f, 900.0f, 800.0f});
      std::filesystem::resize_file(c.work.input.name(),
                                   static_cast<std::uintmax_t>(row.kept * 1024));
      testsupport::ScratchDir dir;
      const Made m = make_model_data(c, dir, threads);
      const std::string want = "the file ends inside record " + std::to_string(row.record) + " ";
      EXPECT_NE(m.failure.find(want), std::string::npos)
          << row.kept << " records, " << threads << " threads: " << m.failure;
    }
}

// A record is read whole before it is written: when its input is cut
// short in its second band and the file refuses every write, the read is
// the failure reported, though the first band's write was refused before
// the second band was read.  700 x 200 points make bands of 93 rows; input
// record 5 (u of the one level, output record 1) is cut half way.
TEST(ModelData, ReadOfARecordFailsBeforeItsWrite) {
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  for (const int threads : {1, 2}) {
    auto c = testsupport::stage_case(700, 200, {1000.0f});
    std::filesystem::resize_file(c.work.input.name(), 4 * 700 * 200 * 4 + 700 * 100 * 4);
    testsupport::ScratchDir dir;
    rlimit lim = old;
    lim.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    const Made m = make_model_data(c, dir, threads);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_NE(m.failure.find("the file ends inside record 5 "), std::string::npos)
        << threads << " threads: " << m.failure;
  }
  std::signal(SIGXFSZ, old_handler);
}

}  // namespace

