// Workers that run one function at once, the way every part of the
// project that uses more than one core does: the calling thread is worker
// 0, and each other worker has a thread started for it.
//
// The function shares out whatever there is to do among the workers that
// run it (a queue of jobs, a shared count), and decides itself when to
// stop taking work: after a failure of its own jobs (a queue that keeps the
// failure that comes first in its order), or as soon as any worker has
// failed (failed()).  A thread that the system will not start (no thread
// or no memory left for one) is done without, and so are the workers after
// it: the work is then done by fewer, never left undone.
//
// What a worker throws is kept, the first to be thrown, and thrown again
// once every worker has returned, so that no failure ends the program and
// none is lost.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>

namespace c2m {

class Workers {
 public:
  // Runs WORK(worker) on up to COUNT workers, numbered from 0, and returns
  // when every one has returned: how many ran (at least 1).  Then throws
  // the first failure of any of them, if there was one.
  int run(int count, const std::function<void(int worker)>& work);

  // A worker has thrown (during the run: the others may stop early).
  bool failed() const noexcept { return failed_.load(std::memory_order_acquire); }

 private:
  void run_one(const std::function<void(int)>& work, int worker) noexcept;

  std::atomic<bool> failed_{false};
  std::mutex mutex_;
  std::exception_ptr failure_;
};

// Workers().run(threads, body): BODY on the calling thread and on up to
// THREADS - 1 threads started for it.
int run_on_threads(int threads, const std::function<void(int thread)>& body);

}  // namespace c2m
