// An input file, opened once for whichever reader takes it.
//
// It is opened without waiting (a FIFO named as an input must be refused,
// not waited on, and a device never ends), checked to be a regular file,
// and its length and first bytes (the format marks) are read.  The
// InputFile is the one owner of the descriptor: the reader that takes the
// file takes it whole, and the descriptor is closed when the InputFile
// goes, whether the reader was made or refused the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace c2m::ingest {

class InputFile {
 public:
  // Opens and checks PATH.  CannotOpen when it cannot be opened or is not
  // a regular file (a directory said so), ReadFailure when its first bytes
  // cannot be read; each naming PATH.
  explicit InputFile(std::string path);

  const std::string& path() const { return path_; }
  int fd() const { return fd_.fd; }
  std::int64_t size() const { return size_; }
  // Its first bytes: as many of head_bytes as the file has.
  std::span<const unsigned char> head() const { return {head_, head_size_}; }

  static constexpr std::size_t head_bytes = 8;

 private:
  // The descriptor, closed with its owner (also when the constructor
  // throws after opening it).
  struct Descriptor {
    int fd = -1;
    explicit Descriptor(int d) : fd(d) {}
    ~Descriptor();
    Descriptor(Descriptor&& o) noexcept : fd(o.fd) { o.fd = -1; }
    Descriptor& operator=(Descriptor&& o) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
  };

  std::string path_;
  Descriptor fd_;
  std::int64_t size_ = 0;
  unsigned char head_[head_bytes] = {};
  std::size_t head_size_ = 0;
};

}  // namespace c2m::ingest
