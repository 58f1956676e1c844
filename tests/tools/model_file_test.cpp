// Reading the grid description and the model data file: the layouts, the
// size check, record selection and the diagnostics for the user's slips.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include <algorithm>

#include "layout/grid_description.hpp"
#include "model_data_cases.hpp"
#include "model_file.hpp"
#include "selection.hpp"
#include "cli.hpp"
#include "textio/errors.hpp"

namespace {

using namespace md_test;

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
using c2m::layout::read_grid_description;

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
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
    const auto g = read_grid_description(std::string(TOOLS_TEST_DATA "/") + c.dir + "/case.bin.KVOwrk");
    EXPECT_EQ(g.lm, c.lm);
    EXPECT_EQ(g.pressure_pa, c.pressure_pa);
    EXPECT_EQ((std::vector<std::int32_t>{g.kgds(4), g.kgds(5), g.kgds(7), g.kgds(8), g.kgds(12)}),
              (std::vector<std::int32_t>{c.lat1, c.lon1, c.lat2, c.lon2, 255}));
    EXPECT_EQ(g.listed[4].with_unit(), "Temperature (K)");
    EXPECT_EQ(g.listed[5].with_unit(), "Land-sea mask");  // unit "( )"
    EXPECT_EQ(g.listed[16].with_unit(), "Soil Moisture layer 4 (0-1)");
  }
}

// The field listing of the shared layout is the converter's own: the
// golden cases hold what the converter writes, byte for byte.
TEST(GridInfo, ListingIsTheConvertersOwn) {
  const std::string text = c2m::layout::grid_description_path(
      GOLDEN_DIR "/full_7x5x4/expected/files/case.bin.KVOwrk");
  std::ifstream in(text);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 4u + 38u);
  for (std::size_t f = 0; f < c2m::layout::field_count; ++f) {
    const std::size_t line = f < 5 ? 4 + 19 + f : 4 + 21 + f;
    EXPECT_EQ(lines[line], " " + std::string(c2m::layout::listed_field_names[f])) << f;
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
    const std::string message = error_of([&] { c2m::layout::parse_grid_description(in, "x.gdsinfo"); });
    EXPECT_NE(message.find(std::string("x.gdsinfo") + c.expected), std::string::npos) << message;
  }

  // Line ends written on another system, and trailing empty lines, are fine.
  std::istringstream crlf(join(lines, lines.size(), "\r\n") + "\r\n\n");
  EXPECT_EQ(c2m::layout::parse_grid_description(crlf, "x.gdsinfo").pressure_pa,
            (std::vector<float>{100000, 85000}));
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
    const std::string message = error_of([&] { read_grid_description(c.given); });
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
  }
}

TEST(ModelFile, SizeMustMatchTheGrid) {
  // 4 x 3 points, one level: 17 records of 48 bytes, 816 bytes.
  TempDir dir;
  const std::string path = dir.file("case.KVOwrk");
  CaseGrid grid;
  write_text(path + ".gdsinfo", grid_description_text(grid));
  const auto g = read_grid_description(path);
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
    const std::string message = error_of([&] { c2m::md::ModelFile(path, g).require_complete(); });
    for (const auto& e : c.expected) EXPECT_NE(message.find(e), std::string::npos) << message;
  }
  write_floats(path, std::vector<float>(17 * 12, 1.0f));
  EXPECT_NO_THROW(c2m::md::ModelFile(path, g).require_complete());
  // Neither a directory nor a FIFO is read (a FIFO would wait for a writer).
  ASSERT_EQ(::mkfifo(dir.file("fifo.KVOwrk").c_str(), 0600), 0);
  write_text(dir.file("fifo.KVOwrk.gdsinfo"), grid_description_text(grid));
  EXPECT_NE(error_of([&] { c2m::md::ModelFile(dir.file("fifo.KVOwrk"), g); }).find("not a regular file"),
            std::string::npos);
  ASSERT_EQ(::mkfifo(dir.file("g.KVOwrk.gdsinfo").c_str(), 0600), 0);
  EXPECT_NE(error_of([&] { read_grid_description(dir.file("g.KVOwrk")); }).find("not a regular file"),
            std::string::npos);
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
      {1, "u", "1000"},    {26, "u", "975"},     {27, "v", "1000"},
      {53, "gh", "1000"},  {104, "q", "975"},    {105, "t", "1000"},
      {131, "lsm", "sfc"}, {134, "orog", "sfc"}, {135, "stl1", "sfc"},
      {142, "swvl4", "sfc"},
  };
  for (const auto& c : cases) {
    const auto label = c2m::md::label_record(g, c.n, "f");
    EXPECT_EQ(label.info().short_name, c.field) << c.n;
    EXPECT_EQ(c2m::md::level_text(label), c.level) << c.n;
  }
  for (const std::int64_t n : {0, -1, 143}) {
    EXPECT_EQ(error_of([&] { c2m::md::label_record(g, n, "dir/f.KVOwrk"); }),
              "dir/f.KVOwrk: there is no record " + std::to_string(n) +
                  ": the file holds records 1 to 142 (2 x 2 points, 26 levels)");
  }
}

TEST(ModelFile, ReadsRecordsInAnyOrderSouthRowFirst) {
  TempDir dir;
  const std::string path = dir.file("case.KVOwrk");
  write_case(path, CaseGrid{}, [](int n, int i, int j) { return static_cast<float>(n * 100 + j * 10 + i); });
  const auto g = read_grid_description(path);
  c2m::md::ModelFile file(path, g);
  std::vector<float> v;
  for (const int n : {17, 3, 4, 1}) {
    file.read(n, v);
    ASSERT_EQ(v.size(), 12u);
    EXPECT_EQ(v[0], static_cast<float>(n * 100 + 11));   // (1, 1): south-west
    EXPECT_EQ(v[4], static_cast<float>(n * 100 + 21));   // (1, 2)
    EXPECT_EQ(v[11], static_cast<float>(n * 100 + 34));  // (4, 3): north-east
    file.read_row(n, 3, v);
    const float base = static_cast<float>(n * 100);
    EXPECT_EQ(v, (std::vector<float>{base + 31.0f, base + 32.0f, base + 33.0f, base + 34.0f}));
    std::vector<float> pieces;
    file.scan(n, [&](std::span<const float> part) {
      EXPECT_LE(part.size(), 5u);
      pieces.insert(pieces.end(), part.begin(), part.end());
    }, 5);
    file.read(n, v);
    EXPECT_EQ(pieces, v);
  }
  // A file cut inside record 2 reads record 1 only.
  write_text(path, read_whole(path).substr(0, 48 + 20));
  c2m::md::ModelFile cut(path, g);
  EXPECT_EQ(cut.whole_records(), 1);
  EXPECT_NO_THROW(cut.read(1, v));
  EXPECT_THROW(cut.read(2, v), c2m::ShortFile);
}

TEST(Selection, ByNameLevelAndNumber) {
  CaseGrid grid;
  grid.pressure_hpa = {1000.0f, 850.0f, 1013.25f};
  const auto g = parsed(grid);  // 27 records
  using c2m::md::Selection;
  const auto select = [&](const Selection& s) { return c2m::md::select_records(g, s, "f.KVOwrk"); };
  const auto fields = [](const char* v) { return c2m::md::parse_fields("--var", v); };
  const auto levels = [](const char* v) { return c2m::md::parse_levels("--level", v); };
  struct Case {
    const char* what;
    Selection s;
    std::vector<std::int64_t> records;
  };
  const Case cases[] = {
      {"one field, every level", {fields("t"), {}, {}}, {13, 14, 15}},
      {"two fields, two levels", {fields("q,u"), levels("850,1013.25"), {}}, {2, 3, 11, 12}},
      {"surface by level", {{}, levels("sfc"), {}}, {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}},
      {"a surface field", {fields("orog,lsm"), {}, {}}, {16, 19}},
      {"records in order, once each", {{}, {}, {27, 3, 3}}, {3, 27}},
  };
  for (const auto& c : cases) EXPECT_EQ(select(c.s), c.records) << c.what;
  EXPECT_EQ(select(Selection{}).size(), 27u);

  struct Bad {
    const char* what;
    std::function<void()> f;
    const char* message;
  };
  const Bad bad[] = {
      {"unknown field", [&] { fields("t,temp"); }, "--var: no field \"temp\"; the fields are u v gh q t lsm"},
      {"level not a number", [&] { levels("high"); }, "--level wants levels in hPa or \"sfc\""},
      {"level not in the file", [&] { select({{}, levels("500"), {}}); },
       "f.KVOwrk: there is no level 500 hPa; the levels are 1000 850 1013.25 and sfc"},
      {"nothing matches", [&] { select({fields("lsm"), levels("850"), {}}); }, "no record is both"},
      {"record outside", [&] { select({{}, {}, {28}}); }, "there is no record 28"},
  };
  for (const auto& b : bad) EXPECT_NE(error_of(b.f).find(b.message), std::string::npos) << b.what << ": " << error_of(b.f);
}

}  // namespace
