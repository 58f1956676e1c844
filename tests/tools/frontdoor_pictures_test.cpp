// conv2model plot as a user runs it, and grids no picture or export can
// be made of: the picture's orientation and coastlines read back from the
// PNG, a picture never written over its inputs, and impossible grids and
// grid descriptions refused naming the file and the line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <filesystem>

#include "frontdoor_run.hpp"
#include "picture.hpp"

namespace fs = std::filesystem;
using namespace testsupport;
using namespace frontdoor;

namespace {

// The function, before the namespace c2m of the project.
using frontdoor::c2m;

double luminance(c2m::plot::Rgb c) { return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b; }

// Little-endian record N (from 1) of IM x JM reals.
std::vector<float> record_of(const std::string& bytes, int im, int jm, int n) {
  std::vector<float> v(static_cast<std::size_t>(im * jm));
  for (std::size_t p = 0; p < v.size(); ++p) {
    std::uint32_t u = 0;
    for (int b = 3; b >= 0; --b)
      u = (u << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(n - 1) * v.size() * 4 + 4 * p + static_cast<std::size_t>(b)]);
    v[p] = std::bit_cast<float>(u);
  }
  return v;
}

TEST(FrontDoor, TopographyPictureHasNorthUpAndCoastlines) {
  // 1 degree from 35 N to 65 N, 25 W to 30 E: the Alps stand at 46 N,
  // 10 E; 54 N, 10 E (the mirror latitude) is lowland and sea.
  ScratchDir dir;
  ASSERT_EQ(c2m(dir.path(), {"synth", "eu", "--res", "1", "--lm", "2"}).status, 0);
  ASSERT_EQ(c2m(dir.path(), {"convert", "--quiet", "eu/case.bin"}).status, 0);
  const RunResult r = c2m(dir.path(), {"plot", "eu/case.bin.KVOwrk", "--var", "orog", "-o", "orog.PNG"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "orog.PNG: orog (surface), ")) << r.out;

  constexpr int im = 56, jm = 31;
  const auto g = c2m::plot::plan_picture(im, jm, 0);
  const auto picture = c2m::plot::Picture::load(dir / "orog.PNG");
  ASSERT_TRUE(picture.has_value());
  ASSERT_EQ(picture->width(), g.width);
  ASSERT_EQ(picture->height(), g.height);
  const int block = g.map_w / im;
  const auto centre = [&](int i, int row_from_north) {
    return picture->at(g.map_x + i * block + block / 2, g.map_y + row_from_north * block + block / 2);
  };
  const int alps_i = 10 + 25, alps_row = 65 - 46, mirror_row = 65 - 54;
  EXPECT_GT(luminance(centre(alps_i, alps_row)), luminance(centre(alps_i, mirror_row)) + 80);
  EXPECT_GT(luminance(centre(alps_i, alps_row)), 120);

  // Wherever the land-sea mask changes along a row, the coastline crosses
  // the boundary of the two blocks at the middle of the row.
  const auto mask = record_of(read_file(dir / "eu/case.bin.KVOwrk"), im, jm, 5 * 2 + 1);
  int changes = 0, drawn = 0;
  for (int j = 1; j <= jm; ++j)
    for (int i = 0; i + 1 < im; ++i) {
      const float a = mask[static_cast<std::size_t>((j - 1) * im + i)], b = mask[static_cast<std::size_t>((j - 1) * im + i + 1)];
      if ((a >= 0.5f) == (b >= 0.5f)) continue;
      ++changes;
      const int x = g.map_x + (i + 1) * block, y = g.map_y + (jm - j) * block + block / 2;
      drawn += std::min(luminance(picture->at(x, y)), luminance(picture->at(x - 1, y))) < 60;
    }
  EXPECT_GT(changes, 20);
  EXPECT_GE(drawn, changes * 95 / 100);
}

TEST(FrontDoor, PictureNeverLandsOnItsInputsAndFailsWhole) {
  ScratchDir dir;
  const std::string data = small_case(dir);
  const std::string gds = data + ".gdsinfo";
  const std::string data_bytes = read_file(data), gds_bytes = read_file(gds);
  write_file(dir / "old.png", "an earlier picture");
  ASSERT_EQ(::link(data.c_str(), (dir / "hard.png").c_str()), 0);
  fs::create_symlink(gds, dir / "soft.png");
  struct Row {
    std::string what;
    std::vector<std::string> args;
    std::string in_err;
    RunLimits limits;
  };
  const Row rows[] = {
      {"onto the model data file", {"plot", data, "--var", "t", "-o", data}, "an input of this command", {}},
      {"onto the grid description", {"plot", data, "--var", "t", "-o", gds}, "an input of this command", {}},
      {"onto a hard link of the data", {"plot", data, "--var", "t", "-o", dir / "hard.png"}, "the same file as", {}},
      {"onto a symlink to the description", {"plot", data, "--var", "t", "-o", dir / "soft.png"}, "the same file as", {}},
      {"descriptor onto the data", {"export", data, "--ctl", data}, "an input of this command", {}},
      {"a device", {"plot", data, "--var", "t", "-o", "/dev/full"}, "/dev/full: is a character device", {}},
      {"a directory", {"plot", data, "--var", "t", "-o", dir.path()}, "an output file cannot replace a directory", {}},
      {"a record that is not there", {"plot", data, "--record", "33", "-o", dir / "old.png"}, "there is no record 33", {}},
      {"a level that is not there", {"plot", data, "--var", "t", "--level", "925", "-o", dir / "old.png"}, "no level 925", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const RunResult r = c2m(dir.path(), row.args, row.limits);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r.err, row.in_err)) << r.err;
    EXPECT_EQ(read_file(data), data_bytes);
    EXPECT_EQ(read_file(gds), gds_bytes);
    EXPECT_EQ(read_file(dir / "old.png"), "an earlier picture");
  }
  struct stat st {};
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));

  // Stopped by the file-size limit half-way through the picture: the
  // earlier picture stays, no temporary file is left.
  const RunResult limited = c2m(dir.path(), {"plot", data, "--var", "t", "-o", dir / "old.png"}, {10.0, 4096});
  EXPECT_EQ(limited.status, 128 + SIGXFSZ) << limited.err;
  EXPECT_TRUE(has(limited.err, "stopped by SIGXFSZ")) << limited.err;
  EXPECT_EQ(read_file(dir / "old.png"), "an earlier picture");
  for (const auto& f : list_files(dir.path())) EXPECT_FALSE(has(f, ".partial-")) << f;
  // And without the limit it is replaced whole.
  const RunResult ok = c2m(dir.path(), {"plot", data, "--var", "t", "-o", dir / "old.png"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_TRUE(c2m::plot::Picture::load(dir / "old.png").has_value());
}

TEST(FrontDoor, FailuresNameTheFileAndTheCause) {
  ScratchDir dir;
  const std::string data = small_case(dir);
  struct Row {
    std::vector<std::string> args;
    std::string in_err;
  };
  const Row rows[] = {
      {{"info", "none.KVOwrk"}, "none.KVOwrk.gdsinfo: cannot open the grid description: No such file"},
      {{"info", "case/case.bin"}, "looks like the converter's input; its model data file is case/case.bin.KVOwrk"},
      {{"info", "--record", "33", data}, ": there is no record 33: the file holds records 1 to 32"},
      {{"plot", data, "--var", "t", "-o", "no/q.png"}, "no/q.png: No such file or directory"},
      {{"export", data, "--ctl", "no/q.ctl"}, "no/q.ctl: No such file or directory"},
      {{"synth", "case/case.bin/x"}, "case/case.bin/x: cannot create the directory"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + row.args[1]);
    const RunResult r = c2m(dir.path(), row.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r.err, "conv2model " + row.args[0] + ": ")) << r.err;
    EXPECT_TRUE(has(r.err, row.in_err)) << r.err;
  }
}

TEST(FrontDoor, ImpossibleGridIsRefusedNotAborted) {
  // A grid description claiming 1 x 2147483647 points: 8 GB a record.
  ScratchDir dir;
  std::string gds = read_file(TOOLS_TEST_DATA "/free_format/case.bin.KVOwrk.gdsinfo");
  const auto replace_line = [&](const std::string& label, const std::string& value) {
    const auto at = gds.find(" " + label);
    const auto start = gds.rfind('\n', at) + 1;
    gds.replace(start, at - start, value);
  };
  replace_line("kgds(2)", "           1");
  replace_line("kgds(3)", "  2147483647");
  write_file(dir / "big.KVOwrk.gdsinfo", gds);
  write_file(dir / "big.KVOwrk", std::string(68, '\0'));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"plot", "big.KVOwrk", "--var", "orog", "-o", "big.png"},
        std::vector<std::string>{"plot", "big.KVOwrk", "--var", "orog", "--width", "100", "-o", "big.png"},
        std::vector<std::string>{"info", "big.KVOwrk"},
        std::vector<std::string>{"export", "big.KVOwrk", "--ctl", "big.ctl"}}) {
    SCOPED_TRACE(args[0]);
    const RunResult r = c2m(dir.path(), args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, "big.KVOwrk") || has(r.err, "pixels")) << r.err;
  }
  // No grid has that many rows within the poles: the description is
  // refused by its line.  Along a row as many points have a place.
  EXPECT_TRUE(has(c2m(dir.path(), {"plot", "big.KVOwrk", "--var", "orog", "-o", "big.png"}).err,
                  "big.KVOwrk.gdsinfo, line 13: expected an increment along j"));
  replace_line("kgds(2)", "  2147483647");
  replace_line("kgds(3)", "           1");
  write_file(dir / "big.KVOwrk.gdsinfo", gds);
  EXPECT_TRUE(has(c2m(dir.path(), {"plot", "big.KVOwrk", "--var", "orog", "-o", "big.png"}).err,
                  "2147483647 x 1 grid would be 2147483731 x 176 pixels; the limit is 100000000 pixels"));
  EXPECT_FALSE(file_exists(dir / "big.png"));
  EXPECT_FALSE(file_exists(dir / "big.ctl"));
}

// Grid descriptions whose values no grid could have: pressures that are
// not a positive number, latitudes beyond a pole, increments of 0, rows
// that the first latitude and the increment take past a pole, sizes below
// one point.  Every command that reads one refuses it with status 2, naming
// the file, the line and the value, and writes nothing.
TEST(FrontDoor, ImpossibleGridDescriptionsAreRefusedByLine) {
  ScratchDir dir;
  const std::string data = small_case(dir);  // 12 x 8 points from 40 N by 2 degrees, 4 levels
  const std::string gds = data + ".gdsinfo";
  const std::string good = read_file(gds);
  const std::size_t files = list_files(dir.path()).size();
  // Line 1 the levels, 2 the heading, 3 .. 6 the pressures (10 hPa first),
  // kgds(n) on line 6 + n.
  struct Row {
    int line;
    std::string text;
  };
  const Row rows[] = {
      {4, "nan"},
      {3, "-inf"},
      {5, "inf"},
      {6, "-100000.0"},
      {3, "0.00000000"},
      {8, "0 kgds(2)"},
      {9, "-8 kgds(3)"},
      {10, "200000000 kgds(4)"},
      {10, "-90001 kgds(4)"},
      {13, "90500 kgds(7)"},
      {15, "0 kgds(9)"},
      {16, "0 kgds(10)"},
      {16, "8000 kgds(10)"},    // row 8 at 40 + 7 x 8 = 96 degrees
      {16, "-20000 kgds(10)"},  // row 8 at 40 - 140 = -100 degrees
  };
  const std::vector<std::vector<std::string>> commands = {
      {"info", data},
      {"plot", data, "--var", "t", "-o", "t.png"},
      {"export", data, "--ctl", "x.ctl"},
      {"export", data, "--netcdf", "x.nc"},
  };
  for (const auto& row : rows) {
    std::istringstream in(good);
    std::string text;
    int n = 0;
    for (std::string l; std::getline(in, l);) text += (++n == row.line ? " " + row.text : l) + "\n";
    write_file(gds, text);
    for (const auto& args : commands) {
      SCOPED_TRACE("line " + std::to_string(row.line) + " \"" + row.text + "\": " + args[0] +
                   (args.size() > 2 ? " " + args[2] : ""));
      const RunResult r = c2m(dir.path(), args);
      EXPECT_EQ(r.status, 2) << r.err;
      EXPECT_TRUE(has(r.err, "case.bin.KVOwrk.gdsinfo, line " + std::to_string(row.line) + ": "))
          << r.err;
      EXPECT_TRUE(has(r.err, row.text + "\"")) << r.err;
      EXPECT_EQ(list_files(dir.path()).size(), files) << "an output was written";
      for (const char* out : {"t.png", "x.ctl", "x.nc"}) fs::remove(dir / out);
    }
  }
  // What the converter writes is read: the unchanged description, and
  // rows up to the poles exactly.
  write_file(gds, good);
  EXPECT_EQ(c2m(dir.path(), {"info", data}).status, 0);
  std::string to_pole = good;
  const auto at = to_pole.find("        2000 kgds(10)");
  ASSERT_NE(at, std::string::npos) << good;
  to_pole.replace(at, 21, "        7142 kgds(10)");  // row 8 at 89.994 degrees
  write_file(gds, to_pole);
  EXPECT_EQ(c2m(dir.path(), {"export", data, "--ctl", "x.ctl"}).status, 0);
}

}  // namespace
