// input_driver: converts the case in the working directory.  Standard input
// holds two lines: the path of the input grid file, and a second path that
// must be present but has no effect.  Arguments are ignored.
#include <csignal>
#include <cstdio>

#include "driver/input_driver.hpp"

int main() {
  // A log whose reader has gone must not end the run half-way (see Log).
  std::signal(SIGPIPE, SIG_IGN);
  c2m::Log log(stdout);
  const int status = c2m::input_driver(stdin, log, stderr);
  std::fflush(stdout);
  std::fflush(stderr);
  return status;
}
