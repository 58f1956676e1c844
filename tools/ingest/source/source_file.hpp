// An input file, opened once for whichever reader takes it.
//
// It is opened by the kit's open_input (without waiting: a FIFO named as
// an input must be refused, not waited on, and a device never ends; taken
// only when it is a regular file), and its length and first bytes (the
// format marks) are read.  The SourceFile holds the one owner of the
// descriptor: the reader that takes the file takes it whole, and the
// descriptor is closed when the SourceFile goes, whether the reader was
// made or refused the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "kit/input_file.hpp"

namespace c2m::ingest {

class SourceFile {
 public:
  // Opens and checks PATH.  CannotOpen when it cannot be opened or is not
  // a regular file (a directory said so), ReadFailure when its first bytes
  // cannot be read; each naming PATH.
  explicit SourceFile(std::string path);

  const std::string& path() const { return path_; }
  int fd() const { return file_.fd.get(); }
  std::int64_t size() const { return file_.size; }
  // Its first bytes: as many of head_bytes as the file has.
  std::span<const unsigned char> head() const { return {head_, head_size_}; }

  static constexpr std::size_t head_bytes = 8;

 private:
  std::string path_;
  InputFile file_;  // the descriptor, closed with its owner
  unsigned char head_[head_bytes] = {};
  std::size_t head_size_ = 0;
};

}  // namespace c2m::ingest
