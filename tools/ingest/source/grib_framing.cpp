#include "source/grib_framing.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "eccodes_context.hpp"
#include "kit/numbers.hpp"
#include "source/grib_keys.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest::grib {

void read_exact(const SourceFile& file, unsigned char* dst, std::int64_t n, std::int64_t offset) {
  std::int64_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(file.fd(), dst + done, static_cast<std::size_t>(n - done),
                              static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      throw ReadFailure(system_reason(file.path(), errno));
    }
    if (r == 0) throw ShortFile(file.path() + ": ends at byte " + decimal(offset + done) + " while reading");
    done += r;
  }
}

std::string message_where(const SourceFile& file, int number, std::int64_t at) {
  return file.path() + ": message " + decimal(number) + " (at byte " + decimal(at) + ")";
}

namespace {

// The next "GRIB" mark at or after OFF, or -1 when there is none.  BUF is
// the reader's buffer, kept from one search to the next.
std::int64_t next_mark(const SourceFile& file, std::int64_t off, std::vector<unsigned char>& buf) {
  const std::int64_t size = file.size();
  if (off + 4 <= size) {
    unsigned char first[4];
    read_exact(file, first, 4, off);
    if (std::memcmp(first, "GRIB", 4) == 0) return off;
  }
  while (off + 4 <= size) {
    const std::int64_t n = std::min<std::int64_t>(header_bytes, size - off);
    buf.resize(static_cast<std::size_t>(n));
    read_exact(file, buf.data(), n, off);
    const unsigned char mark[4] = {'G', 'R', 'I', 'B'};
    const auto it = std::search(buf.begin(), buf.end(), mark, mark + 4);
    if (it != buf.end()) return off + (it - buf.begin());
    off += n - 3;
  }
  return -1;
}

// The frame of message NUMBER, whose mark is at AT.
MessageSpan frame(const SourceFile& file, int number, std::int64_t at, std::vector<unsigned char>& buf) {
  const std::int64_t size = file.size();
  const std::string where = message_where(file, number, at);
  auto corrupt = [&](const std::string& why) { return IoFailure(where + ": " + why); };
  auto truncated = [&](std::int64_t claimed) {
    return ShortFile(where + ": the message claims " + decimal(claimed) + " bytes, but the file ends " +
                     decimal(size - at) + " bytes into it: it is truncated");
  };
  if (at + 16 > size)
    throw ShortFile(where + ": the file ends " + decimal(size - at) + " bytes into the message: it is truncated");
  unsigned char head[16];
  read_exact(file, head, 16, at);
  const int edition = head[7];
  if (edition != 1 && edition != 2)
    throw corrupt("GRIB edition " + decimal(edition) + ", not 1 or 2: the message is corrupt");
  std::int64_t total = 0;
  if (edition == 2) {
    const std::uint64_t stated = big_endian(head + 8, 8);
    if (stated > static_cast<std::uint64_t>(size - at)) {
      if (stated < (std::uint64_t{1} << 62)) throw truncated(static_cast<std::int64_t>(stated));
      throw corrupt("the message claims a length of " + decimal(stated) + " bytes");
    }
    total = static_cast<std::int64_t>(stated);
  } else {
    total = static_cast<std::int64_t>(big_endian(head + 4, 3));
    if (total & 0x800000) {
      // A large edition 1 message states its length in another way,
      // which ecCodes works out from its sections.
      const std::int64_t n = std::min(header_bytes_max, size - at);
      buf.resize(static_cast<std::size_t>(n));
      read_exact(file, buf.data(), n, at);
      Handle h(codes_handle_new_from_partial_message(context(), buf.data(), static_cast<std::size_t>(n)));
      if (!h.h) throw corrupt("its header sections cannot be read (" + eccodes_reason(GRIB_DECODING_ERROR) + ")");
      total = get_long(h.h, "totalLength").value_or(0);
    }
    if (total > size - at) throw truncated(total);
  }
  if (total < 16 + 4) throw corrupt("the message claims a length of " + decimal(total) + " bytes");
  unsigned char tail[4];
  read_exact(file, tail, 4, at + total - 4);
  if (std::memcmp(tail, "7777", 4) != 0)
    throw corrupt("the message of " + decimal(total) + " bytes does not end with 7777: it is corrupt or truncated");
  return {number, at, total, edition};
}

}  // namespace

std::vector<MessageSpan> frame_messages(const SourceFile& file) {
  std::vector<MessageSpan> spans;
  std::vector<unsigned char> buf;
  for (std::int64_t off = 0;;) {
    const std::int64_t at = next_mark(file, off, buf);
    if (at < 0) break;
    spans.push_back(frame(file, static_cast<int>(spans.size()) + 1, at, buf));
    off = at + spans.back().total;
  }
  if (spans.empty())
    throw IoFailure(file.path() + ": neither GRIB nor netCDF: no GRIB message in its " + decimal(file.size()) +
                    " bytes, and no netCDF mark (CDF, or HDF5's) at its start");
  return spans;
}

}  // namespace c2m::ingest::grib
