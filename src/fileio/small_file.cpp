#include "small_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kit/numbers.hpp"
#include "textio/errors.hpp"

namespace c2m {

std::string read_small_file(const std::string& path, std::size_t limit, const std::string& what) {
  // Opened without waiting, so that a FIFO is refused rather than waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw CannotOpen(path + ": cannot open " + what + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const bool dir = S_ISDIR(st.st_mode);
    ::close(fd);
    throw CannotOpen(path + ": cannot read " + what + ": " +
                     (dir ? "a directory, not a file" : "not a regular file"));
  }
  if (static_cast<unsigned long long>(st.st_size) > limit) {
    ::close(fd);
    throw SizeFailure(path + ": " + decimal(static_cast<unsigned long long>(st.st_size)) +
                      " bytes, more than the limit of " + decimal(limit) + " bytes for " + what);
  }
  // Read to the end, not to the size stated: the file may change while
  // it is read, and must not grow past the limit meanwhile.
  std::string text;
  char buf[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buf, sizeof buf);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw ReadFailure(path + ": cannot read " + what + ": " + std::strerror(err));
    }
    if (got == 0) break;
    text.append(buf, static_cast<std::size_t>(got));
    if (text.size() > limit) {
      ::close(fd);
      throw SizeFailure(path + ": more than the limit of " + decimal(limit) + " bytes for " + what);
    }
  }
  ::close(fd);  // read only: a failing close loses nothing
  return text;
}

}  // namespace c2m
