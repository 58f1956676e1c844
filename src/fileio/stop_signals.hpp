// What happens when a run is stopped by SIGINT, SIGTERM, SIGHUP or
// SIGXFSZ: the temporary files of its outputs are removed, and the
// directories it made for them that are still empty, a line on
// standard error says what became of the outputs, and the process ends
// with 128 + the signal number.  The handler only calls unlinkat, write and
// _exit, on what was prepared before: the texts, and for every temporary
// file and directory made a descriptor of the directory it is in and its
// name there (so that it is found even when the directory has been moved
// meanwhile).
//
// Moving a set of outputs into place is a few renames.  A signal in their
// midst would leave some names new and some old, so the stop signals wait
// until the set is wholly in place (or wholly back where it was): this
// thread blocks them, and a signal that another thread takes meanwhile is
// held and acted on by the thread that completes the set.
#pragma once

#include <csignal>
#include <string_view>

namespace c2m::stop_signals {

// Registers the temporary file NAME in the directory DIR_FD for removal
// on a stop signal.  Returns its slot, or -1 when more temporary files are
// open at once than there are slots (it is then not removed on a signal).
int register_temporary(int dir_fd, std::string_view name);

// The temporary file of SLOT now holds the earlier file that its output
// replaced: still removed on a signal, but no longer an output left
// unfinished; and back again, when the replacement is undone.
void mark_displaced(int slot);
void mark_unfinished(int slot);

void release(int slot);

// Registers the directory NAME, which this run is about to make in the
// directory DIR_FD, for removal on a stop signal: the handler removes the
// registered directories that are still empty, the latest made first, so
// that a stopped run leaves none it made and did not fill.  Returns its
// slot, or -1 when more are registered than there are slots.  Register and
// make it inside a CreationHold.
int register_directory(int dir_fd, std::string_view name);
void release_directory(int slot);

// Held while a temporary file is registered and made: the stop signals
// wait on this thread, and a run being ended by one on another thread
// removes the file once it is made.  No file is begun once the run is
// ending.
class CreationHold {
 public:
  CreationHold();
  ~CreationHold();
  CreationHold(const CreationHold&) = delete;
  CreationHold& operator=(const CreationHold&) = delete;

 private:
  sigset_t before_;
};

// Held while a set of outputs is moved into place.
class CommitHold {
 public:
  CommitHold();
  // Acts on a signal that came meanwhile, then lets the stop signals
  // through again.
  ~CommitHold();
  CommitHold(const CommitHold&) = delete;
  CommitHold& operator=(const CommitHold&) = delete;

  // The set is wholly in place: what a signal says from now on.
  void completed();

 private:
  sigset_t before_;
};

// The diagnostics the handler writes for signal SIG: before any set of
// outputs was in place, once every set was, and in between.
void set_texts(int sig, std::string_view none_in_place, std::string_view all_in_place,
               std::string_view some_in_place);

// Makes SIG end the run as above, unless it was ignored when the program
// started.
void handle(int sig);

// The stop signals, as SIGNAL_NAMES[n] names handled_signals[n].
inline constexpr int handled_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
inline constexpr const char* signal_names[] = {"SIGINT", "SIGTERM", "SIGHUP", "SIGXFSZ"};

}  // namespace c2m::stop_signals
