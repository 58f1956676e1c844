// Free-form lines: the layout of every log line and of every line of the grid
// description file.  A line is built from items (texts, 4-byte integers,
// 4-byte reals):
//   - the first item is preceded by one blank, every later one by a blank
//     separator, except a text directly after a text, which is joined to it;
//   - texts go out whole, blanks included, without quotes;
//   - an integer is right-aligned in 11 characters;
//   - a real takes a 16-character field with 9 significant digits: fixed
//     point, right-aligned in the first 12 characters and 4 trailing blanks,
//     when it is zero or its rounded magnitude lies in [0.1, 1e9); otherwise
//     scientific, d.ddddddddE+xx right-aligned in all 16.
// A line without items is empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace c2m {

inline constexpr std::size_t integer_width = 11;
inline constexpr std::size_t real_width = 16;

// The 11-character field of an integer.
std::string format_integer(std::int32_t value);

// The 16-character field of a real.  NaN and the infinities are written as
// NaN, Infinity and -Infinity right-aligned in the field; negative zero
// keeps its sign.
std::string format_real(float value);

class FreeLine {
 public:
  FreeLine() = default;
  explicit FreeLine(std::string_view first_text) { text(first_text); }

  FreeLine& text(std::string_view t);
  FreeLine& integer(std::int32_t value);
  FreeLine& real(float value);

  // The line without its line feed.
  const std::string& str() const { return line_; }

 private:
  enum class Last { none, text, number };
  void separate(Last next);

  std::string line_;
  Last last_ = Last::none;
};

}  // namespace c2m
