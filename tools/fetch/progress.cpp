#include "progress.hpp"

#include "kit/numbers.hpp"

namespace c2m::fetch {

namespace {

void put(std::FILE* f, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), f);
  std::fflush(f);
}

}  // namespace

std::string byte_words(std::int64_t bytes) {
  if (bytes < 1000) return decimal(bytes) + " B";
  const char* units[] = {"kB", "MB", "GB", "TB"};
  double v = static_cast<double>(bytes) / 1000.0;
  int u = 0;
  while (v >= 1000.0 && u < 3) {
    v /= 1000.0;
    ++u;
  }
  return fixed_decimals(v, v < 10 ? 2 : 1) + " " + units[u];
}

void Progress::begin(const std::string& cycle, std::int64_t bytes, std::size_t messages) {
  cycle_ = cycle;
  total_ = bytes;
  done_ = 0;
  messages_ = messages;
  messages_done_ = 0;
  start_ = Clock::now();
  drawn_ = {};
  draw(true);
}

void Progress::bytes(std::int64_t n) {
  done_ += n;
  draw(false);
}

void Progress::draw(bool now) {
  if (!terminal_ || quiet_) return;
  const Clock::time_point t = Clock::now();
  if (!now && t - drawn_ < std::chrono::milliseconds(200)) return;
  drawn_ = t;
  const double seconds = std::chrono::duration<double>(t - start_).count();
  std::string line = "\r\033[Kconv2model fetch: " + cycle_ + ": " + byte_words(done_) + " of " +
                     byte_words(std::max(total_, done_)) + ", " + decimal(messages_done_) + " of " +
                     decimal(messages_) + " fields";
  if (seconds > 0.5 && done_ > 0) {
    const double rate = static_cast<double>(done_) / seconds;
    line += ", " + byte_words(static_cast<std::int64_t>(rate)) + "/s";
    if (total_ > done_) line += ", " + decimal(static_cast<long long>(static_cast<double>(total_ - done_) / rate + 0.5)) + " s left";
  }
  put(err_, line);
  shown_ = true;
}

void Progress::note(const std::string& text) {
  if (quiet_) return;
  if (terminal_ && shown_) put(err_, "\r\033[K");
  shown_ = false;
  put(err_, "conv2model fetch: note: " + text + "\n");
}

void Progress::end(const std::string& line) {
  if (quiet_) return;
  if (terminal_ && shown_) put(err_, "\r\033[K");
  shown_ = false;
  put(err_, "conv2model fetch: " + line + "\n");
}

}  // namespace c2m::fetch
