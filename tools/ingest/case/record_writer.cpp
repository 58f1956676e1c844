#include "case/record_writer.hpp"

#include <algorithm>
#include <bit>
#include <chrono>
#include <span>

#include "layout/byte_order.hpp"
#include "kit/numbers.hpp"

namespace c2m::ingest {

// The planes kept for the next records, and how many are out (made and
// not yet back) against the most that may be.
struct RecordWriter::Spare {
  std::mutex mutex;
  std::condition_variable back;
  std::vector<std::unique_ptr<std::vector<float>>> planes;
  std::size_t out = 0, most = 0;
};

RecordWriter::RecordWriter(OutputFile& out, std::int64_t points, std::size_t planes)
    : out_(out), points_(static_cast<std::size_t>(points)), spare_(std::make_shared<Spare>()) {
  spare_->most = std::max<std::size_t>(2, planes);
}

RecordWriter::~RecordWriter() = default;

RecordWriter::Plane RecordWriter::plane() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(spare_->mutex);
      if (spare_->out < spare_->most) return make(lock);
    }
    // As many planes are out as may be: those waiting to be written are
    // written now if nobody is writing (and that gives them back), else
    // one comes back when the writer or a worker is done with it.
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (failed_) {
        std::unique_lock<std::mutex> spare(spare_->mutex);
        return make(spare);
      }
      if (!writing_ && !waiting_.empty()) {
        write_all(lock);
        continue;
      }
    }
    std::unique_lock<std::mutex> lock(spare_->mutex);
    spare_->back.wait_for(lock, std::chrono::milliseconds(20), [&] { return spare_->out < spare_->most; });
  }
}

RecordWriter::Plane RecordWriter::make(std::unique_lock<std::mutex>& lock) {
  std::unique_ptr<std::vector<float>> p;
  if (!spare_->planes.empty()) {
    p = std::move(spare_->planes.back());
    spare_->planes.pop_back();
  }
  ++spare_->out;
  lock.unlock();
  try {
    if (!p) p = std::make_unique<std::vector<float>>(points_);
  } catch (...) {
    lock.lock();
    --spare_->out;
    throw;
  }
  std::weak_ptr<Spare> spare = spare_;
  return Plane(p.release(), [spare](std::vector<float>* v) {
    std::unique_ptr<std::vector<float>> owned(v);
    if (const auto s = spare.lock()) {
      std::lock_guard<std::mutex> held(s->mutex);
      s->planes.push_back(std::move(owned));
      --s->out;
      s->back.notify_all();
    }
  });
}

void RecordWriter::put(std::int64_t record, Plane plane, std::string what) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (failed_) return;
  waiting_[record] = Waiting{std::move(plane), std::move(what)};
  // Someone is writing: wait while another record waits already.
  taken_.wait(lock, [&] { return failed_ || !writing_ || waiting_.size() <= 1; });
  if (failed_ || writing_) return;
  write_all(lock);
}

void RecordWriter::write_all(std::unique_lock<std::mutex>& lock) {
  writing_ = true;
  try {
    while (!waiting_.empty()) {
      auto first = waiting_.begin();
      const std::int64_t record = first->first;
      Waiting w = std::move(first->second);
      waiting_.erase(first);
      taken_.notify_all();
      lock.unlock();
      write(record, w);
      w.plane.reset();
      lock.lock();
    }
  } catch (...) {
    if (!lock.owns_lock()) lock.lock();
    failed_ = true;
    writing_ = false;
    waiting_.clear();
    taken_.notify_all();
    throw;
  }
  writing_ = false;
  taken_.notify_all();
}

void RecordWriter::write(std::int64_t record, const Waiting& w) {
  std::span<const float> values(*w.plane);
  std::vector<float> swapped;
  if constexpr (std::endian::native == std::endian::big) {
    swapped.assign(values.begin(), values.end());
    little_endian_to_host(swapped);  // the swap is its own inverse
    values = swapped;
  }
  const auto offset = static_cast<std::int64_t>(record - 1) * static_cast<std::int64_t>(points_) * 4;
  out_.write_at(std::as_bytes(values), offset, "record " + decimal(record) + " (" + w.what + ")");
}

}  // namespace c2m::ingest
