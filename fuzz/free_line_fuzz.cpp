// Fuzz target: the free-form line writer.
//
// The bytes are a list of items, each a tag byte and then either 4 bytes
// (the bits of a real, or an integer) or a length byte and that many bytes
// of text.  Every real's 16-character field must read back (trimmed, with
// parse_real) as the same bits, negative zero included, in the form its
// magnitude calls for; every integer's 11-character field must read back as
// the same integer; and the line must be as long as its items and
// separators make it.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.hpp"
#include "textio/free_format.hpp"
#include "textio/free_line.hpp"

namespace {

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool all_digits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Fixed point, "[-]d...d.d...d" with nine significant digits, in the first
// 12 characters of the field; or scientific, "[-]d.ddddddddE[+-]dd", in all
// 16.  Fixed point is the form for zero and for magnitudes that round to
// [0.1, 1e9); the exponent of the scientific form then lies outside -1..8.
void check_real_form(float value, const std::string& field) {
  std::string_view t = trimmed(field);
  if (t.starts_with('-')) t.remove_prefix(1);
  const auto e = t.find('E');
  if (e == std::string_view::npos) {
    FUZZ_CHECK(field.size() == 16 && field.substr(12) == "    " && field[11] != ' ');
    const auto point = t.find('.');
    FUZZ_CHECK(point != std::string_view::npos);
    const std::string_view before = t.substr(0, point), after = t.substr(point + 1);
    FUZZ_CHECK(all_digits(before) && (after.empty() || all_digits(after)));
    if (value == 0.0f) {
      FUZZ_CHECK(t == "0.00000000");
    } else if (before == "0") {
      FUZZ_CHECK(after.size() == 9 && after[0] != '0');  // [0.1, 1)
    } else {
      FUZZ_CHECK(before[0] != '0' && before.size() + after.size() == 9);
    }
  } else {
    FUZZ_CHECK(field[15] != ' ' && t.size() == 14 && t[1] == '.');
    FUZZ_CHECK(all_digits(t.substr(0, 1)) && all_digits(t.substr(2, 8)));
    FUZZ_CHECK((t[11] == '+' || t[11] == '-') && all_digits(t.substr(12)));
    const int exponent = (t[11] == '-' ? -1 : 1) * std::stoi(std::string(t.substr(12)));
    FUZZ_CHECK(exponent < -1 || exponent > 8);
    FUZZ_CHECK(t[0] != '0');
  }
}

void check_real(float value) {
  const std::string field = c2m::format_real(value);
  FUZZ_CHECK(field.size() == c2m::real_width);
  const std::string_view t = trimmed(field);
  if (std::isnan(value)) {
    FUZZ_CHECK(t == "NaN");
    return;
  }
  if (std::isinf(value)) {
    FUZZ_CHECK(t == (value < 0.0f ? "-Infinity" : "Infinity"));
    return;
  }
  const auto back = c2m::parse_real(t);
  FUZZ_CHECK(back.has_value());
  FUZZ_CHECK(std::bit_cast<std::uint32_t>(*back) == std::bit_cast<std::uint32_t>(value));
  check_real_form(value, field);
}

void check_integer(std::int32_t value) {
  const std::string field = c2m::format_integer(value);
  FUZZ_CHECK(field.size() == c2m::integer_width);
  FUZZ_CHECK(c2m::parse_integer(trimmed(field)) == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  c2m::FreeLine line;
  std::size_t expected = 0;  // length of the line so far
  bool after_text = false;
  std::size_t pos = 0;
  while (pos < size) {
    const std::uint8_t tag = data[pos++] % 3;
    if (tag == 2) {  // a text
      if (pos == size) break;
      const std::size_t wanted = data[pos++] % 64;
      const std::size_t length = std::min(wanted, size - pos);
      const std::string_view text(reinterpret_cast<const char*>(data + pos), length);
      pos += length;
      line.text(text);
      expected += (after_text ? 0 : 1) + length;
      after_text = true;
      continue;
    }
    if (size - pos < 4) break;
    std::uint32_t bits = 0;
    std::memcpy(&bits, data + pos, 4);
    pos += 4;
    if (tag == 0) {
      const auto value = std::bit_cast<float>(bits);
      check_real(value);
      line.real(value);
      expected += 1 + c2m::real_width;
    } else {
      const auto value = static_cast<std::int32_t>(bits);
      check_integer(value);
      line.integer(value);
      expected += 1 + c2m::integer_width;
    }
    after_text = false;
  }
  FUZZ_CHECK(line.str().size() == expected);
  return 0;
}
