// Reading the grid description and the model data file: the layouts, the
// size check and the diagnostics for the user's slips.
#include <gtest/gtest.h>

#include <sstream>

#include "errors.hpp"
#include "grid_info.hpp"
#include "kvoinfo_cases.hpp"
#include "model_file.hpp"

namespace {

using namespace kvo_test;

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const kvo::Error& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(GridInfo, ReadsTheConvertersOwnFiles) {
  struct Case {
    const char* dir;
    std::int32_t lm;
    std::vector<float> pressure_pa;  // record order
    std::int32_t lat1, lon1, lat2, lon2;
  };
  const Case cases[] = {
      {"full_7x5x4", 4, {100000, 85000, 50000, 25000}, -90000, 0, 90000, 357500},
      {"free_format", 1, {101325}, -45500, -180000, 44500, 178000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir);
    const auto g = kvo::read_grid_info(std::string(KVOINFO_TEST_DATA "/") + c.dir + "/case.bin.KVOwrk");
    EXPECT_EQ(g.lm, c.lm);
    EXPECT_EQ(g.pressure_pa, c.pressure_pa);
    EXPECT_EQ((std::vector<std::int32_t>{g.kgds(4), g.kgds(5), g.kgds(7), g.kgds(8), g.kgds(12)}),
              (std::vector<std::int32_t>{c.lat1, c.lon1, c.lat2, c.lon2, 255}));
    EXPECT_EQ(g.upper[4].with_unit(), "Temperature (K)");
    EXPECT_EQ(g.surface[0].with_unit(), "Land-sea mask");  // unit "( )"
    EXPECT_EQ(g.surface[11].with_unit(), "Soil Moisture layer 4 (0-1)");
  }
}

// A description of two levels has 40 lines: 1 the number of levels,
// 2 "Pressure in Pa", 3-4 the pressures (top first), 5-16 kgds(1..12),
// 17-21 the listing headings, 22-26 the upper-air names, 27-28 the "2D"
// heading and 29-40 the surface names.
TEST(GridInfo, NamesTheLineThatIsWrong) {
  CaseGrid grid;
  grid.pressure_hpa = {1000.0f, 850.0f};
  const std::string good = grid_description_text(grid);
  std::vector<std::string> lines;
  {
    std::istringstream in(good);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
  }
  ASSERT_EQ(lines.size(), 40u);
  const auto join = [](const std::vector<std::string>& ls, std::size_t count, const char* end) {
    std::string t;
    for (std::size_t n = 0; n < count; ++n) t += ls[n] + end;
    return t;
  };
  const auto replaced = [&](std::size_t line, const std::string& text) {
    auto ls = lines;
    ls[line - 1] = text;
    return join(ls, ls.size(), "\n");
  };
  struct Case {
    const char* what;
    std::string text;
    const char* expected;
  };
  const Case cases[] = {
      {"levels not a number", replaced(1, "  two => Number of Levels"), ", line 1: expected the number"},
      {"no levels", replaced(1, "           0  => Number of Levels"), ", line 1: expected a number of levels"},
      {"pressure with a unit", replaced(4, "   1000 hPa"), ", line 4: expected the pressure in Pa of level 1"},
      {"kgds out of order", replaced(7, "           5 kgds(4)"), ", line 7: expected an integer and \"kgds(3)\""},
      {"no points", replaced(6, "           0 kgds(2)"), ", line 6: expected a number of points"},
      {"name without unit", replaced(26, " Temperature"), ", line 26: expected an upper-air field name"},
      {"cut short", join(lines, 30, "\n"), ": ends after line 30, where a surface field name"},
      {"text after the end", good + " more\n", ", line 41: expected the end of the file"},
      {"a binary file", std::string("\x01\x02\xff", 3), ", line 1: expected the number of levels and"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::istringstream in(c.text);
    const std::string message = error_of([&] { kvo::parse_grid_info(in, "x.gdsinfo"); });
    EXPECT_NE(message.find(std::string("x.gdsinfo") + c.expected), std::string::npos) << message;
  }

  // Line ends written on another system, and trailing empty lines, are fine.
  std::istringstream crlf(join(lines, lines.size(), "\r\n") + "\r\n\n");
  EXPECT_EQ(kvo::parse_grid_info(crlf, "x.gdsinfo").pressure_pa, (std::vector<float>{100000, 85000}));
}

TEST(GridInfo, MissingDescriptionSaysWhatWasProbablyMeant) {
  TempDir dir;
  write_case(dir.file("run.bin.KVOwrk"), CaseGrid{}, [](int, int, int) { return 0.0f; });
  struct Case {
    std::string given;
    std::string expected;
  };
  const Case cases[] = {
      {dir.file("none.KVOwrk"), dir.file("none.KVOwrk.gdsinfo") +
                                    ": cannot open the grid description: No such file or directory"},
      {dir.file("run.bin.KVOwrk.gdsinfo"), "give the model data file, not its grid description: " +
                                               dir.file("run.bin.KVOwrk")},
      {dir.file("run.bin"), "its model data file is " + dir.file("run.bin.KVOwrk")},
  };
  for (const auto& c : cases) {
    const std::string message = error_of([&] { kvo::read_grid_info(c.given); });
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
  }
}

TEST(ModelFile, SizeMustMatchTheGrid) {
  // 4 x 3 points, one level: 17 records of 48 bytes, 816 bytes.
  TempDir dir;
  const std::string path = dir.file("case.KVOwrk");
  CaseGrid grid;
  write_text(path + ".gdsinfo", grid_description_text(grid));
  const auto g = kvo::read_grid_info(path);
  struct Case {
    std::size_t floats;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {16 * 12, {path + ": 768 bytes", "17 records of 48 bytes, 816 bytes", "holds 16 records",
                 "cut short"}},
      {17 * 12 + 1, {": 820 bytes", "holds 17 whole records of this grid and 4 bytes more"}},
      {22 * 12, {": 1056 bytes", "holds 22 records", "as many as 2 levels would give",
                 "earlier run"}},
      {0, {": 0 bytes", "holds 0 records"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.floats);
    write_floats(path, std::vector<float>(c.floats, 1.0f));
    const std::string message = error_of([&] { kvo::ModelFile f(path, g); });
    for (const auto& e : c.expected) EXPECT_NE(message.find(e), std::string::npos) << message;
  }
  write_floats(path, std::vector<float>(17 * 12, 1.0f));
  EXPECT_NO_THROW(kvo::ModelFile(path, g));
}

TEST(ModelFile, LabelsFollowTheRecordOrder) {
  CaseGrid grid;
  grid.im = grid.jm = 2;
  grid.pressure_hpa.clear();
  for (int k = 0; k < 26; ++k) grid.pressure_hpa.push_back(static_cast<float>(1000 - k));
  const auto g = parsed(grid);
  struct Case {
    std::int64_t n;
    const char* field;
    const char* level;
  };
  const Case cases[] = {
      {1, "Zonal wind (m/s)", "1000"},          {26, "Zonal wind (m/s)", "975"},
      {27, "Meridional wind (m/s)", "1000"},    {53, "Geopotential height (m)", "1000"},
      {104, "Specific humidity (kg/kg)", "975"}, {105, "Temperature (K)", "1000"},
      {131, "Land-sea mask", "sfc"},            {134, "Topography (m)", "sfc"},
      {142, "Soil Moisture layer 4 (0-1)", "sfc"},
  };
  for (const auto& c : cases) {
    const auto label = kvo::label_record(g, c.n, "f");
    EXPECT_EQ(label.name->with_unit(), c.field) << c.n;
    EXPECT_EQ(kvo::level_text(label), c.level) << c.n;
  }
  for (const std::int64_t n : {0, -1, 143}) {
    EXPECT_EQ(error_of([&] { kvo::label_record(g, n, "dir/f.KVOwrk"); }),
              "dir/f.KVOwrk: there is no record " + std::to_string(n) +
                  ": the file holds records 1 to 142 (2 x 2 points, 26 levels)");
  }
}

TEST(ModelFile, ReadsRecordsInAnyOrderSouthRowFirst) {
  TempDir dir;
  const std::string path = dir.file("case.KVOwrk");
  write_case(path, CaseGrid{}, [](int n, int i, int j) { return static_cast<float>(n * 100 + j * 10 + i); });
  const auto g = kvo::read_grid_info(path);
  kvo::ModelFile file(path, g);
  std::vector<float> v;
  for (const int n : {17, 3, 4, 1}) {
    file.read(n, v);
    ASSERT_EQ(v.size(), 12u);
    EXPECT_EQ(v[0], static_cast<float>(n * 100 + 11));   // (1, 1): south-west
    EXPECT_EQ(v[4], static_cast<float>(n * 100 + 21));   // (1, 2)
    EXPECT_EQ(v[11], static_cast<float>(n * 100 + 34));  // (4, 3): north-east
  }
}

}  // namespace
