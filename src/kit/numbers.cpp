#include "kit/numbers.hpp"

namespace c2m {

namespace {

// Room for any 8-byte real in any of the forms below with up to 17
// digits after the point, and for the fixed form of the largest reals.
constexpr std::size_t room = 400;

std::string text(char* begin, const std::to_chars_result& r) {
  return r.ec == std::errc() ? std::string(begin, r.ptr) : std::string();
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

std::string shortest_float(float v) {
  char buf[32];
  return text(buf, std::to_chars(buf, buf + sizeof buf, v));
}

std::string shortest_double(double v) {
  char buf[32];
  return text(buf, std::to_chars(buf, buf + sizeof buf, v));
}

std::string fixed_decimals(double v, int decimals) {
  char buf[room];
  return text(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals));
}

std::string significant_digits(double v, int digits) {
  char buf[room];
  return text(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits));
}

std::string scientific_decimals(double v, int decimals) {
  char buf[room];
  return text(buf,
              std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, decimals));
}

NumberRead read_real(std::string_view text, double& value) { return read_whole(text, value); }
NumberRead read_real(std::string_view text, float& value) { return read_whole(text, value); }

}  // namespace c2m
