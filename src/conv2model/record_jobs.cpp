#include "conv2model/record_jobs.hpp"

#include <utility>

namespace c2m {

JobQueue::JobQueue(std::vector<std::int64_t> first_records)
    : first_records_(std::move(first_records)) {}

std::optional<std::size_t> JobQueue::take() {
  // A job is claimed even when it turns out to begin after a failure: the
  // jobs after it begin later still, so no thread will want them.
  const std::size_t n = next_.fetch_add(1, std::memory_order_relaxed);
  if (n >= first_records_.size() ||
      order(first_records_[n], Step::make) > failed_.load(std::memory_order_acquire))
    return std::nullopt;
  return n;
}

void JobQueue::fail(std::int64_t record, Step step, std::exception_ptr failure) {
  const std::int64_t at = order(record, step);
  std::lock_guard lock(mutex_);
  if (at >= failed_.load(std::memory_order_relaxed)) return;  // the first of equals stays
  failure_ = std::move(failure);
  failed_.store(at, std::memory_order_release);
}

void JobQueue::rethrow_failure() const {
  std::lock_guard lock(mutex_);
  if (failure_) std::rethrow_exception(failure_);
}

}  // namespace c2m
