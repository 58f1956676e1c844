#include "case_date.hpp"

#include <array>

#include "kit/numbers.hpp"

namespace c2m::exporter {

namespace {

int number(const std::string& digits) {
  int v = 0;
  read_integer(digits, v);  // digits only: cannot fail
  return v;
}

}  // namespace

std::optional<CaseDate> parse_case_date(const std::string& text) {
  if (text.size() != 8 && text.size() != 10) return std::nullopt;
  for (const char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  CaseDate d{text.substr(0, 4), text.substr(4, 2), text.substr(6, 2),
             text.size() == 10 ? text.substr(8, 2) : "00", 1};
  const int year = number(d.year), month = number(d.month), day = number(d.day);
  static constexpr std::array<int, 12> days = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || month < 1 || month > 12 || day < 1 || number(d.hour) > 23) return std::nullopt;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int last = month == 2 && !leap ? 28 : days[static_cast<std::size_t>(month - 1)];
  if (day > last) return std::nullopt;
  d.month_number = month;
  return d;
}

std::string cf_time_units(const CaseDate& d) {
  return "hours since " + d.year + "-" + d.month + "-" + d.day + " " + d.hour + ":00:00";
}

}  // namespace c2m::exporter
