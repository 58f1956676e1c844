#include "assembly.hpp"

#include <algorithm>
#include <cstring>

#include "kit/numbers.hpp"
#include "message_check.hpp"

namespace c2m::fetch {

namespace {

// The largest message taken: the case's planes are at most 2^29 points.
constexpr std::int64_t largest_message = std::int64_t{1} << 32;

}  // namespace

Assembly::Assembly(const std::vector<WantedMessage>& wanted, OutputFile& out, std::string url)
    : out_(out), url_(std::move(url)) {
  std::int64_t at = 0;
  for (const WantedMessage& w : wanted) {
    Part p;
    p.offset = w.offset;
    p.length = w.length;
    p.position = at;
    at += w.length.value_or(0);
    parts_.push_back(std::move(p));
    numbers_.push_back(w.message);
  }
}

void Assembly::total(std::int64_t size) {
  for (Part& p : parts_)
    if (!p.length && size > p.offset) p.length = size - p.offset;
}

bool Assembly::complete() const {
  return std::all_of(parts_.begin(), parts_.end(), [](const Part& p) { return p.done; });
}

std::string Assembly::finish(std::size_t k) {
  Part& p = parts_[k];
  const std::string fault = message_fault(p.bytes);
  if (!fault.empty()) {
    p.bytes.clear();
    p.filled = 0;
    return "bytes " + decimal(p.offset) + "-" + decimal(p.offset + *p.length - 1) + " (message " +
           decimal(numbers_[k]) + ") " + fault;
  }
  out_.write_at(std::as_bytes(std::span<const unsigned char>(p.bytes)), p.position,
                "message " + decimal(numbers_[k]) + " of " + url_);
  p.done = true;
  std::vector<unsigned char>().swap(p.bytes);
  if (on_done) on_done(k);
  return {};
}

std::string Assembly::place(std::size_t k, std::span<const unsigned char> bytes) {
  Part& p = parts_[k];
  if (p.length && static_cast<std::int64_t>(bytes.size()) != *p.length)
    return "holds " + decimal(bytes.size()) + " bytes where the index gives " + decimal(*p.length);
  const bool open = !p.length;
  if (open) p.length = static_cast<std::int64_t>(bytes.size());
  p.bytes.assign(bytes.begin(), bytes.end());
  p.filled = *p.length;
  const std::string fault = finish(k);
  if (!fault.empty() && open) p.length.reset();  // the answer to its range tells it
  return fault;
}

std::string Assembly::take(std::int64_t offset, std::span<const unsigned char> bytes) {
  const auto count = static_cast<std::int64_t>(bytes.size());
  // The first message that ends after OFFSET.
  auto it = std::partition_point(parts_.begin(), parts_.end(), [&](const Part& p) {
    return p.length && p.offset + *p.length <= offset;
  });
  for (; it != parts_.end() && it->offset < offset + count; ++it) {
    Part& p = *it;
    if (p.done) continue;
    if (!p.length) return "the range to the end of the file came without the file's size";
    if (*p.length > largest_message) return "message at byte " + decimal(p.offset) + " is larger than a case can use";
    const std::int64_t from = std::max(offset, p.offset), to = std::min(offset + count, p.offset + *p.length);
    if (from >= to) continue;
    const std::int64_t rel = from - p.offset;
    if (rel > p.filled) return "the bytes of message " + decimal(numbers_[static_cast<std::size_t>(it - parts_.begin())]) +
                               " came with a gap";
    if (p.bytes.size() != static_cast<std::size_t>(*p.length)) p.bytes.resize(static_cast<std::size_t>(*p.length));
    std::memcpy(p.bytes.data() + rel, bytes.data() + (from - offset), static_cast<std::size_t>(to - from));
    p.filled = std::max(p.filled, to - p.offset);
    if (p.filled == *p.length) {
      const std::string fault = finish(static_cast<std::size_t>(it - parts_.begin()));
      if (!fault.empty()) return fault;
    }
  }
  return {};
}

}  // namespace c2m::fetch
