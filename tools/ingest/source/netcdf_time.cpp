#include "source/netcdf_time.hpp"

#include <chrono>
#include <cmath>

#include "kit/numbers.hpp"
#include "source/netcdf_library.hpp"

namespace c2m::ingest::netcdf {

using std::chrono::day;
using std::chrono::month;
using std::chrono::year;
using std::chrono::year_month_day;
using std::chrono::sys_days;

namespace {

// Reads digits at S[AT..]: at most MAX of them, at least one.
bool digits(const std::string& s, std::size_t& at, int max, long& v) {
  std::size_t n = 0;
  while (at + n < s.size() && s[at + n] >= '0' && s[at + n] <= '9' && static_cast<int>(n) < max) ++n;
  v = 0;
  if (n == 0) return false;
  read_integer(std::string_view(s).substr(at, n), v);
  at += n;
  return true;
}

}  // namespace

std::optional<TimeUnits> time_units(const std::string& text) {
  const std::string t = lower(trimmed(text));
  const auto since = t.find(" since ");
  if (since == std::string::npos) return std::nullopt;
  const std::string unit = trimmed(t.substr(0, since));
  TimeUnits u;
  if (one_of(unit, {"seconds", "second", "secs", "sec", "s"})) u.seconds = 1;
  else if (one_of(unit, {"minutes", "minute", "mins", "min"})) u.seconds = 60;
  else if (one_of(unit, {"hours", "hour", "hrs", "hr", "h"})) u.seconds = 3600;
  else if (one_of(unit, {"days", "day", "d"})) u.seconds = 86400;
  else return std::nullopt;
  const std::string ref = trimmed(t.substr(since + 7));
  std::size_t at = 0;
  long y = 0, mo = 0, d = 0, h = 0, mi = 0;
  if (!digits(ref, at, 4, y) || at >= ref.size() || ref[at++] != '-' || !digits(ref, at, 2, mo) ||
      at >= ref.size() || ref[at++] != '-' || !digits(ref, at, 2, d))
    return std::nullopt;
  const year_month_day ymd{year(static_cast<int>(y)), month(static_cast<unsigned>(mo)), day(static_cast<unsigned>(d))};
  if (!ymd.ok()) return std::nullopt;
  u.epoch_days = sys_days(ymd).time_since_epoch().count();
  double secs = 0;
  if (at < ref.size() && (ref[at] == 't' || ref[at] == ' ')) {
    while (at < ref.size() && (ref[at] == 't' || ref[at] == ' ')) ++at;
    if (at < ref.size() && ref[at] >= '0' && ref[at] <= '9') {
      if (!digits(ref, at, 2, h) || h > 24) return std::nullopt;
      if (at < ref.size() && ref[at] == ':') {
        ++at;
        if (!digits(ref, at, 2, mi) || mi > 59) return std::nullopt;
        if (at < ref.size() && ref[at] == ':') {
          ++at;
          const std::size_t start = at;
          while (at < ref.size() && ((ref[at] >= '0' && ref[at] <= '9') || ref[at] == '.')) ++at;
          double s = 0;
          if (read_real(std::string_view(ref).substr(start, at - start), s) != NumberRead::done ||
              !(s >= 0 && s < 61))
            return std::nullopt;
          secs = s;
        }
      }
      secs += static_cast<double>(h * 3600 + mi * 60);
    }
  }
  // A zone: Z, UTC, GMT, or +HH[:MM] / -HH[:MM] (the time is local to it).
  while (at < ref.size() && ref[at] == ' ') ++at;
  const std::string zone = ref.substr(at);
  if (!zone.empty() && !one_of(zone, {"z", "utc", "gmt"})) {
    if (zone[0] != '+' && zone[0] != '-') return std::nullopt;
    std::size_t z = 1;
    long zh = 0, zm = 0;
    if (!digits(zone, z, 2, zh) || zh > 14) return std::nullopt;
    if (z < zone.size() && zone[z] == ':') ++z;
    if (z < zone.size() && !digits(zone, z, 2, zm)) return std::nullopt;
    if (z != zone.size() || zm > 59) return std::nullopt;
    const double offset = static_cast<double>(zh * 3600 + zm * 60);
    secs += zone[0] == '+' ? -offset : offset;
  }
  u.epoch_seconds = secs;
  return u;
}

namespace {

// The first day of the Gregorian calendar, before which the standard
// calendar is the Julian one.
const std::int64_t gregorian_start =
    sys_days(year_month_day{year(1582), month(10), day(15)}).time_since_epoch().count();

}  // namespace

std::variant<ValidTime, std::string> valid_time(double value, const TimeUnits& u, bool mixed_calendar) {
  if (!std::isfinite(value)) return std::string("a value that is not a number");
  const double total = value * u.seconds + u.epoch_seconds;
  // Within years 1 to 9999 (about 3.2e11 s either way of 1970).
  if (!(std::fabs(total + static_cast<double>(u.epoch_days) * 86400.0) < 2.5e11))
    return "the value " + shortest_double(value) + ", far outside years 1 to 9999";
  double days = std::floor(total / 86400.0);
  double minutes = std::round((total - days * 86400.0) / 60.0);
  if (minutes >= 1440.0) {
    days += 1;
    minutes -= 1440.0;
  }
  const std::int64_t day_number = u.epoch_days + static_cast<std::int64_t>(days);
  if (mixed_calendar && (day_number < gregorian_start || u.epoch_days < gregorian_start))
    return std::string("a date before 1582-10-15, where the standard calendar is the Julian one; ingest "
                       "reads Gregorian dates only");
  const year_month_day ymd{sys_days(std::chrono::days(day_number))};
  const int y = static_cast<int>(ymd.year());
  if (y < 1 || y > 9999) return "the value " + shortest_double(value) + ", which is in the year " + decimal(y);
  ValidTime v;
  v.date = static_cast<std::int64_t>(y) * 10000 + static_cast<unsigned>(ymd.month()) * 100 +
           static_cast<unsigned>(ymd.day());
  const int m = static_cast<int>(minutes);
  v.hhmm = m / 60 * 100 + m % 60;
  return v;
}

}  // namespace c2m::ingest::netcdf
