#include "kit/numbers.hpp"

namespace c2m {

namespace {

// V in FORMAT with PRECISION digits: room for the 309 digits before the
// point of the largest 8-byte real, its sign, point and exponent, and the
// digits asked for.
std::string with_precision(double v, std::chars_format format, int precision) {
  std::string text(330 + static_cast<std::size_t>(precision < 0 ? 0 : precision), '\0');
  const auto r = std::to_chars(text.data(), text.data() + text.size(), v, format, precision);
  text.resize(static_cast<std::size_t>(r.ptr - text.data()));
  return text;
}

// The shortest text of V (a float or a double): at most 24 characters.
template <class Real>
std::string shortest(Real v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

template <class Real>
std::string shortest_in(Real v, std::chars_format format) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, format);
  return std::string(buf, r.ptr);
}

template <class Real>
NumberRead read_whole(std::string_view text, Real& value) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value,
                                 std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) return NumberRead::out_of_range;
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return NumberRead::malformed;
  return NumberRead::done;
}

}  // namespace

std::string zero_padded(unsigned long long v, std::size_t width, int base) {
  char buf[72];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, base);
  const auto digits = static_cast<std::size_t>(r.ptr - buf);
  return std::string(digits < width ? width - digits : 0, '0') + std::string(buf, r.ptr);
}

std::string shortest_float(float v) { return shortest(v); }

std::string shortest_double(double v) { return shortest(v); }

std::string shortest_scientific(float v) { return shortest_in(v, std::chars_format::scientific); }

std::string shortest_scientific(double v) { return shortest_in(v, std::chars_format::scientific); }

std::string fixed_decimals(double v, int decimals) {
  return with_precision(v, std::chars_format::fixed, decimals);
}

std::string significant_digits(double v, int digits) {
  return with_precision(v, std::chars_format::general, digits);
}

std::string scientific_decimals(double v, int decimals) {
  return with_precision(v, std::chars_format::scientific, decimals);
}

NumberRead read_real(std::string_view text, double& value) { return read_whole(text, value); }
NumberRead read_real(std::string_view text, float& value) { return read_whole(text, value); }

}  // namespace c2m
