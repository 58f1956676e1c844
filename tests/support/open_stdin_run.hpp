// Running a program whose standard input is a pipe held open and never
// written: a program that reads it waits, and the run is ended after a
// time limit, so a test sees the wait instead of hanging.
#pragma once

#include <string>
#include <vector>

#include "support/scratch.hpp"

namespace testsupport {

struct TimedRun {
  RunResult result;
  bool timed_out = false;  // killed after the limit
};

struct RunLimits {
  double seconds = 10.0;
  long file_size_bytes = -1;  // RLIMIT_FSIZE for the program, -1: as it is
};

// Runs PROGRAM with ARGS in DIR; standard input is a pipe that stays open
// and empty until the program ends or is killed at the time limit.
TimedRun run_with_open_stdin(const std::string& program, const std::string& dir,
                             const std::vector<std::string>& args, const RunLimits& limits = {});

}  // namespace testsupport
