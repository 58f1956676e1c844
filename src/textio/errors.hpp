// Failures that end a run.  Stages throw them; only input_driver turns them
// into an exit status, so every stage stays testable in-process.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace c2m {

// Exit statuses of input_driver.
inline constexpr int status_completed = 0;
inline constexpr int status_data_stop = 1;
inline constexpr int status_io_failure = 2;

// Base of every failure: the message is the whole diagnostic (it names the
// file and the cause); status() is the exit status it ends the run with.
class RunFailure : public std::runtime_error {
 public:
  RunFailure(const std::string& what, int status)
      : std::runtime_error(what), status_(status) {}
  int status() const noexcept { return status_; }

 private:
  int status_;
};

// A file operation that failed, a file that ended early, a text value that
// is not a number, unusable sizes: status 2.
class IoFailure : public RunFailure {
 public:
  explicit IoFailure(const std::string& what)
      : RunFailure(what, status_io_failure) {}
};

// A file cannot be opened (missing, unreadable, a directory where a file is
// expected, an empty or impossible name).
class CannotOpen : public IoFailure {
 public:
  using IoFailure::IoFailure;
};

// A file ends before everything expected of it was read.
class ShortFile : public IoFailure {
 public:
  using IoFailure::IoFailure;
};

// A read, write or close that the system refused.
class ReadFailure : public IoFailure {
 public:
  using IoFailure::IoFailure;
};
class WriteFailure : public IoFailure {
 public:
  using IoFailure::IoFailure;
};
class CloseFailure : public IoFailure {
 public:
  using IoFailure::IoFailure;
};

// A text value that is not what the reader expects (not an integer, not a
// real, out of range).
class NotANumber : public IoFailure {
 public:
  using IoFailure::IoFailure;
};

// Grid sizes that no run can work with, or work arrays that cannot be had.
class SizeFailure : public IoFailure {
 public:
  using IoFailure::IoFailure;
};

// The data of the case cannot be used (a missing level).  Its message line
// has already been written to the log; the diagnostic repeats it.
class DataStop : public RunFailure {
 public:
  explicit DataStop(const std::string& what)
      : RunFailure(what, status_data_stop) {}
};

// "FILE: REASON" with REASON the system's text for errno value err.
std::string system_reason(const std::string& file, int err);

}  // namespace c2m
