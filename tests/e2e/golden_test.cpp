// Whole runs of input_driver on stored cases: standard output, exit status
// and every file the run creates, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/scratch.hpp"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, RunMatchesStoredResult) {
  const std::string dir = std::string(GOLDEN_DIR) + "/" + GetParam();
  ScratchDir work;
  fs::copy(dir + "/case", work.path(), fs::copy_options::recursive);
  const auto before = list_files(work.path());

  const RunResult r = run_program(INPUT_DRIVER, work.path(), read_file(work / "stdin.txt"));

  EXPECT_EQ(r.out, read_file(dir + "/expected/stdout"));
  EXPECT_EQ(std::to_string(r.status) + "\n", read_file(dir + "/expected/status"));
  if (r.status == 2) {
    EXPECT_FALSE(r.err.empty());
  }

  // Exactly the expected files appear, each byte for byte.
  std::vector<std::string> expected;
  if (fs::exists(dir + "/expected/files")) expected = list_files(dir + "/expected/files");
  std::vector<std::string> created;
  for (const auto& f : list_files(work.path()))
    if (std::find(before.begin(), before.end(), f) == before.end()) created.push_back(f);
  EXPECT_EQ(created, expected);
  for (const auto& f : expected)
    EXPECT_EQ(read_file(work / f), read_file(dir + "/expected/files/" + f)) << f;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden,
                         ::testing::Values("free_format", "full_7x5x4", "path_with_blank",
                                           "rh_patch", "short_input", "soil_fill",
                                           "special_values", "stop_temperature"));

}  // namespace
