// The program's entry: the two lines of standard input, and the exit
// status, log and diagnostics of runs that end in the run description
// stages.
#include "driver/input_driver.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/case_files.hpp"
#include "support/in_process.hpp"
#include "support/scratch.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"

namespace {

using namespace testsupport;

TEST(ReadStandardInput, TwoLinesInFieldsOf255) {
  const std::string long_line = std::string(254, 'a') + "bcd";
  struct Row {
    std::string text;
    std::string first, second;  // before padding
  };
  const Row rows[] = {
      {"case.bin\nignored\n", "case.bin", "ignored"},
      {"case.bin\n\n", "case.bin", ""},
      {"case.bin\r\nx\r\n", "case.bin", "x"},
      {"case.bin\nx", "case.bin", "x"},
      {"/data/my run.bin\nx\nthird line\n", "/data/my run.bin", "x"},
      {"\n\n", "", ""},
      {long_line + "\n" + long_line + "\n", long_line.substr(0, 255), long_line.substr(0, 255)},
  };
  for (const Row& r : rows) {
    TextStream in(r.text);
    const auto [first, second] = c2m::read_standard_input(in.get());
    EXPECT_EQ(first, c2m::fixed_field(r.first, 255)) << r.text;
    EXPECT_EQ(second, c2m::fixed_field(r.second, 255)) << r.text;
  }
}

TEST(ReadStandardInput, FewerThanTwoLines) {
  for (const char* text : {"", "case.bin\n", "case.bin"}) {
    TextStream in(text);
    EXPECT_THROW(c2m::read_standard_input(in.get()), c2m::ShortFile) << text;
  }
}

// input_driver run in a scratch working directory.
struct DriverRun {
  int status;
  std::string log, err;
};

DriverRun run_driver(const std::string& dir, const std::string& stdin_text) {
  WorkingDir cwd(dir);
  TextStream in(stdin_text), err;
  DriverRun r;
  c2m::Log log(r.log);
  r.status = c2m::input_driver(in.get(), log, err.get());
  r.err = err.contents();
  return r;
}

TEST(InputDriver, StandardInputShortOfTwoLines) {
  for (const char* text : {"", "case.bin\n"}) {
    ScratchDir dir;
    TestCase::valid(4, 3, 2).write(dir.path());
    const DriverRun r = run_driver(dir.path(), text);
    EXPECT_EQ(r.status, 2) << text;
    EXPECT_EQ(r.log, "") << text;
    EXPECT_TRUE(contains(r.err, "standard input")) << r.err;
  }
}

TEST(InputDriver, SizeFailureComesBeforeAnyLogLine) {
  ScratchDir dir;
  TestCase c = TestCase::valid(4, 3, 2);
  c.write(dir.path());
  c.im = 0;
  write_file(dir / "InputModelInf.txt", c.run_description());
  const DriverRun r = run_driver(dir.path(), "case.bin\nx\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.log, "");
  EXPECT_TRUE(contains(r.err, "InputModelInf.txt")) << r.err;
}

TEST(InputDriver, MissingDateFileEndsTheRunAfterTheEchoLines) {
  ScratchDir dir;
  TestCase::valid(4, 3, 1).write(dir.path());
  std::remove((dir / "adate.txt").c_str());
  const auto before = list_files(dir.path());
  const DriverRun r = run_driver(dir.path(), "case.bin\nx\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.log,
            " using hardwired stuff!            4           3           1\n"
            "   1000.00000    \n"
            " test\n");
  EXPECT_TRUE(contains(r.err, "adate.txt")) << r.err;
  EXPECT_EQ(list_files(dir.path()), before);
}

}  // namespace
