// Jobs shared by the threads that make the records of the model data file.
//
// Each job makes one or more whole records; every byte of a record depends
// on the input alone, so the records can be made in any order and by any
// thread and still give the same file.  What must not depend on the
// threads is which failure is reported: a single thread working through
// the records in order, reading all of a record before writing it, would
// report the first failure in that order.  The queue hands the jobs out in
// record order and keeps the failure that comes first in it (a record's
// reads before its write); once a failure is kept, a job that begins after
// it is no longer started, while every job that could still fail before it
// is.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

namespace c2m {

class JobQueue {
 public:
  // Job n (from 0) makes records from FIRST_RECORDS[n] on; the numbers
  // must not decrease.
  explicit JobQueue(std::vector<std::int64_t> first_records);

  // The next job not yet taken, or nothing when every job is taken or the
  // next one begins after the failure kept.
  std::optional<std::size_t> take();

  // What a record was at when it failed: being made (read and prepared),
  // or being written.
  enum class Step { make = 0, write = 1 };

  // FAILURE happened at STEP of record RECORD: kept if it comes before the
  // one kept so far.
  void fail(std::int64_t record, Step step, std::exception_ptr failure);

  // Throws the failure kept, if any.
  void rethrow_failure() const;

 private:
  // Failures in order: record x 2 + step.
  static std::int64_t order(std::int64_t record, Step step) {
    return 2 * record + static_cast<std::int64_t>(step);
  }

  std::vector<std::int64_t> first_records_;
  std::atomic<std::size_t> next_{0};
  std::atomic<std::int64_t> failed_{std::numeric_limits<std::int64_t>::max()};
  mutable std::mutex mutex_;
  std::exception_ptr failure_;
};

}  // namespace c2m
