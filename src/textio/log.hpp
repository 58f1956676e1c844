// The log of a run: free-form lines on standard output, one per write, each
// flushed at once so that the log stays in order with the diagnostics on
// standard error and is complete whatever way the run ends.
#pragma once

#include <cstdio>
#include <string>

#include "textio/free_line.hpp"

namespace c2m {

class Log {
 public:
  // Lines go to OUT (standard output in a run).
  explicit Log(std::FILE* out) : out_(out) {}
  // Lines are gathered in CAPTURE (for tests).
  explicit Log(std::string& capture) : capture_(&capture) {}

  void put(const FreeLine& line);
  void put(std::string_view text) { put(FreeLine(text)); }

 private:
  std::FILE* out_ = nullptr;
  std::string* capture_ = nullptr;
};

}  // namespace c2m
