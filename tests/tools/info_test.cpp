// The inventory (conv2model info): its statistics, its lines for grep and
// awk, its CSV rows, and a file that is not whole.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <fstream>
#include <cstdlib>

#include "grid_text.hpp"
#include "inventory.hpp"
#include "layout/grid_description.hpp"
#include "model_data_cases.hpp"
#include "model_file.hpp"
#include "numbers.hpp"
#include "record_stats.hpp"
#include "textio/errors.hpp"

namespace {

using namespace md_test;
using c2m::info::Format;
using c2m::layout::read_grid_description;

constexpr float nan_value = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_value = std::numeric_limits<float>::infinity();
constexpr float missing = -99999.0f;

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The inventory of RECORDS (every record when empty) as OUT gets it; the
// notes (CSV) in NOTES.
std::string inventory(c2m::md::ModelFile& file, Format format, std::vector<std::int64_t> records = {},
                      std::string* notes = nullptr) {
  if (records.empty())
    for (std::int64_t n = 1; n <= file.grid().record_count(); ++n) records.push_back(n);
  char* out_buf = nullptr;
  char* err_buf = nullptr;
  std::size_t out_len = 0, err_len = 0;
  std::FILE* out = open_memstream(&out_buf, &out_len);
  std::FILE* err = open_memstream(&err_buf, &err_len);
  std::string failure;
  try {
    c2m::info::write_inventory(out, err, file, records, format);
  } catch (const c2m::RunFailure& e) {
    failure = std::string("FAILURE ") + e.what();
  }
  std::fclose(out);
  std::fclose(err);
  std::string text(out_buf, out_len);
  if (notes) *notes = std::string(err_buf, err_len);
  std::free(out_buf);
  std::free(err_buf);
  return text + failure;
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
    double mean, stddev;
  };
  const Case cases[] = {
      {"plain", {3, -1, 4, 2}, 4, 0, 0, 0, -1, 4, 2.0, std::sqrt(3.5)},
      {"missing and NaN", {missing, 5, nan_value, 1, missing}, 2, 2, 1, 0, 1, 5, 3.0, 2.0},
      {"infinities", {-inf_value, 2, inf_value}, 1, 0, 0, 2, 2, 2, 2.0, 0.0},
      {"nothing valid", {missing, nan_value}, 0, 1, 1, 0, 0, 0, 0.0, 0.0},
      // A 4-byte sum would lose the three ones against 2^24.
      {"mean in double", {16777216.0f, 1, 1, 1}, 4, 0, 0, 0, 1, 16777216.0f, 4194304.75,
       16777215.0 * std::sqrt(3.0) / 4.0},
      {"near missing is valid", {-99998.0f}, 1, 0, 0, 0, -99998.0f, -99998.0f, -99998.0, 0.0},
      // Around a large mean a sum of squares would cancel away the spread.
      {"spread far from zero", {100000.5f, 100001.5f}, 2, 0, 0, 0, 100000.5f, 100001.5f, 100001.0, 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto s = c2m::md::record_stats(c.values);
    EXPECT_EQ(s.valid, c.valid);
    EXPECT_EQ(s.missing, c.missing);
    EXPECT_EQ(s.nan, c.nan);
    EXPECT_EQ(s.infinite, c.infinite);
    if (c.valid > 0) {
      EXPECT_EQ(s.min, c.min);
      EXPECT_EQ(s.max, c.max);
      EXPECT_EQ(s.mean, c.mean);
      EXPECT_NEAR(s.stddev, c.stddev, 1e-9 * (1 + c.stddev));
    }
  }
  // Taken in pieces, the same numbers.
  std::vector<float> many;
  for (int n = 0; n < 1000; ++n) many.push_back(static_cast<float>((n * 37) % 101) - 50.0f);
  c2m::md::RecordStats pieces;
  for (std::size_t at = 0; at < many.size(); at += 64)
    pieces.add(std::span<const float>(many).subspan(at, std::min<std::size_t>(64, many.size() - at)));
  const auto whole = c2m::md::record_stats(many);
  EXPECT_EQ(pieces.valid, whole.valid);
  EXPECT_EQ(pieces.min, whole.min);
  EXPECT_NEAR(pieces.mean, whole.mean, 1e-12);
  EXPECT_NEAR(pieces.stddev, whole.stddev, 1e-12);
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
  const auto g = read_grid_description(path);
  c2m::md::ModelFile file(path, g);
  const auto lines = lines_of(inventory(file, Format::text));

  ASSERT_EQ(lines.size(), 2u + 17u);  // grid, header, 17 records; this grid has no notes
  EXPECT_EQ(lines[0].rfind("grid 4 x 3 points, 1 level, 17 records of 48 bytes; type 0; "
                           "first point (south-west corner) lat -45.5 lon -180; ", 0), 0u)
      << lines[0];
  EXPECT_EQ(words_of(lines[1]),
            (std::vector<std::string>{"rec", "offset", "name", "level", "min", "max", "mean", "stddev",
                                      "missing", "nan", "inf", "description"}));
  // Every column but the description is one word, at the same place on
  // every line: awk and cut both find them.
  const auto description_at = lines[1].find("description");
  for (std::size_t n = 2; n < lines.size(); ++n) {
    EXPECT_EQ(lines[n].find_first_not_of(' ', description_at - 2), description_at) << lines[n];
    EXPECT_EQ(words_of(lines[n].substr(0, description_at)).size(), 11u) << lines[n];
  }

  // Record 1: points 2, 3, 4, 6, 7, 8, 10, 11, 12 valid, values 1 + point / 2.
  EXPECT_EQ(words_of(lines[2]), (std::vector<std::string>{"1", "0", "u", "850", "2", "7", "4.5", "1.683251", "2",
                                                          "1", "0", "zonal", "wind", "[m", "s-1]"}));
  EXPECT_EQ(words_of(lines[6]), (std::vector<std::string>{"5", "192", "t", "850", "5.5", "11", "8.25", "1.726026",
                                                          "0", "0", "0", "temperature", "[K]"}));
  EXPECT_EQ(words_of(lines[7]).at(2), "lsm");
  EXPECT_EQ(words_of(lines[7]).at(3), "sfc");
  EXPECT_EQ(words_of(lines[10]), (std::vector<std::string>{"9", "384", "orog", "sfc", "-", "-", "-", "-", "12",
                                                           "0", "0", "topography", "[m]", "(no", "valid",
                                                           "point)"}));

  // Chosen records alone, in the order given.
  const auto two = lines_of(inventory(file, Format::text, {5, 9}));
  ASSERT_EQ(two.size(), 4u);
  EXPECT_EQ(two[2], lines[6]);
  EXPECT_EQ(two[3], lines[10]);
}

TEST(Inventory, CsvReadsBack) {
  TempDir dir;
  const std::string path = dir.file("case.KVOwrk");
  CaseGrid grid;
  grid.pressure_hpa = {1000.0f, 1013.25f};
  write_case(path, grid, [](int n, int i, int j) {
    if (n == 3) return missing;
    return static_cast<float>(n) * 0.1f + static_cast<float>(i * j);
  });
  const auto g = read_grid_description(path);
  c2m::md::ModelFile file(path, g);
  std::string notes;
  const auto rows = lines_of(inventory(file, Format::csv, {}, &notes));
  EXPECT_EQ(notes, "");
  ASSERT_EQ(rows.size(), 1u + 22u);
  const auto split = [](const std::string& row) {
    std::vector<std::string> cells;
    std::string cell;
    for (const char c : row) {
      if (c == ',') {
        cells.push_back(cell);
        cell.clear();
      } else {
        cell += c;
      }
    }
    cells.push_back(cell);
    return cells;
  };
  const auto header = split(rows[0]);
  ASSERT_EQ(header.size(), 14u);
  EXPECT_EQ(header[0], "record");
  EXPECT_EQ(header[3], "level_hpa");
  std::vector<float> values;
  for (std::int64_t n = 1; n <= 22; ++n) {
    SCOPED_TRACE(n);
    const auto cells = split(rows[static_cast<std::size_t>(n)]);
    ASSERT_EQ(cells.size(), header.size());
    EXPECT_EQ(std::stoll(cells[0]), n);
    EXPECT_EQ(std::stoull(cells[1]), static_cast<unsigned long long>((n - 1) * 48));
    EXPECT_EQ(cells[2], c2m::md::label_record(g, n, path).info().short_name);
    file.read(n, values);
    const auto s = c2m::md::record_stats(values);
    EXPECT_EQ(std::stoull(cells[8]), s.valid);
    EXPECT_EQ(std::stoull(cells[9]), s.missing);
    if (s.valid == 0) {
      EXPECT_EQ(cells[4] + cells[5] + cells[6] + cells[7], "");
      continue;
    }
    // Minimum and maximum exactly, mean and spread to nine digits.
    EXPECT_EQ(std::stof(cells[4]), s.min);
    EXPECT_EQ(std::stof(cells[5]), s.max);
    EXPECT_NEAR(std::stod(cells[6]), s.mean, 1e-8 * std::abs(s.mean));
    EXPECT_NEAR(std::stod(cells[7]), s.stddev, 1e-8 * s.stddev);
  }
  EXPECT_EQ(split(rows[2])[3], "1013.25");  // level 2 of u
  EXPECT_EQ(split(rows[11])[3], "");        // the land-sea mask, at the surface
  EXPECT_EQ(split(rows[15])[12], "soil temperature layer 1");
}

TEST(Inventory, CutFileListsItsWholeRecordsThenFails) {
  TempDir dir;
  const std::string path = dir.file("case.KVOwrk");
  CaseGrid grid;
  write_case(path, grid, [](int n, int, int) { return static_cast<float>(n); });
  write_text(path, read_whole(path).substr(0, 48 * 3 + 10));
  const auto g = read_grid_description(path);
  c2m::md::ModelFile file(path, g);
  const std::string text = inventory(file, Format::text);
  const auto lines = lines_of(text);
  ASSERT_EQ(lines.size(), 2u + 3u + 1u);
  EXPECT_EQ(words_of(lines[4]).at(0), "3");
  EXPECT_EQ(lines[5].rfind("FAILURE " + path + ": 154 bytes", 0), 0u) << lines[5];
  EXPECT_NE(lines[5].find("holds 3 whole records"), std::string::npos);
}

TEST(Inventory, CountsTheUndefinedWindPointOfAConverterRun) {
  const std::string path = TOOLS_TEST_DATA "/full_7x5x4/case.bin.KVOwrk";
  const auto g = read_grid_description(path);
  c2m::md::ModelFile file(path, g);
  const auto lines = lines_of(inventory(file, Format::text));
  ASSERT_EQ(lines.size(), 3u + 32u);  // grid, a note on the last point, header, 32 records
  EXPECT_EQ(lines[1].rfind("note: the last point", 0), 0u);
  for (std::size_t n = 3; n < lines.size(); ++n) {
    const auto w = words_of(lines[n]);
    EXPECT_EQ(w[8], n == 4 ? "1" : "0") << lines[n];  // record 2 alone has a missing point
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
    EXPECT_EQ(c2m::md::grid_notes(parsed(g)).size(), c.notes) << c.what;
  }
}

TEST(Numbers, DegreesFromThousandths) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "0"}, {-500, "-0.5"}, {1, "0.001"}, {90010, "90.01"}, {-2147483647 - 1, "-2147483.648"}};
  for (const auto& [milli, text] : cases) EXPECT_EQ(c2m::md::degrees(milli), text);
}

}  // namespace
