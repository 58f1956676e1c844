// The largest rectangle of defined points, the area a stopped case is told
// to cut: on a regional grid, and on a global one where it may run across
// the seam of the longitudes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "case/case_check.hpp"

namespace {

using c2m::ingest::largest_defined;

// Rows of '#' (defined) and '.' (undefined), the first row first.
std::vector<unsigned char> grid_of(const std::vector<std::string>& rows) {
  std::vector<unsigned char> g;
  for (const std::string& r : rows)
    for (const char c : r) g.push_back(c == '#' ? 1 : 0);
  return g;
}

TEST(LargestDefined, FindsTheBiggestRectangle) {
  struct Row {
    const char* what;
    std::vector<std::string> grid;
    bool global;
    bool found;
    std::int64_t r0, r1, c0, c1;
  } rows[] = {
      {"all defined", {"####", "####"}, false, true, 0, 1, 0, 3},
      {"none defined", {"....", "...."}, false, false, 0, 0, 0, 0},
      {"a domain in the middle", {"......", ".####.", ".####.", "..##.."}, false, true, 1, 2, 1, 4},
      {"a tall strip beats a wide row", {"#.....", "#.####", "#.....", "#.....", "#....."}, false, true, 0, 4, 0, 0},
      {"across the seam of a global grid", {"##..##", "##..##", "......"}, true, true, 0, 1, 4, 1},
      {"the seam ignored on a regional grid", {"##..##", "##..##", "......"}, false, true, 0, 1, 0, 1},
      {"a global grid defined everywhere", {"###", "###"}, true, true, 0, 1, 0, 2},
  };
  for (const Row& row : rows) {
    const auto cols = static_cast<std::int64_t>(row.grid.front().size());
    const auto got = largest_defined(grid_of(row.grid), static_cast<std::int64_t>(row.grid.size()), cols, row.global);
    ASSERT_EQ(got.has_value(), row.found) << row.what;
    if (!got) continue;
    EXPECT_EQ(got->r0, row.r0) << row.what;
    EXPECT_EQ(got->r1, row.r1) << row.what;
    EXPECT_EQ(got->c0, row.c0) << row.what;
    EXPECT_EQ(got->c1, row.c1) << row.what;
  }
}

}  // namespace
