// The frame of every message of a GRIB file, before any header is parsed:
// where each starts (its "GRIB" mark, wherever it lies), its length (as
// its edition states it) against the file, and its end ("7777").  A file
// whose messages do not add up is refused here, naming the message.
//
// The file is read once for the frames, one read a message: the head of
// the first, then for each message a read that starts four bytes before
// its end (its end mark) and goes on into the head of the next.  Each
// message keeps the head read (which holds its header sections, as a rule)
// for its header to be parsed from, and a digest of it, so that the
// message read again for its values can be told to be the one indexed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "source/source_file.hpp"

namespace c2m::ingest::grib {

// Header sections are read in one piece of at most header_bytes; a
// message whose headers need more is read whole (up to header_bytes_max).
// The head of a message read with its frame is head_bytes long (GRIB 2
// states its grid and product in a few hundred bytes).
inline constexpr std::int64_t header_bytes = 64 * 1024;
inline constexpr std::int64_t header_bytes_max = 64 * 1024 * 1024;
inline constexpr std::int64_t head_bytes = 4 * 1024;

// A message found in the file: its number (from 1), where it starts, how
// long it is and its edition; its first bytes (up to head_bytes, kept
// until its header is parsed) and their digest.
struct MessageSpan {
  int number = 0;
  std::int64_t at = 0, total = 0;
  int edition = 0;
  std::vector<unsigned char> head;
  std::uint64_t digest = 0;
};

// The digest of a message's head: its first min(length, head_bytes) bytes.
std::uint64_t head_digest(const unsigned char* message, std::int64_t length);

// The messages of a file one after the other.
class Framer {
 public:
  explicit Framer(const SourceFile& file) : file_(file) {}
  // The next message, or nothing when no "GRIB" mark follows.  ShortFile
  // for a message that the file ends inside, IoFailure for a corrupt one.
  std::optional<MessageSpan> next();
  // Messages framed so far.
  int count() const { return count_; }
  // Where the next message would be looked for, and where the mark of
  // the latest was found (that of a message that could not be framed).
  std::int64_t offset() const { return off_; }
  std::int64_t mark() const { return mark_; }

 private:
  // The next "GRIB" mark at or after off_, or -1.
  std::int64_t next_mark();
  // BUF_ made to hold [AT, AT + N) (N cut at the file's end).
  void hold(std::int64_t at, std::int64_t n);
  MessageSpan frame(std::int64_t at);

  const SourceFile& file_;
  std::int64_t off_ = 0, mark_ = -1;
  int count_ = 0;
  std::vector<unsigned char> buf_;  // bytes of the file from buf_at_
  std::int64_t buf_at_ = -1;
};

// The messages of FILE in order.  ShortFile for a message that the file
// ends inside, IoFailure for one that is corrupt or a file without any.
std::vector<MessageSpan> frame_messages(const SourceFile& file);

// The refusal of a file in which no message was found.
[[noreturn]] void no_message(const SourceFile& file);

// N bytes of FILE at OFFSET into DST, whole (ReadFailure, or ShortFile
// when the file ends first).
void read_exact(const SourceFile& file, unsigned char* dst, std::int64_t n, std::int64_t offset);

// "PATH: message N (at byte A)", the start of a diagnostic.
std::string message_where(const SourceFile& file, int number, std::int64_t at);

// N bytes (at most 8) at P as a big-endian unsigned number.
inline std::uint64_t big_endian(const unsigned char* p, int n) {
  std::uint64_t v = 0;
  for (int k = 0; k < n; ++k) v = (v << 8) | p[k];
  return v;
}

}  // namespace c2m::ingest::grib
