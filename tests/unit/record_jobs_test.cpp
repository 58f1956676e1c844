// The queue of record jobs and the threads that work through it: which
// jobs are still started after a failure, which failure is kept, and a run
// that the system gives no second thread.
#include "conv2model/record_jobs.hpp"
#include "kit/workers.hpp"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Step = c2m::JobQueue::Step;

std::exception_ptr failure(const std::string& what) {
  return std::make_exception_ptr(std::runtime_error(what));
}

std::string kept(const c2m::JobQueue& q) {
  try {
    q.rethrow_failure();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

// Jobs beginning at records 1, 2, 3, 5 (a job of two records, 5 and 8), 6
// and 7, as the model data file's wind, humidity-with-temperature and
// surface jobs do.  After the failures of each row, the jobs still taken
// are those that begin at or before the failure kept; of failures at one
// record, its reads come before its write, and the first of equals stays.
TEST(JobQueue, TakesOnlyJobsThatCouldFailFirstAndKeepsTheFirstFailure) {
  const struct {
    std::vector<std::pair<std::int64_t, Step>> failures;  // in the order they happen
    std::size_t taken;                                   // jobs taken, in all
    std::string kept;                                    // which failure, from 0
  } rows[] = {
      {{}, 6, ""},
      {{{8, Step::write}}, 6, "0"},   // the second record of the job at 5: all go on
      {{{5, Step::make}}, 4, "0"},    // the jobs at 6 and 7 are not started
      {{{6, Step::write}, {2, Step::make}}, 2, "1"},
      {{{3, Step::write}, {3, Step::make}}, 3, "1"},  // a record's reads first
      {{{3, Step::make}, {3, Step::write}}, 3, "0"},
      {{{3, Step::make}, {3, Step::make}}, 3, "0"},   // the first of equals
      {{{1, Step::write}, {7, Step::make}}, 1, "0"},
  };
  for (const auto& row : rows) {
    c2m::JobQueue q({1, 2, 3, 5, 6, 7});
    int n = 0;
    for (const auto& [record, step] : row.failures) q.fail(record, step, failure(std::to_string(n++)));
    std::size_t taken = 0;
    while (q.take()) ++taken;
    EXPECT_EQ(taken, row.taken) << "row keeping " << row.kept;
    EXPECT_EQ(kept(q), row.kept);
    EXPECT_FALSE(q.take());  // and none after the end
  }
}

// Every job is taken exactly once however many threads take them.
TEST(RunOnThreads, EveryJobOnceOnEveryCount) {
  for (const int threads : {1, 2, 3}) {
    c2m::JobQueue q(std::vector<std::int64_t>(1000, 1));
    std::vector<std::atomic<int>> done(1000);
    std::atomic<int> bodies{0};
    c2m::run_on_threads(threads, [&](int) {
      ++bodies;
      while (const auto n = q.take()) ++done[*n];
    });
    EXPECT_EQ(bodies, threads);
    for (const auto& d : done) ASSERT_EQ(d, 1);
  }
}

// A failure of the calling thread's share comes back to the caller once
// the other threads are back.
TEST(RunOnThreads, FailureOfTheCallingThreadAfterTheOthersReturn) {
  std::atomic<bool> other_done{false};
  EXPECT_THROW(c2m::run_on_threads(2,
                                   [&](int t) {
                                     if (t == 0) throw std::runtime_error("calling thread");
                                     other_done = true;
                                   }),
               std::runtime_error);
  EXPECT_TRUE(other_done);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// When the system starts no other thread (here: no address space left for
// its stack), the calling thread does all the work instead of the run
// failing.
TEST(RunOnThreads, NoSecondThreadToBeHad) {
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
  long pages = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  ASSERT_GT(pages, 0);
  // Threads of earlier tests leave their stacks for reuse: new threads ask
  // for larger ones, which must be mapped afresh.
  pthread_attr_t old_attr, attr;
  ASSERT_EQ(pthread_getattr_default_np(&old_attr), 0);
  ASSERT_EQ(pthread_getattr_default_np(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, std::size_t{256} << 20), 0);
  ASSERT_EQ(pthread_setattr_default_np(&attr), 0);
  rlimit lim = old;
  lim.rlim_cur = static_cast<rlim_t>(pages) * 4096 + (1 << 20);  // 1 MiB more than in use
  ASSERT_EQ(setrlimit(RLIMIT_AS, &lim), 0);
  std::atomic<int> calling{0}, others{0};
  bool threw = false;
  try {
    c2m::run_on_threads(2, [&](int t) { ++(t == 0 ? calling : others); });
  } catch (...) {
    threw = true;
  }
  setrlimit(RLIMIT_AS, &old);
  pthread_setattr_default_np(&old_attr);
  pthread_attr_destroy(&attr);
  pthread_attr_destroy(&old_attr);
  EXPECT_FALSE(threw);
  EXPECT_EQ(calling, 1);
  EXPECT_EQ(others, 0);
}
#endif

}  // namespace
