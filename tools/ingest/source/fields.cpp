#include "source/fields.hpp"

#include <charconv>
#include <cstdio>

namespace c2m::ingest {

namespace {

std::string decimal(long long v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string real(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string two(long long v) {
  std::string s = decimal(v);
  return s.size() < 2 ? "0" + s : s;
}

}  // namespace

std::string ValidTime::text() const {
  std::string t = decimal(date) + two(hhmm / 100);
  if (hhmm % 100 != 0) t += two(hhmm % 100);
  return t;
}

std::string ValidTime::words() const {
  const std::string d = decimal(date);
  if (d.size() != 8) return d + " " + two(hhmm / 100) + ":" + two(hhmm % 100);
  return d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2) + " " + two(hhmm / 100) +
         ":" + two(hhmm % 100);
}

std::string FieldInfo::where() const {
  if (!variable.empty()) return "[" + decimal(file + 1) + "]:" + variable;
  std::string w = "[" + decimal(file + 1) + "]#" + decimal(message);
  if (subfield > 0) w += "." + decimal(subfield);
  return w;
}

std::string FieldInfo::level_words() const {
  if (pressure_hpa) return real(*pressure_hpa) + " hPa";
  if (depth_top_m && depth_bottom_m) {
    if (*depth_top_m == *depth_bottom_m) return real(*depth_top_m) + " m below ground";
    return real(*depth_top_m) + "-" + real(*depth_bottom_m) + " m below ground";
  }
  return level_type;
}

}  // namespace c2m::ingest
