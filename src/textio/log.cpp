#include "textio/log.hpp"

namespace c2m {

void Log::put(const FreeLine& line) {
  if (capture_ != nullptr) {
    *capture_ += line.str();
    *capture_ += '\n';
    return;
  }
  // A log that cannot be written (a closed pipe, a full disk) has no one to
  // tell; the run goes on and its exit status still speaks.
  std::fwrite(line.str().data(), 1, line.str().size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

}  // namespace c2m
