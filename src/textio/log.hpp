// The log of a run: free-form lines on standard output, one per write, each
// flushed at once so that the log stays in order with the diagnostics on
// standard error and is complete whatever way the run ends.
//
// Warnings (a case that is almost certainly wrong but converts) are not log
// lines: they go to standard error as "PROGRAM: warning: TEXT", so that the
// log stays what the model's run system expects.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "textio/free_line.hpp"

namespace c2m {

class Log {
 public:
  // Lines go nowhere (a quiet run).
  Log() = default;
  // Lines go to OUT (standard output in a run).
  explicit Log(std::FILE* out) : out_(out) {}
  // Lines are gathered in CAPTURE (for tests).
  explicit Log(std::string& capture) : capture_(&capture) {}

  void put(const FreeLine& line);
  void put(std::string_view text) { put(FreeLine(text)); }

  // Warnings go to ERR with PROGRAM before them; without this they are
  // dropped.
  void warn_to(std::FILE* err, std::string program) {
    warn_out_ = err;
    program_ = std::move(program);
  }
  // Warnings are gathered in CAPTURE, one per line (for tests).
  void warn_to(std::string& capture) { warn_capture_ = &capture; }
  void warn(std::string_view text);

 private:
  std::FILE* out_ = nullptr;
  std::string* capture_ = nullptr;
  std::FILE* warn_out_ = nullptr;
  std::string* warn_capture_ = nullptr;
  std::string program_;
};

}  // namespace c2m
