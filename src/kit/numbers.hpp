// Numbers as text and text as numbers: the one place where the project
// makes and reads digits, always through std::to_chars and std::from_chars
// (exact, and the same whatever the locale).
//
// Each format has a name of its own, so that a caller says which it means.
// A 4-byte real and an 8-byte real of the same value have different
// shortest texts (0.1f is "0.1" as a 4-byte real, "0.10000000149011612" as
// an 8-byte one), so the two shortest forms take only their own type.
#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>

namespace c2m {

// The decimal digits of V, with '-' before a negative one: "-12", "0".
template <std::integral T>
  requires(!std::same_as<T, bool>)
std::string decimal(T v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// V in BASE (10 or 16, lower-case letters) with zeros in front up to WIDTH
// digits: zero_padded(7, 2) is "07", zero_padded(0x1b, 2, 16) is "1b".
std::string zero_padded(unsigned long long v, std::size_t width, int base = 10);

// The shortest text that reads back as the same 4-byte real: "287.15",
// "-99999", "1e-05", "nan", "inf".
std::string shortest_float(float v);
std::string shortest_float(double) = delete;  // an 8-byte real: shortest_double

// The shortest text that reads back as the same 8-byte real.
std::string shortest_double(double v);
std::string shortest_double(float) = delete;  // a 4-byte real: shortest_float

// The shortest text of V in scientific form (d.ddde+XX) that reads back
// as the same real: "8.5e+04", "1e-02", "7.943282e+02".  Its digits and
// its exponent apart, for a value that is to be scaled by a power of ten
// exactly as its decimal digits say (85000 Pa is then exactly 850 hPa).
std::string shortest_scientific(float v);
std::string shortest_scientific(double v);

// V rounded to DECIMALS digits after the point: fixed_decimals(2.5, 2) is
// "2.50".
std::string fixed_decimals(double v, int decimals);

// V with at most DIGITS significant digits, trailing zeros dropped, in
// fixed or scientific form, whichever is shorter: "283.1667", "1.234568e+06".
std::string significant_digits(double v, int digits);

// V as d.ddd...e+xx with DECIMALS digits after the point: "1.00000000e+09".
std::string scientific_decimals(double v, int decimals);

// How reading a number from a text went.
enum class NumberRead {
  done,
  malformed,     // not a number of the kind asked for, or more after it
  out_of_range,  // a number, but beyond what the type holds
};

// TEXT, all of it, as an integer of type T: an optional '-' and decimal
// digits, nothing else (no '+', no blanks).  A number beyond T is
// out_of_range even with more after it.
template <std::integral T>
NumberRead read_integer(std::string_view text, T& value) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec == std::errc::result_out_of_range) return NumberRead::out_of_range;
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return NumberRead::malformed;
  return NumberRead::done;
}

// The integer at the start of TEXT, as read_integer reads it: the number
// of characters it takes, 0 when there is none (or it is out of range).
template <std::integral T>
std::size_t read_leading_integer(std::string_view text, T& value) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc()) return 0;
  return static_cast<std::size_t>(r.ptr - text.data());
}

// TEXT, all of it, as a real, in the forms of std::from_chars: an
// optional '-', digits with an optional point and exponent ("1", "-2.5",
// "8.5e2"), "inf" or "nan"; no '+', no blanks.  Rounded to the nearest
// value of the type; beyond its range is out_of_range.
NumberRead read_real(std::string_view text, double& value);
NumberRead read_real(std::string_view text, float& value);

}  // namespace c2m
