// The frame of every message of a GRIB file, before any header is parsed:
// where each starts (its "GRIB" mark, wherever it lies), its length (as
// its edition states it) against the file, and its end ("7777").  A file
// whose messages do not add up is refused here, naming the message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "source/source_file.hpp"

namespace c2m::ingest::grib {

// Header sections are read in one piece of at most header_bytes; a
// message whose headers need more is read whole (up to header_bytes_max).
// GRIB 2 is read first in a shorter piece, then to its section 5.
inline constexpr std::int64_t header_bytes = 64 * 1024;
inline constexpr std::int64_t header_bytes_max = 64 * 1024 * 1024;
inline constexpr std::int64_t grib2_header_bytes = 4 * 1024;

// A message found in the file: its number (from 1), where it starts, how
// long it is and its edition.
struct MessageSpan {
  int number = 0;
  std::int64_t at = 0, total = 0;
  int edition = 0;
};

// The messages of FILE in order.  ShortFile for a message that the file
// ends inside, IoFailure for one that is corrupt or a file without any.
std::vector<MessageSpan> frame_messages(const SourceFile& file);

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
