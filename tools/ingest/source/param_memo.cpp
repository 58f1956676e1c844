#include "source/param_memo.hpp"

#include <map>
#include <mutex>
#include <string>

namespace c2m::ingest {

namespace {

std::optional<long> asked(codes_handle* h) {
  if (codes_is_defined(h, "paramId") == 0) return std::nullopt;
  int err = 0;
  if (codes_is_missing(h, "paramId", &err) == 1 && err == 0) return std::nullopt;
  long v = 0;
  if (codes_get_long(h, "paramId", &v) != 0) return std::nullopt;
  return v;
}

// Section 0 is 16 bytes, its total length at 8 to 15; section 1 follows,
// its reference time (year to second) at 12 to 18 of the section.
constexpr std::size_t section1 = 16;
constexpr std::size_t length_at = 8, length_bytes = 8;
constexpr std::size_t time_at = section1 + 12, time_bytes = 7;

}  // namespace

std::optional<long> param_id_of(codes_handle* h, std::span<const unsigned char> head) {
  if (head.size() < section1 + 21 || head[section1 + 4] != 1) return asked(h);
  std::string key(reinterpret_cast<const char*>(head.data()), head.size());
  key.replace(length_at, length_bytes, length_bytes, '\0');
  key.replace(time_at, time_bytes, time_bytes, '\0');
  static std::mutex m;
  static std::map<std::string, std::optional<long>> known;
  {
    std::lock_guard<std::mutex> lock(m);
    if (const auto it = known.find(key); it != known.end()) return it->second;
  }
  const std::optional<long> id = asked(h);
  std::lock_guard<std::mutex> lock(m);
  known.emplace(std::move(key), id);
  return id;
}

}  // namespace c2m::ingest
