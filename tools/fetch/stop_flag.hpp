// SIGINT, SIGTERM and SIGHUP while fetch downloads: instead of ending the
// process at once (as the cleanup of the outputs does everywhere else),
// the signal is noted and the transfers stop at their next turn, so that
// everything the run made (its temporary files, the directories it made)
// is removed on the way out and the cache keeps only whole, checked
// messages.  The run then ends with 128 + the signal's number.
#pragma once

#include <csignal>
#include <string>

namespace c2m::fetch {

class StopFlag {
 public:
  // Notes the stop signals from now on (unless one was ignored when the
  // program started).
  StopFlag();
  // The signals do again what they did before; one noted meanwhile and
  // not yet acted on is raised again, so that it is not lost.
  ~StopFlag();
  StopFlag(const StopFlag&) = delete;
  StopFlag& operator=(const StopFlag&) = delete;

  // The signal noted, 0 for none.
  static int raised();
  // RunFailure with status 128 + the signal, saying what was left, when
  // one was noted.
  static void check(const std::string& left);
  // Acted on: not raised again.
  static void clear();

 private:
  struct sigaction before_[3] = {};
  bool handled_[3] = {};
};

// "SIGTERM (signal 15)".
std::string signal_words(int sig);

}  // namespace c2m::fetch
