// The progress of the downloads on standard error.  On a terminal one line
// kept in place: the bytes and the messages done of the total, the rate
// and the time left (with --cycles, which cycle of how many).  In a log,
// one line per file downloaded.  Nothing with --quiet.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace c2m::fetch {

// "12.3 MB", "512 B".
std::string byte_words(std::int64_t bytes);

class Progress {
 public:
  using Clock = std::chrono::steady_clock;
  Progress(std::FILE* err, bool terminal, bool quiet) : err_(err), terminal_(terminal), quiet_(quiet) {}

  // A file of MESSAGES messages and about BYTES bytes to download, for the
  // cycle in words (with the count of cycles, when there are several).
  void begin(const std::string& cycle, std::int64_t bytes, std::size_t messages);
  void bytes(std::int64_t n);
  void message_done() { ++messages_done_; }
  // A note on the way (a root that did not answer, a cache that cannot be
  // written), above the line kept in place.
  void note(const std::string& text);
  // The file is done: LINE is what the log says of it.
  void end(const std::string& line);

 private:
  void draw(bool now);
  std::FILE* err_;
  bool terminal_, quiet_;
  std::string cycle_;
  std::int64_t total_ = 0, done_ = 0;
  std::size_t messages_ = 0, messages_done_ = 0;
  Clock::time_point start_{}, drawn_{};
  bool shown_ = false;
};

}  // namespace c2m::fetch
