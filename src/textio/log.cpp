#include "textio/log.hpp"

namespace c2m {

void Log::put(const FreeLine& line) {
  if (capture_ != nullptr) {
    *capture_ += line.str();
    *capture_ += '\n';
    return;
  }
  if (out_ == nullptr) return;
  // A log that cannot be written (a closed pipe, a full disk) has no one to
  // tell; the run goes on and its exit status still speaks.
  std::fwrite(line.str().data(), 1, line.str().size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void Log::warn(std::string_view text) {
  if (warn_capture_ != nullptr) {
    warn_capture_->append(text);
    *warn_capture_ += '\n';
  }
  if (warn_out_ == nullptr) return;
  const std::string line = program_ + ": warning: " + std::string(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), warn_out_);
  std::fflush(warn_out_);
}

}  // namespace c2m
