#include "conv2model/band_writer.hpp"

#include <algorithm>

namespace c2m {

BandWriter::BandWriter(OutputFile& out, JobQueue& queue, std::size_t band_values, int buffers)
    : out_(out), queue_(queue) {
  for (int n = 0; n < buffers; ++n) {
    bands_.push_back(std::unique_ptr<Band>(new Band(band_values)));
    free_.push_back(bands_.back().get());
  }
  wake_at_ = std::max<std::size_t>(1, free_.size() / 2);
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
    freed_.wait(lock);
  }
  Band* band = free_.back();
  free_.pop_back();
  return band;
}

void BandWriter::release(Band* band) {
  {
    std::lock_guard lock(mutex_);
    free_.push_back(band);
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
    // A thread waiting for a buffer is woken when half of them are free,
    // not at each one: it then has several to fill before it waits again,
    // and the thread writing makes fewer calls to wake it.
    if (free_.size() == wake_at_) freed_.notify_all();
  }
  writing_ = false;
  freed_.notify_all();
}

}  // namespace c2m
