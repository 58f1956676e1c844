#include "fileio/stop_signals.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <iterator>
#include <span>

namespace c2m::stop_signals {

namespace {

// The temporary files still there, for the handler.  Names are copied into
// static slots so that the handler reads no memory that the program may be
// freeing at that moment.  A slot is free, being filled (the handler
// passes it over), or holds an unfinished output or a displaced earlier
// file.
constexpr int slot_count = 256;
enum SlotState : int { slot_free = 0, slot_filling = 1, slot_unfinished = 2, slot_displaced = 3 };
struct Slot {
  std::atomic<int> state{slot_free};
  int dir_fd = -1;
  long order = 0;  // which was registered after which
  char name[NAME_MAX + 1] = {};
};
Slot slots[slot_count];

// The directories the run made, in the same way, the deepest (the latest
// made) to go first.
constexpr int directory_count = 64;
Slot directories[directory_count];
std::atomic<long> registered{0};

// Claims a free slot of TABLE for NAME in the directory DIR_FD; -1 when
// every one is taken.
int claim(std::span<Slot> table, int dir_fd, std::string_view name) {
  if (name.size() > NAME_MAX) return -1;
  for (std::size_t s = 0; s < table.size(); ++s) {
    int expected = slot_free;
    if (!table[s].state.compare_exchange_strong(expected, slot_filling)) continue;
    table[s].dir_fd = dir_fd;
    table[s].order = registered.fetch_add(1);
    std::memcpy(table[s].name, name.data(), name.size());
    table[s].name[name.size()] = '\0';
    table[s].state.store(slot_unfinished, std::memory_order_release);
    return static_cast<int>(s);
  }
  return -1;
}

// The three diagnostics of each handled signal, prepared so that the
// handler only calls write.
struct Text {
  char bytes[512] = {};
  std::size_t length = 0;
  void set(std::string_view s) {
    length = std::min(s.size(), sizeof bytes);
    std::memcpy(bytes, s.data(), length);
  }
};
struct SignalTexts {
  Text none_in_place, all_in_place, some_in_place;
};
SignalTexts texts[std::size(handled_signals)];

SignalTexts* texts_of(int sig) {
  for (std::size_t n = 0; n < std::size(handled_signals); ++n)
    if (handled_signals[n] == sig) return &texts[n];
  return nullptr;
}

// The commits under way, two per commit, and in the lowest bit whether a
// thread is ending the run; and the signal held for the end of a commit.
// A thread ends the run only when it has set that bit while no commit was
// under way, and no commit starts once it is set.
constexpr int ending = 1;
std::atomic<int> gate{0};
std::atomic<int> held_signal{0};
std::atomic<long> sets_in_place{0};
// Threads between registering a temporary file and having made it.
std::atomic<int> creating{0};

// Another thread is ending the run: wait for the end.
[[noreturn]] void wait_for_the_end() {
  for (;;) ::pause();
}

// A thread that makes a temporary file meanwhile finishes first, so that
// the file is there to be removed (a new one is begun only before the run
// is ending); one that takes more than a second, waiting on a file system
// that does not answer, is not waited for.
void wait_for_temporaries_being_made() {
  const timespec millisecond{0, 1000000};
  for (int n = 0; n < 1000 && creating.load() > 0; ++n) ::nanosleep(&millisecond, nullptr);
}

// Removes the registered directories that are empty, the latest made
// first: a directory made inside another goes before it.
void remove_directories() {
  bool tried[directory_count] = {};
  for (;;) {
    int latest = -1;
    for (int d = 0; d < directory_count; ++d) {
      if (tried[d] || directories[d].state.load(std::memory_order_acquire) != slot_unfinished) continue;
      if (latest < 0 || directories[d].order > directories[latest].order) latest = d;
    }
    if (latest < 0) return;
    tried[latest] = true;
    // Fails, as it should, for a directory that holds anything.
    ::unlinkat(directories[latest].dir_fd, directories[latest].name, AT_REMOVEDIR);
  }
}

[[noreturn]] void end_run(int sig) {
  wait_for_temporaries_being_made();
  bool unfinished = false;
  for (auto& slot : slots) {
    const int state = slot.state.load(std::memory_order_acquire);
    if (state != slot_unfinished && state != slot_displaced) continue;
    ::unlinkat(slot.dir_fd, slot.name, 0);
    unfinished = unfinished || state == slot_unfinished;
  }
  remove_directories();
  if (const SignalTexts* t = texts_of(sig)) {
    const Text& text = sets_in_place.load() == 0 ? t->none_in_place
                       : unfinished              ? t->some_in_place
                                                 : t->all_in_place;
    if (text.length > 0) {
      const ssize_t n = ::write(STDERR_FILENO, text.bytes, text.length);
      (void)n;
    }
  }
  ::_exit(128 + sig);
}

// Ends the run for the held signal unless a commit is under way, whose
// thread then does it when its set is whole.
void end_run_unless_committing() {
  int state = gate.load();
  while (held_signal.load() != 0) {
    if (state & ending) wait_for_the_end();
    if (state != 0) return;
    if (gate.compare_exchange_weak(state, ending)) end_run(held_signal.load());
  }
}

extern "C" void on_stop_signal(int sig) {
  const int saved = errno;
  held_signal.store(sig);
  end_run_unless_committing();
  errno = saved;
}

sigset_t stop_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : handled_signals) sigaddset(&set, sig);
  return set;
}

}  // namespace

int register_temporary(int dir_fd, std::string_view name) { return claim(slots, dir_fd, name); }

int register_directory(int dir_fd, std::string_view name) { return claim(directories, dir_fd, name); }

void release_directory(int slot) {
  if (slot >= 0) directories[slot].state.store(slot_free, std::memory_order_release);
}

void mark_displaced(int slot) {
  if (slot >= 0) slots[slot].state.store(slot_displaced, std::memory_order_release);
}

void mark_unfinished(int slot) {
  if (slot >= 0) slots[slot].state.store(slot_unfinished, std::memory_order_release);
}

void release(int slot) {
  if (slot >= 0) slots[slot].state.store(slot_free, std::memory_order_release);
}

CreationHold::CreationHold() {
  const sigset_t stops = stop_set();
  ::pthread_sigmask(SIG_BLOCK, &stops, &before_);
  creating.fetch_add(1);
  if (gate.load() & ending) {
    creating.fetch_sub(1);
    wait_for_the_end();
  }
}

CreationHold::~CreationHold() {
  creating.fetch_sub(1);
  ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

CommitHold::CommitHold() {
  const sigset_t stops = stop_set();
  ::pthread_sigmask(SIG_BLOCK, &stops, &before_);
  int state = gate.load();
  do {
    if (state & ending) wait_for_the_end();
  } while (!gate.compare_exchange_weak(state, state + 2));
}

CommitHold::~CommitHold() {
  gate.fetch_sub(2);
  end_run_unless_committing();
  // A signal sent to this thread alone, or to a process whose other
  // threads all block it, arrives here.
  ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

void CommitHold::completed() { sets_in_place.fetch_add(1); }

void set_texts(int sig, std::string_view none_in_place, std::string_view all_in_place,
               std::string_view some_in_place) {
  SignalTexts* t = texts_of(sig);
  if (t == nullptr) return;
  t->none_in_place.set(none_in_place);
  t->all_in_place.set(all_in_place);
  t->some_in_place.set(some_in_place);
}

void handle(int sig) {
  struct sigaction old {};
  if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigfillset(&sa.sa_mask);
  // A signal held for a commit returns to what the thread was doing.
  sa.sa_flags = SA_RESTART;
  ::sigaction(sig, &sa, nullptr);
}

}  // namespace c2m::stop_signals
