// The owner of an open file descriptor: it closes the descriptor once, when
// it goes (or is given another), and can be moved but not copied, so that
// no path out of a function, a failure included, leaves a descriptor open
// or closes one twice.
#pragma once

namespace c2m {

class FileDescriptor {
 public:
  FileDescriptor() = default;
  // Takes FD over (-1: none).
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  // Closes it.  Descriptors owned this way are read from: a close that
  // fails loses nothing (a written file checks its own close).
  ~FileDescriptor() { reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const noexcept { return fd_; }
  bool is_open() const noexcept { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the one owned, if any, and takes FD.
  void reset(int fd = -1) noexcept;

 private:
  int fd_ = -1;
};

}  // namespace c2m
