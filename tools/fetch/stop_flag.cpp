#include "stop_flag.hpp"

#include <atomic>

#include "kit/numbers.hpp"
#include "textio/errors.hpp"

namespace c2m::fetch {

namespace {

constexpr int stop_signals[3] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> noted{0};

extern "C" void note_stop(int sig) { noted.store(sig); }

}  // namespace

StopFlag::StopFlag() {
  for (int n = 0; n < 3; ++n) {
    if (::sigaction(stop_signals[n], nullptr, &before_[n]) != 0 || before_[n].sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sa.sa_handler = note_stop;
    sigfillset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    handled_[n] = ::sigaction(stop_signals[n], &sa, nullptr) == 0;
  }
}

StopFlag::~StopFlag() {
  for (int n = 0; n < 3; ++n)
    if (handled_[n]) ::sigaction(stop_signals[n], &before_[n], nullptr);
  if (const int sig = noted.exchange(0)) ::raise(sig);
}

int StopFlag::raised() { return noted.load(); }

void StopFlag::clear() { noted.store(0); }

void StopFlag::check(const std::string& left) {
  const int sig = noted.load();
  if (sig == 0) return;
  clear();
  throw RunFailure("stopped by " + signal_words(sig) + ": " + left, 128 + sig);
}

std::string signal_words(int sig) {
  const char* name = sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : sig == SIGHUP ? "SIGHUP" : "a signal";
  return std::string(name) + " (signal " + decimal(sig) + ")";
}

}  // namespace c2m::fetch
