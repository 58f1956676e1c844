// The rows of a synthetic plane shared among the workers: every row made
// once, whatever the size of the plane, and all of them by the calling
// thread when the system gives no other (it used to end the program).
#include "planes.hpp"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <vector>

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
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
  long pages = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  ASSERT_GT(pages, 0);
  // New threads ask for stacks larger than the address space left.
  pthread_attr_t old_attr, attr;
  ASSERT_EQ(pthread_getattr_default_np(&old_attr), 0);
  ASSERT_EQ(pthread_getattr_default_np(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, std::size_t{256} << 20), 0);
  ASSERT_EQ(pthread_setattr_default_np(&attr), 0);
  rlimit lim = old;
  lim.rlim_cur = static_cast<rlim_t>(pages) * 4096 + (1 << 20);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &lim), 0);
  const std::vector<int> made = rows_made(1801, 3600u * 1801u);
  setrlimit(RLIMIT_AS, &old);
  pthread_setattr_default_np(&old_attr);
  pthread_attr_destroy(&attr);
  pthread_attr_destroy(&old_attr);
  EXPECT_EQ(made, std::vector<int>(1801, 1));
}
#endif

}  // namespace
