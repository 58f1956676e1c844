// The rows of a synthetic plane shared among the workers: every row made
// once, whatever the size of the plane, and all of them by the calling
// thread when the system gives no other (it used to end the program).
#include "planes.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "support/threads_refused.hpp"

namespace {

std::vector<int> rows_made(int rows, std::size_t points) {
  std::vector<std::atomic<int>> made(static_cast<std::size_t>(rows));
  synth::for_rows(rows, points, [&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) ++made[static_cast<std::size_t>(r)];
  });
  std::vector<int> out;
  for (const auto& m : made) out.push_back(m.load());
  return out;
}

TEST(SynthRows, EveryRowOnceWhateverThePlane) {
  const struct {
    int rows;
    std::size_t points;
  } planes[] = {{1, 10}, {7, 1u << 17}, {721, 1440u * 721u}, {1801, 3600u * 1801u}};
  for (const auto& p : planes) EXPECT_EQ(rows_made(p.rows, p.points), std::vector<int>(static_cast<std::size_t>(p.rows), 1)) << p.rows;
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(SynthRows, NoSecondThreadToBeHad) {
  std::vector<int> made;
  {
    const testsupport::ThreadsRefused refused;
    made = rows_made(1801, 3600u * 1801u);
  }
  EXPECT_EQ(made, std::vector<int>(1801, 1));
}
#endif

}  // namespace
