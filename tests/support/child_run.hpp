// A program run as a child whose output the test reads while it runs, so
// that the test can act at a given moment of the run: stop it, signal it,
// move its directories, then read the rest and its status.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

struct ChildLimits {
  rlim_t file_size = RLIM_INFINITY;  // bytes
  bool ignore_xfsz = false;
};

class ChildRun {
 public:
  // Runs ARGV (the program first) in DIR with STDIN_TEXT on a pipe as its
  // standard input.
  ChildRun(const std::vector<std::string>& argv, const std::string& dir,
           const std::string& stdin_text, const ChildLimits& limits = {});
  ~ChildRun();
  ChildRun(const ChildRun&) = delete;
  ChildRun& operator=(const ChildRun&) = delete;

  pid_t pid() const { return pid_; }

  // Reads standard output up to and including the line LINE; false when
  // it ends first.
  bool wait_for(const std::string& line);

  // Stops the child and waits until it is stopped; false when it ended
  // first.
  bool pause();
  void resume();
  void signal(int sig);

  // Reads the rest of both streams and returns the exit status (128 + the
  // signal for a run ended by one).
  int finish();

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1, err_fd_ = -1;
  bool reaped_ = false;
  std::string out_, err_;
  std::size_t scanned_ = 0;
};

}  // namespace testsupport
