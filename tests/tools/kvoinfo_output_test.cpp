// The inventory, its statistics and the data descriptor.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "descriptor.hpp"
#include "errors.hpp"
#include "grid_info.hpp"
#include "inventory.hpp"
#include "kvoinfo_cases.hpp"
#include "model_file.hpp"
#include "numbers.hpp"
#include "record_stats.hpp"

namespace {

using namespace kvo_test;

constexpr float nan_value = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_value = std::numeric_limits<float>::infinity();
constexpr float missing = -99999.0f;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

TEST(RecordStats, LeavesInvalidPointsOut) {
  struct Case {
    const char* what;
    std::vector<float> values;
    std::uint64_t valid, missing, nan, infinite;
    float min, max;
    double mean;
  };
  const Case cases[] = {
      {"plain", {3, -1, 4, 2}, 4, 0, 0, 0, -1, 4, 2.0},
      {"missing and NaN", {missing, 5, nan_value, 1, missing}, 2, 2, 1, 0, 1, 5, 3.0},
      {"infinities", {-inf_value, 2, inf_value}, 1, 0, 0, 2, 2, 2, 2.0},
      {"nothing valid", {missing, nan_value}, 0, 1, 1, 0, 0, 0, 0.0},
      // A 4-byte sum would lose the three ones against 2^24.
      {"mean in double", {16777216.0f, 1, 1, 1}, 4, 0, 0, 0, 1, 16777216.0f, 4194304.75},
      {"near missing is valid", {-99998.0f}, 1, 0, 0, 0, -99998.0f, -99998.0f, -99998.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto s = kvo::record_stats(c.values);
    EXPECT_EQ(s.valid, c.valid);
    EXPECT_EQ(s.missing, c.missing);
    EXPECT_EQ(s.nan, c.nan);
    EXPECT_EQ(s.infinite, c.infinite);
    if (c.valid > 0) {
      EXPECT_EQ(s.min, c.min);
      EXPECT_EQ(s.max, c.max);
      EXPECT_EQ(s.mean, c.mean);
    }
  }
}

TEST(Inventory, ListsEveryRecordWithItsStatistics) {
  TempDir dir;
  const std::string path = dir.file("case.KVOwrk");
  CaseGrid grid;  // 4 x 3 points, one level of 850 hPa
  grid.pressure_hpa = {850.0f};
  write_case(path, grid, [](int n, int i, int j) {
    if (n == 1 && i == 1) return j == 2 ? nan_value : missing;  // 2 missing, 1 NaN
    if (n == 9) return missing;                                   // topography: nothing valid
    return static_cast<float>(n) + 0.5f * static_cast<float>((j - 1) * 4 + i);
  });
  const auto g = kvo::read_grid_info(path);
  kvo::ModelFile file(path, g);
  std::ostringstream out;
  kvo::write_inventory(out, file);
  const auto lines = lines_of(out.str());

  ASSERT_EQ(lines.size(), 2u + 17u);  // grid, header, 17 records; this grid has no notes
  EXPECT_EQ(lines[0].rfind("grid 4 x 3 points, 1 level, 17 records of 48 bytes; type 0; "
                           "first point (south-west corner) lat -45.5 lon -180; ", 0), 0u)
      << lines[0];
  EXPECT_EQ(words_of(lines[1]),
            (std::vector<std::string>{"rec", "field", "level", "min", "max", "mean", "missing", "nan", "inf"}));
  for (std::size_t n = 2; n < lines.size(); ++n)
    if (n != 10) {
      EXPECT_EQ(lines[n].size(), lines[1].size()) << "columns of line " << n;
    }

  // Record 1: points 2, 3, 4, 6, 7, 8, 10, 11, 12 valid, values 1 + point / 2.
  EXPECT_EQ(words_of(lines[2]), (std::vector<std::string>{"1", "Zonal", "wind", "(m/s)", "850", "2",
                                                          "7", "4.5", "2", "1", "0"}));
  EXPECT_EQ(words_of(lines[6]), (std::vector<std::string>{"5", "Temperature", "(K)", "850", "5.5",
                                                          "11", "8.25", "0", "0", "0"}));
  EXPECT_EQ(words_of(lines[7]), (std::vector<std::string>{"6", "Land-sea", "mask", "sfc", "6.5", "12",
                                                          "9.25", "0", "0", "0"}));
  EXPECT_EQ(words_of(lines[10]), (std::vector<std::string>{"9", "Topography", "(m)", "sfc", "-", "-",
                                                           "-", "12", "0", "0", "no", "valid", "point"}));

  std::ostringstream one;
  kvo::write_inventory(one, file, 5);
  ASSERT_EQ(lines_of(one.str()).size(), 3u);
  EXPECT_EQ(lines_of(one.str())[2], lines[6]);

  std::ostringstream none;
  EXPECT_THROW(kvo::write_inventory(none, file, 18), kvo::RecordOutOfRange);
  EXPECT_EQ(none.str(), "");  // nothing is written before the check
}

TEST(Inventory, CountsTheUndefinedWindPointOfAConverterRun) {
  const std::string path = KVOINFO_TEST_DATA "/full_7x5x4/case.bin.KVOwrk";
  const auto g = kvo::read_grid_info(path);
  kvo::ModelFile file(path, g);
  std::ostringstream out;
  kvo::write_inventory(out, file);
  const auto lines = lines_of(out.str());
  ASSERT_EQ(lines.size(), 3u + 32u);  // grid, a note on the last point, header, 32 records
  EXPECT_EQ(lines[1].rfind("note: the last point", 0), 0u);
  for (std::size_t n = 3; n < lines.size(); ++n) {
    const auto w = words_of(lines[n]);
    EXPECT_EQ(w[w.size() - 3], n == 4 ? "1" : "0") << lines[n];  // record 2 alone has a missing point
  }
}

TEST(Inventory, NotesOnTheGridDescription) {
  struct Case {
    const char* what;
    std::int32_t im, jm, type, lat1, lon1, lat2, lon2, di, dj;
    std::size_t notes;
  };
  const Case cases[] = {
      {"consistent", 144, 73, 0, -90000, 0, 90000, 357500, 2500, 2500, 0},
      {"across 180 degrees", 144, 2, 0, 0, 180000, 1000, 177500, 2500, 1000, 0},
      {"last latitude off", 144, 73, 0, -90000, 0, 89000, 357500, 2500, 2500, 1},
      {"last longitude off", 144, 73, 0, -90000, 0, 90000, 355000, 2500, 2500, 1},
      {"not a lat/lon grid", 3, 3, 5, 0, 0, 2000, 2000, 1000, 1000, 1},
  };
  for (const auto& c : cases) {
    CaseGrid g;
    g.im = c.im, g.jm = c.jm, g.type = c.type, g.lat1 = c.lat1, g.lon1 = c.lon1;
    g.lat2 = c.lat2, g.lon2 = c.lon2, g.di = c.di, g.dj = c.dj;
    EXPECT_EQ(kvo::grid_notes(parsed(g)).size(), c.notes) << c.what;
  }
}

TEST(Numbers, DegreesFromThousandths) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "0"}, {-500, "-0.5"}, {1, "0.001"}, {90010, "90.01"}, {-2147483647 - 1, "-2147483.648"}};
  for (const auto& [milli, text] : cases) EXPECT_EQ(kvo::degrees(milli), text);
}

TEST(Descriptor, MapsTheRecordsOfAGridWithNegativeLongitudes) {
  // The converter's output for one level at 1013.25 hPa, 4 x 2 points from
  // 45.5 S, 180 W.
  const std::string path = KVOINFO_TEST_DATA "/free_format/case.bin.KVOwrk";
  std::ostringstream out;
  kvo::write_descriptor(out, path, kvo::read_grid_info(path));
  std::vector<std::string> lines;
  for (const auto& l : lines_of(out.str()))
    if (l.rfind("*", 0) != 0) lines.push_back(l);  // comments aside

  const std::vector<std::string> head = {
      "dset ^case.bin.KVOwrk",
      "title case.bin.KVOwrk: model initial data, 4 x 2 points, 1 level",
      "options little_endian",
      "undef -99999.0",
      "xdef 4 linear -180 1",
      "ydef 2 linear -45.5 1",
      "zdef 1 levels 1013.25",
      "tdef 1 linear 00z01jan2000 1dy",
      "vars 17"};
  ASSERT_EQ(lines.size(), head.size() + 17 + 1);
  for (std::size_t n = 0; n < head.size(); ++n) EXPECT_EQ(lines[n], head[n]);
  EXPECT_EQ(words_of(lines[9]), (std::vector<std::string>{"u", "1", "99", "Zonal", "wind", "[m/s]"}));
  EXPECT_EQ(words_of(lines[13]), (std::vector<std::string>{"t", "1", "99", "Temperature", "[K]"}));
  EXPECT_EQ(words_of(lines[14]), (std::vector<std::string>{"lsm", "0", "99", "Land-sea", "mask"}));
  EXPECT_EQ(words_of(lines[17]), (std::vector<std::string>{"topo", "0", "99", "Topography", "[m]"}));
  EXPECT_EQ(lines.back(), "endvars");

  // Levels bottom first; the records a reader of the descriptor expects,
  // a variable of 0 levels taking one, are those of the file.
  CaseGrid grid;
  grid.pressure_hpa = {1000.0f, 850.0f, 500.0f};
  std::ostringstream three;
  kvo::write_descriptor(three, "/some/dir/run.KVOwrk", parsed(grid));
  lines = lines_of(three.str());
  EXPECT_EQ(lines.front(), "dset ^run.KVOwrk");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "zdef 3 levels 1000 850 500"), lines.end());
  const auto vars = std::find(lines.begin(), lines.end(), "vars 17");
  ASSERT_NE(vars, lines.end());
  long records = 0;
  for (auto l = vars + 1; l != lines.end() && *l != "endvars"; ++l)
    records += std::max(1L, std::stol(words_of(*l)[1]));
  EXPECT_EQ(records, 5 * 3 + 12);
}

}  // namespace
