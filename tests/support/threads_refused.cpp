#include "support/threads_refused.hpp"

#include <gtest/gtest.h>

#include <cstdio>

namespace testsupport {

ThreadsRefused::ThreadsRefused() {
  EXPECT_EQ(getrlimit(RLIMIT_AS, &old_), 0);
  long pages = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  EXPECT_GT(pages, 0);
  // Threads of earlier tests leave their stacks for reuse: new threads ask
  // for larger ones, which must be mapped afresh.
  EXPECT_EQ(pthread_getattr_default_np(&old_attr_), 0);
  EXPECT_EQ(pthread_getattr_default_np(&attr_), 0);
  EXPECT_EQ(pthread_attr_setstacksize(&attr_, std::size_t{256} << 20), 0);
  EXPECT_EQ(pthread_setattr_default_np(&attr_), 0);
  rlimit lim = old_;
  lim.rlim_cur = static_cast<rlim_t>(pages) * 4096 + (1 << 20);  // 1 MiB more than in use
  EXPECT_EQ(setrlimit(RLIMIT_AS, &lim), 0);
}

ThreadsRefused::~ThreadsRefused() {
  setrlimit(RLIMIT_AS, &old_);
  pthread_setattr_default_np(&old_attr_);
  pthread_attr_destroy(&attr_);
  pthread_attr_destroy(&old_attr_);
}

}  // namespace testsupport
