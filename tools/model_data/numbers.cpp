#include "numbers.hpp"

#include "kit/numbers.hpp"

namespace c2m::md {

std::string degrees(std::int64_t millidegrees) {
  // Integer arithmetic only: a binary fraction could not show 0.001 exactly.
  const std::int64_t m = millidegrees;
  const std::int64_t magnitude = m < 0 ? -m : m;
  std::string text = m < 0 ? "-" : "";
  text += decimal(magnitude / 1000);
  std::int64_t fraction = magnitude % 1000;
  if (fraction != 0) {
    std::string digits = zero_padded(static_cast<unsigned long long>(fraction), 3);
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
