// Writes the records of the model data file on a second thread, so that
// the system's copying of one record into the file overlaps with reading
// and making the next.  Records still go out one by one, whole, in
// increasing order; a failed write is reported by the next call of the
// thread that submits, as if that thread had written.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "conv2model/record_io.hpp"

namespace c2m {

class BackgroundWriter {
 public:
  // OUT receives the records; each holds POINTS values.
  BackgroundWriter(OutputFile& out, std::size_t points);
  // Waits for the record in hand, if any, and stops the thread.
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // The buffer to fill with the next record.
  std::vector<float>& buffer() { return fill_; }

  // Hands the filled buffer over as record RECORD; the next buffer() is a
  // free one.  Throws the failure of an earlier write.
  void submit(std::int64_t record);

  // Waits until every record handed over is written; throws the failure of
  // a write.
  void finish();

 private:
  void run();
  void rethrow_failure();  // with the lock held

  OutputFile& out_;
  std::vector<float> fill_, pending_;
  std::int64_t pending_record_ = 0;
  bool has_pending_ = false, stopping_ = false;
  std::exception_ptr failure_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace c2m
