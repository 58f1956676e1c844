// Cases that convert but are almost certainly not what was meant: the run
// goes on exactly as before (status, log, outputs) and says so on standard
// error, one "input_driver: warning:" line naming the file and the values.
#include <gtest/gtest.h>

#include <functional>

#include "support/case_files.hpp"
#include "support/scratch.hpp"

using namespace testsupport;

namespace {

// A 4 x 3 grid whose corners follow from its increments.
TestCase consistent() {
  TestCase c = TestCase::valid(4, 3, 2);
  c.grid = {0, -45000, 0, 45000, 270000, 90000, 45000};
  return c;
}

struct Row {
  const char* name;
  std::function<void(TestCase&, std::string& grid_bytes)> spoil;
  std::vector<std::string> warnings;  // pieces, in order; none: no warning at all
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Warnings : public ::testing::TestWithParam<Row> {};

TEST_P(Warnings, SaidOnStandardErrorWithoutChangingTheRun) {
  const Row& row = GetParam();
  TestCase c = consistent();
  std::string extra;
  row.spoil(c, extra);

  ScratchDir plain, odd;
  c.write(plain.path());
  c.write(odd.path());
  write_file(odd / "case.bin", c.input_grid() + extra);
  const RunResult want = run_program(INPUT_DRIVER, plain.path(), "case.bin\nnone\n");
  const RunResult got = run_program(INPUT_DRIVER, odd.path(), "case.bin\nnone\n");

  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(got.out, want.out);
  for (const char* f : {"case.bin.KVOwrk", "case.bin.KVOwrk.gdsinfo"})
    EXPECT_EQ(read_file(odd / f), read_file(plain / f)) << f;
  if (row.warnings.empty()) {
    EXPECT_EQ(got.err, "");
    return;
  }
  EXPECT_EQ(got.err.rfind("input_driver: warning: ", 0), 0u) << got.err;
  std::size_t at = 0;
  for (const auto& piece : row.warnings) {
    const auto found = got.err.find(piece, at);
    EXPECT_NE(found, std::string::npos) << "lacks \"" << piece << "\": " << got.err;
    if (found != std::string::npos) at = found + piece.size();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Warnings,
    ::testing::Values(
        Row{"none_for_a_consistent_case", [](TestCase&, std::string&) {}, {}},
        Row{"none_for_a_last_longitude_a_turn_away",
            [](TestCase& c, std::string&) { c.grid[4] = -90000; }, {}},
        Row{"none_for_corners_of_another_grid_type",
            [](TestCase& c, std::string&) { c.grid = {3, 1, 2, 3, 4, 5, 6}; }, {}},
        Row{"input_grid_file_longer_than_its_records",
            [](TestCase&, std::string& extra) { extra = std::string(100, '\0'); },
            {"case.bin: the file is 100 bytes longer than its 24 records", "(1152 bytes)",
             "im, jm or lm are probably wrong", "im = 4, jm = 3, lm = 2"}},
        Row{"last_latitude_not_from_the_increment",
            [](TestCase& c, std::string&) { c.grid[3] = 90000; },
            {"InputModelInf.txt: the latitude of the last grid point, 90000,",
             "-45000 + 2 x 45000 = 45000"}},
        Row{"last_longitude_not_from_the_increment",
            [](TestCase& c, std::string&) { c.grid[4] = 357500; },
            {"InputModelInf.txt: the longitude of the last grid point, 357500,",
             "0 + 3 x 90000 = 270000"}},
        Row{"latitude_beyond_90_degrees",
            [](TestCase& c, std::string&) { c.grid = {0, -95000, 0, -5000, 270000, 90000, 45000}; },
            {"InputModelInf.txt: the latitude of the first grid point, -95000", "beyond 90 degrees"}},
        Row{"pressure_not_positive", [](TestCase& c, std::string&) { c.pr = {1000.0f, 0.0f}; },
            {"InputModelInf.txt: the pressure of level 2, 0 hPa, is not positive"}},
        Row{"pressures_rising_upward", [](TestCase& c, std::string&) { c.pr = {850.0f, 1000.0f}; },
            {"InputModelInf.txt: the pressures do not fall strictly from level 1",
             "level 1 has 850 hPa, level 2 1000 hPa"}}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
