#include "conv2model/background_writer.hpp"

#include <utility>

namespace c2m {

BackgroundWriter::BackgroundWriter(OutputFile& out, std::size_t points)
    : out_(out), fill_(points), pending_(points), thread_([this] { run(); }) {}

BackgroundWriter::~BackgroundWriter() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !has_pending_; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BackgroundWriter::rethrow_failure() {
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BackgroundWriter::submit(std::int64_t record) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !has_pending_; });
  rethrow_failure();
  std::swap(fill_, pending_);
  pending_record_ = record;
  has_pending_ = true;
  lock.unlock();
  changed_.notify_all();
}

void BackgroundWriter::finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !has_pending_; });
  rethrow_failure();
}

void BackgroundWriter::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return has_pending_ || stopping_; });
    if (!has_pending_) return;
    // After a failed write nothing more is written.  The buffer in hand is
    // the writer's alone until it is released.
    const bool failed_before = failure_ != nullptr;
    lock.unlock();
    std::exception_ptr failure;
    try {
      if (!failed_before) write_record(out_, pending_, pending_record_);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure) failure_ = failure;
    has_pending_ = false;
    changed_.notify_all();
  }
}

}  // namespace c2m
