// The workers of a run on several cores: every worker runs once, the first
// failure of any of them comes back once all are back, and the others can
// see it to stop early, and a run the system gives no second thread.
#include "kit/workers.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/threads_refused.hpp"

namespace {

TEST(Workers, EachWorkerRunsOnceAndTheCountIsReturned) {
  for (const int count : {0, 1, 2, 5}) {
    std::vector<std::atomic<int>> ran(5);
    const int n = c2m::run_on_threads(count, [&](int w) { ++ran[static_cast<std::size_t>(w)]; });
    EXPECT_EQ(n, std::max(count, 1));
    for (int w = 0; w < 5; ++w) EXPECT_EQ(ran[static_cast<std::size_t>(w)], w < n ? 1 : 0) << count;
  }
}

// Whichever worker throws first, its failure is the one that comes back,
// after every worker has returned; the program is not ended.
TEST(Workers, FirstFailureOfAnyWorkerAfterAllReturn) {
  for (const int thrower : {0, 1, 2}) {
    c2m::Workers workers;
    std::string what;
    try {
      workers.run(3, [&](int w) {
        if (w == thrower) throw std::runtime_error("worker " + std::to_string(w));
        // The others wait until the failure shows, then a while more.
        while (!workers.failed()) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        throw std::logic_error("later");
      });
    } catch (const std::runtime_error& e) {
      what = e.what();
    } catch (const std::logic_error&) {
      what = "the later failure";
    }
    EXPECT_EQ(what, "worker " + std::to_string(thrower));
    // A second run starts clean.
    EXPECT_EQ(workers.run(2, [](int) {}), 2);
    EXPECT_FALSE(workers.failed());
  }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// No thread to be had: the calling thread is the one worker, and says so.
TEST(Workers, NoThreadToBeHadLeavesOneWorker) {
  std::atomic<int> ran{0};
  int n = 0;
  {
    const testsupport::ThreadsRefused refused;
    n = c2m::run_on_threads(4, [&](int) { ++ran; });
  }
  EXPECT_EQ(n, 1);
  EXPECT_EQ(ran, 1);
}
#endif

}  // namespace
