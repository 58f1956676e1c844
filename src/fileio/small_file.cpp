#include "small_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kit/input_file.hpp"
#include "kit/numbers.hpp"
#include "textio/errors.hpp"

namespace c2m {

std::string read_small_file(const std::string& path, std::size_t limit, const std::string& what) {
  // Opened without waiting, so that a FIFO is refused rather than waited on.
  const InputFile in = open_input(path);
  if (in.refusal == InputFile::Refusal::open)
    throw CannotOpen(path + ": cannot open " + what + ": " + std::strerror(in.error));
  if (!in.taken())
    throw CannotOpen(path + ": cannot read " + what + ": " +
                     (in.is_directory() ? "a directory, not a file" : "not a regular file"));
  if (static_cast<unsigned long long>(in.size) > limit)
    throw SizeFailure(path + ": " + decimal(static_cast<unsigned long long>(in.size)) +
                      " bytes, more than the limit of " + decimal(limit) + " bytes for " + what);
  // Read to the end, not to the size stated: the file may change while
  // it is read, and must not grow past the limit meanwhile.
  std::string text;
  char buf[65536];
  for (;;) {
    const ssize_t got = ::read(in.fd.get(), buf, sizeof buf);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw ReadFailure(path + ": cannot read " + what + ": " + std::strerror(errno));
    }
    if (got == 0) break;
    text.append(buf, static_cast<std::size_t>(got));
    if (text.size() > limit)
      throw SizeFailure(path + ": more than the limit of " + decimal(limit) + " bytes for " + what);
  }
  return text;  // the descriptor, read only, closes with IN: a failing close loses nothing
}

}  // namespace c2m
