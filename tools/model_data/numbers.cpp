#include "numbers.hpp"

#include <charconv>

namespace c2m::md {

std::string shortest(float value) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

std::string significant(double value, int digits) {
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
  return std::string(buf, r.ptr);
}

std::string degrees(std::int64_t millidegrees) {
  // Integer arithmetic only: a binary fraction could not show 0.001 exactly.
  const std::int64_t m = millidegrees;
  const std::int64_t magnitude = m < 0 ? -m : m;
  std::string text = m < 0 ? "-" : "";
  text += std::to_string(magnitude / 1000);
  std::int64_t fraction = magnitude % 1000;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction + 1000).substr(1);  // three digits
    while (digits.back() == '0') digits.pop_back();
    text += '.';
    text += digits;
  }
  return text;
}

std::string right(const std::string& value, std::size_t width) {
  return value.size() >= width ? value : std::string(width - value.size(), ' ') + value;
}

std::string left(const std::string& value, std::size_t width) {
  return value.size() >= width ? value : value + std::string(width - value.size(), ' ');
}

}  // namespace c2m::md
