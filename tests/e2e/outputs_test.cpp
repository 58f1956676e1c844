// Whole runs of input_driver on cases written by the tests: the model data
// file record by record, the grid description file, output names, long
// stems, earlier files, data stops and the log of a complete run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "conv2model/context.hpp"
#include "conv2model/humidity.hpp"
#include "estab/estab.hpp"
#include "support/case_files.hpp"
#include "support/scratch.hpp"
#include "support/work_fixture.hpp"
#include "textio/fixed_field.hpp"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

RunResult convert(const ScratchDir& dir, const std::string& path = "case.bin") {
  return run_program(INPUT_DRIVER, dir.path(), path + "\nsecond.bin\n");
}

std::vector<std::string> new_files(const std::vector<std::string>& before, const ScratchDir& dir) {
  std::vector<std::string> created;
  for (const auto& f : list_files(dir.path()))
    if (std::find(before.begin(), before.end(), f) == before.end()) created.push_back(f);
  return created;
}

std::size_t points(const TestCase& c) { return static_cast<std::size_t>(c.im * c.jm); }

class Outputs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { estab::es_ini(); }
};

// Every record of the model data file against the planes it must hold.
// The road of one case: the lowest temperature level, input record
// 3 lm + 1 with its rows north to south, leaves as record 4 lm + 1 with row
// 1 the southernmost, and its specific humidity as record 3 lm + 1; the grid
// description lists temperature fifth and level 1 as its last pressure.
struct Shape {
  std::int32_t im, jm, lm;
  std::uintmax_t bytes;
};

class RecordOrder : public Outputs, public ::testing::WithParamInterface<Shape> {};

TEST_P(RecordOrder, EachRecordHoldsItsPlane) {
  const auto [im, jm, lm, bytes] = GetParam();
  TestCase c = TestCase::valid(im, jm, lm);
  const auto r = c.rec();
  // A value of its own at every point of every input record.
  for (std::int32_t n = 1; n <= r.count(); ++n)
    for (std::int32_t j = 1; j <= jm; ++j)
      for (std::int32_t i = 1; i <= im; ++i)
        c.at(n, i, j) = static_cast<float>(1000 * n + 10 * i + j);
  for (std::int32_t k = 1; k <= lm; ++k)
    for (std::int32_t j = 1; j <= jm; ++j)
      for (std::int32_t i = 1; i <= im; ++i) {
        c.at(r.rh(k), i, j) = static_cast<float>(5 * k + 10 * i + j);
        c.at(r.tp(k), i, j) = static_cast<float>(200 + 50 * k + 10 * i + j);
      }
  for (std::int32_t j = 1; j <= jm; ++j)
    for (std::int32_t i = 1; i <= im; ++i) {
      c.at(r.sfc(1), i, j) = static_cast<float>((i + j) % 2);  // mask stays 0 or 1
      for (std::int32_t m : {6, 8, 10, 12})  // moisture under the cap
        c.at(r.sfc(m), i, j) = 0.01f * static_cast<float>(m + 10 * i + j);
    }
  ScratchDir dir;
  c.write(dir.path());
  // The input holds point (1, 1) at the start of its last row.
  const auto stored = record_of(read_file(dir / "case.bin"), im, jm, r.tp(1));
  EXPECT_EQ(stored[static_cast<std::size_t>((jm - 1) * im)], c.at(r.tp(1), 1, 1));
  const RunResult run = convert(dir);
  ASSERT_EQ(run.status, 0) << run.err;

  const auto gds = lines_of(read_file(dir / "case.bin.KVOwrk.gdsinfo"));
  ASSERT_EQ(gds.size(), static_cast<std::size_t>(lm) + 38);
  EXPECT_EQ(gds[static_cast<std::size_t>(lm) + 1], "   100000.000    ");  // level 1 in Pa
  EXPECT_EQ(gds[static_cast<std::size_t>(lm) + 23], " Temperature               (K)");
  const std::string model = read_file(dir / "case.bin.KVOwrk");
  ASSERT_EQ(model.size(), bytes);
  ASSERT_EQ(model.size(), (5u * static_cast<std::size_t>(lm) + 12) * points(c) * 4);
  using Plane = std::function<float(std::int32_t, std::int32_t)>;
  auto expect_record = [&](std::int32_t out, const Plane& v) {
    const auto rec = record_of(model, im, jm, out);
    for (std::int32_t j = 1; j <= jm; ++j)
      for (std::int32_t i = 1; i <= im; ++i)
        EXPECT_EQ(rec[static_cast<std::size_t>((j - 1) * im + (i - 1))], v(i, j))
            << "record " << out << " point " << i << "," << j;
  };
  for (std::int32_t k = 1; k <= lm; ++k) {
    const float p = c.pr[static_cast<std::size_t>(k - 1)];
    expect_record(k, [&](auto i, auto j) { return c.at(r.uw(k), i, j); });
    expect_record(lm + k, [&](auto i, auto j) { return c.at(r.vw(k), i, j); });
    expect_record(2 * lm + k, [&](auto i, auto j) { return c.at(r.ht(k), i, j) / 9.8f; });
    expect_record(3 * lm + k, [&](auto i, auto j) {
      return c2m::specific_humidity(c.at(r.tp(k), i, j), c.at(r.rh(k), i, j), p);
    });
    expect_record(4 * lm + k, [&](auto i, auto j) { return c.at(r.tp(k), i, j); });
  }
  for (std::int32_t m = 1; m <= 12; ++m)
    expect_record(5 * lm + m, [&](auto i, auto j) {
      const float v = c.at(r.sfc(m), i, j);
      return m == 4 ? v / 9.8f : v;  // topography from geopotential
    });
}

INSTANTIATE_TEST_SUITE_P(Shapes, RecordOrder,
                         ::testing::Values(Shape{4, 3, 2, 1056}, Shape{1, 1, 1, 68},
                                           Shape{3, 2, 1, 408}, Shape{2, 5, 3, 1080}),
                         [](const auto& p) {
                           return std::to_string(p.param.im) + "x" + std::to_string(p.param.jm) +
                                  "x" + std::to_string(p.param.lm);
                         });

// The outputs are named from the input stem, directory part included, and
// created beside the input grid file.
TEST_F(Outputs, NamedFromInputStem) {
  const struct {
    std::string line, stem;
    bool absolute;  // the scratch directory's path put in front
  } cases[] = {
      {"sub/dir/case01.bin", "sub/dir/case01.bin", false},
      {"data/my run.bin", "data/my", false},
      {"abs/case.bin", "abs/case.bin", true},
  };
  for (const auto& cs : cases) {
    ScratchDir dir;
    TestCase::valid(2, 2, 1).write(dir.path(), cs.stem);
    const auto before = list_files(dir.path());
    const std::string prefix = cs.absolute ? dir.path() + "/" : "";
    const RunResult run = convert(dir, prefix + cs.line);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(new_files(before, dir),
              (std::vector<std::string>{cs.stem + ".KVOwrk", cs.stem + ".KVOwrk.gdsinfo"}));
    const std::string stem = prefix + cs.stem;
    const auto log = lines_of(run.out);
    for (const std::string& line :
         {" KVOwrk  data ---> " + stem + ".KVOwrk", " calling get_fullgds with " + stem,
          " GDS written to " + stem + ".KVOwrk.gdsinfo"})
      EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
  }
}

// A relative stem of LENGTH characters in three directory levels.
std::string stem_of_length(std::size_t length) {
  return std::string(100, 'a') + "/" + std::string(100, 'b') + "/" +
         std::string(length - 202, 'c');
}

TEST_F(Outputs, StemOf239CharactersWorks) {
  ScratchDir dir;
  const std::string stem = stem_of_length(239);
  TestCase::valid(2, 2, 1).write(dir.path(), stem);
  const RunResult run = convert(dir, stem);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(file_exists(dir / (stem + ".KVOwrk")));
  EXPECT_TRUE(file_exists(dir / (stem + ".KVOwrk.gdsinfo")));
  const auto log = lines_of(run.out);
  const std::string name_line = " " + stem + ".KVOwrk" + std::string(9, ' ');
  EXPECT_EQ(name_line.size(), 256u);
  EXPECT_NE(std::find(log.begin(), log.end(), name_line), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), " GDS written to " + stem + ".KVOwrk.gdsinfo"),
            log.end());
}

// From 240 characters on the names do not fit: the run ends after the two
// naming lines, creating and touching nothing.
TEST_F(Outputs, StemOf240OrMoreCharactersEndsRunBeforeAnyOpen) {
  for (std::size_t length : {240u, 247u, 248u, 254u}) {
    ScratchDir dir;
    const std::string stem = stem_of_length(length);
    TestCase::valid(2, 2, 1).write(dir.path(), stem);
    write_file(dir / (stem + ".KVOwrk"), "earlier");
    const auto old_time = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(dir / (stem + ".KVOwrk"), old_time);
    const auto before = list_files(dir.path());

    const RunResult run = convert(dir, stem);
    EXPECT_EQ(run.status, 2) << length;
    EXPECT_NE(run.err.find(std::to_string(length)), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("239"), std::string::npos) << run.err;
    const auto log = lines_of(run.out);
    ASSERT_GE(log.size(), 2u);
    const std::string field = c2m::fixed_field(stem + ".KVOwrk ", 255);
    EXPECT_EQ(log[log.size() - 2], " " + field);
    EXPECT_EQ(log.back(), " KVOwrk  data ---> " + std::string(c2m::text_before_blank(field)));
    EXPECT_EQ(list_files(dir.path()), before);
    EXPECT_EQ(read_file(dir / (stem + ".KVOwrk")), "earlier");
    EXPECT_EQ(fs::last_write_time(dir / (stem + ".KVOwrk")), old_time);
  }
}

ino_t inode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}

// Longer files of an earlier run: both are replaced by new files (the old
// ones are never written into, so a reader that holds them open keeps
// reading the earlier case whole), and nothing of them is left.
TEST_F(Outputs, EarlierLongerFilesReplaced) {
  const TestCase c = TestCase::valid(3, 2, 2);
  ScratchDir clean, used;
  c.write(clean.path());
  c.write(used.path());
  write_file(used / "case.bin.KVOwrk", std::string(3 * 22 * 24, '\xAB'));
  std::string junk;
  for (int n = 0; n < 100; ++n) junk += " an earlier, longer grid description line\n";
  write_file(used / "case.bin.KVOwrk.gdsinfo", junk);
  const ino_t before = inode(used / "case.bin.KVOwrk");

  ASSERT_EQ(convert(clean).status, 0);
  const RunResult run = convert(used);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(inode(used / "case.bin.KVOwrk"), before);
  EXPECT_EQ(fs::file_size(used / "case.bin.KVOwrk"), 22u * 24);
  EXPECT_EQ(read_file(used / "case.bin.KVOwrk"), read_file(clean / "case.bin.KVOwrk"));
  EXPECT_EQ(read_file(used / "case.bin.KVOwrk.gdsinfo"),
            read_file(clean / "case.bin.KVOwrk.gdsinfo"));
}

// The whole log of a small run with a humidity patch and a filled soil
// layer.
TEST_F(Outputs, WholeLogOfCompleteRun) {
  TestCase c = TestCase::valid(3, 2, 2);
  c.label = "smallrun    (3x2x2)";
  c.pr = {1000.0f, 850.0f};
  const auto r = c.rec();
  c.at(r.rh(2), 1, 1) = c2m::missing_value;
  c.at(r.sfc(9), 1, 1) = c2m::missing_value;
  c.at(r.sfc(1), 2, 1) = 0.0f;
  for (std::int32_t i = 1; i <= 3; ++i)
    for (std::int32_t j = 1; j <= 2; ++j) c.at(r.sfc(2), i, j) = 1013.0f + static_cast<float>(i);
  ScratchDir dir;
  c.write(dir.path());
  const RunResult run = convert(dir);
  ASSERT_EQ(run.status, 0) << run.err;

  std::string want =
      " using hardwired stuff!            3           2           2\n"
      "   1000.00000       850.000000    \n"
      " smallrun\n"
      " OPEN FILE case.bin\n"
      " Check for any missing data\n"
      " RH data missing at level:    850.000000    \n"
      " Calling RH patch.\n"
      " checking RH at lev=    1000.00000    \n"
      " Copying        1000  mb to         850  mb.\n"
      " going to use nsfcfld=           12\n"
      " SURFACE DATA MISSING...            9\n"
      " filling soil temp data...\n"
      " case.bin.KVOwrk" + std::string(240, ' ') + "\n"
      " KVOwrk  data ---> case.bin.KVOwrk\n"
      " calling get_fullgds with case.bin\n"
      " back from get_fullgds\n"
      " writing kgds            0           3           2      -90000           0         128"
      "       90000      357500        2500        2500          64           0           0"
      "           0\n"
      " GDS written to case.bin.KVOwrk.gdsinfo\n"
      " past 14 close\n"
      " starting writes to unit1\n"
      " writing these sfc values to the KVOwrk  file...\n";
  // Sample points (1, 1) and (2, 1): they differ in the mask and the
  // mean sea level pressure.
  const char* differing[2][2] = {{" field, value            1   1.00000000    ",
                                  " field, value            2   1014.00000    "},
                                 {" field, value            1   0.00000000    ",
                                  " field, value            2   1015.00000    "}};
  for (const auto& point : differing) {
    want += std::string(point[0]) + "\n" + point[1] + "\n";
    want +=
        " field, value            3   1000.00000    \n"
        " field, value            4   100.000000    \n"
        " field, value            5   285.000000    \n"
        " field, value            6  0.300000012    \n"
        " field, value            7   283.000000    \n"
        " field, value            8  0.319999993    \n"
        " field, value            9   283.000000    \n"
        " field, value           10  0.340000004    \n"
        " field, value           11   279.000000    \n"
        " field, value           12  0.360000014    \n";
  }
  EXPECT_EQ(run.out, want);
}

// A missing level ends the run with status 1, its message line last, and
// no output file.
TEST_F(Outputs, DataStops) {
  const struct {
    const char* name;
    std::function<void(TestCase&)> spoil;
    const char* last;
  } cases[] = {
      {"temperature", [](TestCase& c) { c.at(c.rec().tp(2), 1, 1) = c2m::missing_value; },
       " Temperature data missing at level:    900.000000    "},
      {"undefined height", [](TestCase& c) { c.at(c.rec().ht(1), 1, 1) = c2m::undefined_value; },
       " Height data missing at level:    1000.00000    "},
      {"humidity gap", [](TestCase& c) { c.at(c.rec().rh(2), 1, 1) = c2m::missing_value; },
       " RH patch did not work.."},
      {"meridional wind", [](TestCase& c) { c.at(c.rec().vw(3), 1, 1) = c2m::missing_value; },
       " V-wind data missing at level:    800.000000    "},
      // The northernmost row of the input is not point (1, 1).
      {"mark off first point", [](TestCase& c) { c.at(c.rec().tp(2), 1, 3) = c2m::missing_value; },
       nullptr},
  };
  for (const auto& cs : cases) {
    TestCase c = TestCase::valid(4, 3, 3);
    cs.spoil(c);
    ScratchDir dir;
    c.write(dir.path());
    const auto before = list_files(dir.path());
    const RunResult run = convert(dir);
    if (cs.last == nullptr) {
      EXPECT_EQ(run.status, 0) << cs.name << ": " << run.err;
      continue;
    }
    EXPECT_EQ(run.status, 1) << cs.name;
    const auto log = lines_of(run.out);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), cs.last) << cs.name;
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_NE(run.err.find("case.bin"), std::string::npos) << cs.name << ": " << run.err;
    EXPECT_EQ(list_files(dir.path()), before) << cs.name;
  }
}

// An output name taken by a directory: status 2, the diagnostic names it,
// and an earlier model data file stays as it was.
TEST_F(Outputs, OutputNameIsDirectory) {
  for (const std::string taken : {"case.bin.KVOwrk", "case.bin.KVOwrk.gdsinfo"}) {
    ScratchDir dir;
    TestCase::valid(2, 2, 1).write(dir.path());
    fs::create_directory(dir / taken);
    if (taken != "case.bin.KVOwrk") write_file(dir / "case.bin.KVOwrk", "earlier");
    const RunResult run = convert(dir);
    EXPECT_EQ(run.status, 2) << taken;
    EXPECT_NE(run.err.find(taken), std::string::npos) << run.err;
    EXPECT_FALSE(fs::is_regular_file(dir / "case.bin.KVOwrk.gdsinfo"));
    if (taken != "case.bin.KVOwrk") {
      EXPECT_EQ(read_file(dir / "case.bin.KVOwrk"), "earlier");
    }
  }
}

}  // namespace
