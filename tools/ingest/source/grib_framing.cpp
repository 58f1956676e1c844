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

std::uint64_t head_digest(const unsigned char* message, std::int64_t length) {
  // FNV-1a, 64 bits: any change of a header shows.
  std::uint64_t h = 14695981039346656037ull;
  const std::int64_t n = std::min(length, head_bytes);
  for (std::int64_t k = 0; k < n; ++k) h = (h ^ message[k]) * 1099511628211ull;
  return h;
}

void Framer::hold(std::int64_t at, std::int64_t n) {
  n = std::min(n, file_.size() - at);
  if (buf_at_ >= 0 && at >= buf_at_ && at + n <= buf_at_ + static_cast<std::int64_t>(buf_.size())) return;
  buf_at_ = -1;
  buf_.resize(static_cast<std::size_t>(n));
  read_exact(file_, buf_.data(), n, at);
  buf_at_ = at;
}

std::int64_t Framer::next_mark() {
  const std::int64_t size = file_.size();
  const unsigned char mark[4] = {'G', 'R', 'I', 'B'};
  for (std::int64_t off = off_; off + 4 <= size;) {
    // The head of the message that follows the last is held already, as
    // a rule (read with its end mark); else the file is searched a piece
    // at a time.
    const auto held_end = [&] { return buf_at_ + static_cast<std::int64_t>(buf_.size()); };
    if (buf_at_ < 0 || off < buf_at_ || off + 4 > held_end()) hold(off, header_bytes);
    const unsigned char* from = buf_.data() + (off - buf_at_);
    const unsigned char* to = buf_.data() + buf_.size();
    const unsigned char* it = std::search(from, to, mark, mark + 4);
    if (it != to) return off + (it - from);
    if (held_end() >= size) break;
    off = held_end() - 3;
  }
  return -1;
}

MessageSpan Framer::frame(std::int64_t at) {
  const std::int64_t size = file_.size();
  const int number = count_ + 1;
  const std::string where = message_where(file_, number, at);
  auto corrupt = [&](const std::string& why) { return IoFailure(where + ": " + why); };
  auto truncated = [&](std::int64_t claimed) {
    return ShortFile(where + ": the message claims " + decimal(claimed) + " bytes, but the file ends " +
                     decimal(size - at) + " bytes into it: it is truncated");
  };
  if (at + 16 > size)
    throw ShortFile(where + ": the file ends " + decimal(size - at) + " bytes into the message: it is truncated");
  hold(at, head_bytes);
  const unsigned char* head = buf_.data() + (at - buf_at_);
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
      hold(at, header_bytes_max);
      const Handle h = handle_from(buf_.data(), buf_.size(), true);
      if (!h.h) throw corrupt("its header sections cannot be read (" + eccodes_reason(GRIB_DECODING_ERROR) + ")");
      total = get_long(h.h, "totalLength").value_or(0);
    }
    if (total > size - at) throw truncated(total);
  }
  if (total < 16 + 4) throw corrupt("the message claims a length of " + decimal(total) + " bytes");
  MessageSpan m{number, at, total, edition, {}, 0};
  hold(at, head_bytes);
  const std::int64_t kept = std::min(total, head_bytes);
  head = buf_.data() + (at - buf_at_);
  m.head.assign(head, head + std::min<std::int64_t>(kept, buf_at_ + static_cast<std::int64_t>(buf_.size()) - at));
  m.digest = head_digest(m.head.data(), static_cast<std::int64_t>(m.head.size()));
  // The end mark, read with the head of what follows.
  hold(at + total - 4, 4 + head_bytes);
  if (std::memcmp(buf_.data() + (at + total - 4 - buf_at_), "7777", 4) != 0)
    throw corrupt("the message of " + decimal(total) + " bytes does not end with 7777: it is corrupt or truncated");
  return m;
}

std::optional<MessageSpan> Framer::next() {
  const std::int64_t at = next_mark();
  if (at < 0) return std::nullopt;
  mark_ = at;
  MessageSpan m = frame(at);
  ++count_;
  off_ = at + m.total;
  return m;
}

void no_message(const SourceFile& file) {
  throw IoFailure(file.path() + ": neither GRIB nor netCDF: no GRIB message in its " + decimal(file.size()) +
                  " bytes, and no netCDF mark (CDF, or HDF5's) at its start");
}

std::vector<MessageSpan> frame_messages(const SourceFile& file) {
  std::vector<MessageSpan> spans;
  Framer framer(file);
  while (auto m = framer.next()) spans.push_back(std::move(*m));
  if (spans.empty()) no_message(file);
  return spans;
}

}  // namespace c2m::ingest::grib
