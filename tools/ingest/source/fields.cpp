#include "source/fields.hpp"

#include "kit/numbers.hpp"

namespace c2m::ingest {

namespace {

// Hours or minutes of a time of day in two digits ("07"); a value that is
// none (below 0) as its own digits.
std::string two_digits(int v) { return v < 0 ? decimal(v) : zero_padded(static_cast<unsigned>(v), 2); }

}  // namespace

std::string ValidTime::day() const {
  // The year takes four digits at least, as the date is written: year 202
  // is 0202, so that no two dates read the same (year 202 at 01:01 would
  // otherwise be 20201010101, as year 20201 at 01:00 is).
  return date < 0 ? decimal(date) : zero_padded(static_cast<unsigned long long>(date), 8);
}

std::string ValidTime::text() const {
  std::string t = to_the_hour();
  if (hhmm % 100 != 0) t += two_digits(hhmm % 100);
  return t;
}

std::string ValidTime::to_the_hour() const { return day() + two_digits(hhmm / 100); }

std::string ValidTime::words() const {
  const std::string clock = two_digits(hhmm / 100) + ":" + two_digits(hhmm % 100);
  if (date < 0) return decimal(date) + " " + clock;
  const std::string d = day();
  const std::size_t y = d.size() - 4;  // the digits of the year
  return d.substr(0, y) + "-" + d.substr(y, 2) + "-" + d.substr(y + 2, 2) + " " + clock;
}

std::string FieldInfo::where(const std::string& file_name) const {
  if (!variable.empty()) return file_name + ":" + variable;
  std::string w = file_name + "#" + decimal(message);
  if (subfield > 0) w += "." + decimal(subfield);
  return w;
}

std::string level_type_words(const std::string& type) {
  // ecCodes names a kind of level its tables lack "unknown", or nothing.
  if (type.empty() || type == "unknown") return "a level type the tables do not name";
  return type;
}

std::string FieldInfo::level_words() const {
  // As an 8-byte real, as the readers' diagnostics have always named it
  // (the plan's words of a level, hpa_words, give the 4-byte real's text).
  if (pressure_hpa) return shortest_double(static_cast<double>(*pressure_hpa)) + " hPa";
  if (depth_top_m && depth_bottom_m) {
    if (depth_bounds_unknown) return shortest_double(*depth_top_m) + " m below ground (a layer of unknown bounds)";
    if (*depth_top_m == *depth_bottom_m) return shortest_double(*depth_top_m) + " m below ground";
    return shortest_double(*depth_top_m) + "-" + shortest_double(*depth_bottom_m) + " m below ground";
  }
  return level_type_words(level_type);
}

}  // namespace c2m::ingest
