#include "conv2model/band_writer.hpp"

#include <chrono>
#include <thread>

namespace c2m {

BandWriter::BandWriter(OutputFile& out, JobQueue& queue, std::size_t band_values, int buffers)
    : out_(out), queue_(queue) {
  for (int n = 0; n < buffers; ++n) {
    bands_.push_back(std::unique_ptr<Band>(new Band(band_values)));
    free_.push_back(bands_.back().get());
  }
  free_count_ = free_.size();
}

BandWriter::Band* BandWriter::take() {
  std::unique_lock lock(mutex_);
  while (free_.empty()) {
    // Every buffer is handed over or being filled: write them out if
    // nobody else does, else wait for one.
    if (!writing_ && !queued_.empty()) {
      write_queued(lock);
      continue;
    }
    // The thread writing frees a band every few tens of microseconds.
    // Waiting for it asleep would cost a wake-up for every band, and the
    // system tends to wake a thread on the core of the one that wakes it,
    // so that both would take turns on one core; so the wait looks on for a
    // while before it sleeps.
    lock.unlock();
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
    while (free_count_.load(std::memory_order_relaxed) == 0 &&
           std::chrono::steady_clock::now() < until)
      std::this_thread::yield();
    lock.lock();
    if (free_.empty() && (writing_ || queued_.empty())) freed_.wait(lock);
  }
  Band* band = free_.back();
  free_.pop_back();
  free_count_ = free_.size();
  return band;
}

void BandWriter::release(Band* band) {
  {
    std::lock_guard lock(mutex_);
    free_.push_back(band);
    free_count_ = free_.size();
  }
  freed_.notify_one();
}

void BandWriter::put(Band* band, std::size_t count, std::int64_t record, std::int64_t offset) {
  band->count_ = count;
  band->record_ = record;
  band->offset_ = offset;
  std::unique_lock lock(mutex_);
  queued_.push_back(band);
  if (!writing_) write_queued(lock);
}

void BandWriter::write_queued(std::unique_lock<std::mutex>& lock) {
  writing_ = true;
  while (!queued_.empty()) {
    Band* band = queued_.front();
    queued_.pop_front();
    lock.unlock();
    try {
      write_record_part(out_, std::span<const float>(band->values_.data(), band->count_),
                        band->record_, band->offset_);
    } catch (...) {
      queue_.fail(band->record_, JobQueue::Step::write, std::current_exception());
    }
    lock.lock();
    free_.push_back(band);
    free_count_ = free_.size();
    freed_.notify_one();
  }
  writing_ = false;
}

}  // namespace c2m
