#include "kit/workers.hpp"

#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace c2m {

void Workers::run_one(const std::function<void(int)>& work, int worker) noexcept {
  try {
    work(worker);
  } catch (...) {
    std::lock_guard lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    failed_.store(true, std::memory_order_release);
  }
}

int Workers::run(int count, const std::function<void(int worker)>& work) {
  failed_.store(false, std::memory_order_relaxed);
  std::vector<std::thread> started;
  for (int w = 1; w < count; ++w) {
    try {
      started.emplace_back([this, &work, w] { run_one(work, w); });
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones running do the work
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  // The calling thread's share is done after the others are started.
  run_one(work, 0);
  for (std::thread& t : started) t.join();
  std::exception_ptr failure;
  {
    std::lock_guard lock(mutex_);
    failure = std::exchange(failure_, nullptr);
  }
  if (failure) std::rethrow_exception(failure);
  return static_cast<int>(started.size()) + 1;
}

int run_on_threads(int threads, const std::function<void(int thread)>& body) {
  return Workers().run(threads, body);
}

}  // namespace c2m
