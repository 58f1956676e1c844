// The bands of the model data file on their way into it.
//
// The file takes one write at a time (the system serialises writes to one
// file), and on a large case the writing is the longest part of the work.
// So no thread waits for the file: a thread hands its finished band over
// and goes on making the next one, and whichever thread finds nobody
// writing writes every band handed over, its own and the other's, until
// none is left.  A thread waits only when every buffer is full and someone
// else is writing them out.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "conv2model/record_io.hpp"
#include "conv2model/record_jobs.hpp"

namespace c2m {

class BandWriter {
 public:
  // A buffer of a band: VALUES() to fill, then handed over with put().
  class Band {
   public:
    std::span<float> values() { return values_; }

   private:
    friend class BandWriter;
    explicit Band(std::size_t n) : values_(n) {}
    std::vector<float> values_;
    std::size_t count_ = 0;
    std::int64_t record_ = 0, offset_ = 0;
  };

  // OUT receives the bands; a refused write is kept in QUEUE as a failure
  // of its record.  BUFFERS bands of BAND_VALUES values each are made here.
  BandWriter(OutputFile& out, JobQueue& queue, std::size_t band_values, int buffers);
  BandWriter(const BandWriter&) = delete;
  BandWriter& operator=(const BandWriter&) = delete;

  // A free buffer; give it back with put() or release().
  Band* take();
  // The first COUNT values of BAND become part of record RECORD at byte
  // OFFSET of the file.
  void put(Band* band, std::size_t count, std::int64_t record, std::int64_t offset);
  // BAND goes back unwritten (its job failed).
  void release(Band* band);

 private:
  // Writes what is queued until nothing is; LOCK is held on entry and on
  // return, and nobody else is writing.
  void write_queued(std::unique_lock<std::mutex>& lock);

  OutputFile& out_;
  JobQueue& queue_;
  std::vector<std::unique_ptr<Band>> bands_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<Band*> free_;
  std::size_t wake_at_ = 1;  // free buffers at which a waiting thread is woken
  std::deque<Band*> queued_;
  bool writing_ = false;
};

}  // namespace c2m
