#include "cycles.hpp"

#include "kit/numbers.hpp"
#include "plan/times.hpp"

namespace c2m::fetch {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
long days_from_civil(long y, long m, long d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(long z, long& y, long& m, long& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y = yoe + era * 400 + (m <= 2);
}

long hours_of(const ingest::ValidTime& t) {
  const long y = static_cast<long>(t.date / 10000), m = static_cast<long>(t.date / 100 % 100),
             d = static_cast<long>(t.date % 100);
  return days_from_civil(y, m, d) * 24 + t.hhmm / 100;
}

}  // namespace

std::optional<ingest::ValidTime> parse_cycle(const std::string& text) {
  if (text.size() != 10) return std::nullopt;
  const auto t = ingest::parse_time(text);
  if (!t || t->hhmm % 600 != 0 || t->date < 19000101) return std::nullopt;
  // A day the month has: the date survives the way there and back.
  if (add_hours(*t, 0).date != t->date) return std::nullopt;
  return t;
}

ingest::ValidTime add_hours(const ingest::ValidTime& cycle, long hours) {
  const long h = hours_of(cycle) + hours;
  const long days = h >= 0 ? h / 24 : (h - 23) / 24;
  long y = 0, m = 0, d = 0;
  civil_from_days(days, y, m, d);
  return {static_cast<std::int64_t>(y) * 10000 + m * 100 + d, static_cast<int>((h - days * 24) * 100)};
}

std::optional<std::vector<ingest::ValidTime>> parse_cycles(const std::string& text, std::size_t limit,
                                                           std::string& why) {
  const auto a = text.find('/'), b = text.find('/', a == std::string::npos ? a : a + 1);
  if (a == std::string::npos || b == std::string::npos) {
    why = "wants FIRST/LAST/EVERY";
    return std::nullopt;
  }
  const auto first = parse_cycle(text.substr(0, a)), last = parse_cycle(text.substr(a + 1, b - a - 1));
  std::string every = text.substr(b + 1);
  if (every.ends_with('h')) every.pop_back();
  long step = 0;
  if (!first || !last) {
    why = "wants cycles YYYYMMDDHH (hours 00, 06, 12 or 18)";
    return std::nullopt;
  }
  if (read_integer(every, step) != NumberRead::done || step < 6 || step % 6 != 0 || step > 24 * 366) {
    why = "wants EVERY in hours, a multiple of 6 (6h, 12h, 24h)";
    return std::nullopt;
  }
  if (*last < *first) {
    why = "has LAST before FIRST";
    return std::nullopt;
  }
  std::vector<ingest::ValidTime> out;
  for (ingest::ValidTime t = *first; !(*last < t); t = add_hours(t, step)) {
    if (out.size() == limit) {
      why = "makes more than " + decimal(limit) + " cycles";
      return std::nullopt;
    }
    out.push_back(t);
  }
  return out;
}

}  // namespace c2m::fetch
