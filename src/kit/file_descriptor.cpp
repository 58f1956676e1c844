#include "kit/file_descriptor.hpp"

#include <unistd.h>

namespace c2m {

void FileDescriptor::reset(int fd) noexcept {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

}  // namespace c2m
