// The data descriptor (conv2model export --ctl): its grid, levels, time
// and the variables under the short names, one to one with the records.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "descriptor.hpp"
#include "layout/grid_description.hpp"
#include "model_data_cases.hpp"

namespace {

using namespace md_test;

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

TEST(Descriptor, TimeFromTheDateOfTheCase) {
  // The date, the descriptor's time and the units of the netCDF time axis.
  struct Case {
    const char* text;
    const char* time;  // empty: not a date
    const char* cf_units;
  };
  const Case cases[] = {
      {"2024010100", "00z01jan2024", "hours since 2024-01-01 00:00:00"},
      {"2026120818", "18z08dec2026", "hours since 2026-12-08 18:00:00"},
      {"20240229", "00z29feb2024", "hours since 2024-02-29 00:00:00"},
      {"2000022912", "12z29feb2000", "hours since 2000-02-29 12:00:00"},
      {"00010101", "00z01jan0001", "hours since 0001-01-01 00:00:00"},
      {"1900022900", "", ""},  // 1900 is no leap year
      {"2023022900", "", ""}, {"2024013100", "00z31jan2024", "hours since 2024-01-31 00:00:00"},
      {"2024013200", "", ""}, {"2024130100", "", ""}, {"2024000100", "", ""}, {"2024010124", "", ""},
      {"202401010", "", ""}, {"2024-01-01", "", ""}, {"+024010100", "", ""}, {"", "", ""},
      {"00000101", "", ""}, {"2024043100", "", ""}, {"2024063000", "00z30jun2024", "hours since 2024-06-30 00:00:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c2m::exporter::descriptor_time(c.text).value_or(""), c.time) << c.text;
    const auto date = c2m::exporter::parse_case_date(c.text);
    EXPECT_EQ(date ? c2m::exporter::cf_time_units(*date) : "", c.cf_units) << c.text;
  }
}

TEST(Descriptor, MapsTheRecordsOfAGridWithNegativeLongitudes) {
  // The converter's output for one level at 1013.25 hPa, 4 x 2 points from
  // 45.5 S, 180 W.
  const std::string path = TOOLS_TEST_DATA "/free_format/case.bin.KVOwrk";
  const std::string text = c2m::exporter::descriptor_text(c2m::layout::read_grid_description(path),
                                                         "case.bin.KVOwrk", "^case.bin.KVOwrk", {});
  std::vector<std::string> lines;
  for (const auto& l : lines_of(text))
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
  EXPECT_EQ(words_of(lines[9]), (std::vector<std::string>{"u", "1", "99", "zonal", "wind", "[m", "s-1]"}));
  EXPECT_EQ(words_of(lines[13]), (std::vector<std::string>{"t", "1", "99", "temperature", "[K]"}));
  EXPECT_EQ(words_of(lines[14]), (std::vector<std::string>{"lsm", "0", "99", "land-sea", "mask", "[1]"}));
  EXPECT_EQ(words_of(lines[17]), (std::vector<std::string>{"orog", "0", "99", "topography", "[m]"}));
  EXPECT_EQ(lines.back(), "endvars");

  // Levels bottom first; the records a reader of the descriptor expects,
  // a variable of 0 levels taking one, are those of the file.
  CaseGrid grid;
  grid.pressure_hpa = {1000.0f, 850.0f, 500.0f};
  lines = lines_of(c2m::exporter::descriptor_text(parsed(grid), "run.KVOwrk", "^run.KVOwrk",
                                                  std::string("06z01jan2024")));
  EXPECT_EQ(lines.front(), "dset ^run.KVOwrk");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "zdef 3 levels 1000 850 500"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "tdef 1 linear 06z01jan2024 1dy"), lines.end());
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find("placeholder") != std::string::npos; }), 0);
  const auto vars = std::find(lines.begin(), lines.end(), "vars 17");
  ASSERT_NE(vars, lines.end());
  long records = 0;
  for (auto l = vars + 1; l != lines.end() && *l != "endvars"; ++l)
    records += std::max(1L, std::stol(words_of(*l)[1]));
  EXPECT_EQ(records, 5 * 3 + 12);
}

}  // namespace
