#include "textio/free_line.hpp"

#include <cmath>

#include "kit/numbers.hpp"

namespace c2m {

namespace {

std::string right_aligned(std::string_view s, std::size_t width) {
  std::string field;
  if (s.size() < width) field.assign(width - s.size(), ' ');
  field += s;
  return field;
}

// Fixed-point text right-aligned in 12 characters, then 4 blanks.
std::string fixed_point_field(std::string_view number) {
  return right_aligned(number, 12) + "    ";
}

}  // namespace

std::string format_integer(std::int32_t value) {
  return right_aligned(decimal(value), integer_width);
}

std::string format_real(float value) {
  if (std::isnan(value)) return right_aligned("NaN", real_width);
  if (std::isinf(value))
    return right_aligned(value < 0.0f ? "-Infinity" : "Infinity", real_width);
  if (value == 0.0f)
    return fixed_point_field(std::signbit(value) ? "-0.00000000" : "0.00000000");

  // Nine significant digits of the exact binary value, rounded to nearest:
  // "[-]d.ddddddddexx".  The choice between the two forms is made on this
  // rounded value, so 0.099999994 stays scientific and 999999999 becomes 1e9.
  // (The digits of a 4-byte real are those of the same value as an 8-byte
  // one: the conversion is exact.)
  const std::string s = scientific_decimals(value, 8);
  const bool negative = s.front() == '-';
  const std::size_t e_pos = s.find('e');
  int exponent = 0;
  read_integer(std::string_view(s).substr(e_pos + 1 + (s[e_pos + 1] == '+')), exponent);

  if (exponent >= -1 && exponent <= 8) {
    // The nine digits, read off the scientific text and placed around the
    // point: e+1 digits before it (a single 0 when below 1), the rest after.
    std::string digits;
    digits += s[negative ? 1 : 0];
    digits.append(s.substr(negative ? 3 : 2, 8));
    std::string fixed = negative ? "-" : "";
    if (exponent < 0) {
      fixed += "0.";
      fixed += digits;
    } else {
      const auto before = static_cast<std::size_t>(exponent + 1);
      fixed += digits.substr(0, before);
      fixed += '.';
      fixed += digits.substr(before);
    }
    return fixed_point_field(fixed);
  }

  std::string scientific(s);
  scientific[e_pos] = 'E';
  return right_aligned(scientific, real_width);
}

void FreeLine::separate(Last next) {
  // The leading blank of the line, or the separator between two items; a
  // text that follows a text is joined to it.
  if (!(next == Last::text && last_ == Last::text)) line_ += ' ';
  last_ = next;
}

FreeLine& FreeLine::text(std::string_view t) {
  separate(Last::text);
  line_ += t;
  return *this;
}

FreeLine& FreeLine::integer(std::int32_t value) {
  separate(Last::number);
  line_ += format_integer(value);
  return *this;
}

FreeLine& FreeLine::real(float value) {
  separate(Last::number);
  line_ += format_real(value);
  return *this;
}

}  // namespace c2m
