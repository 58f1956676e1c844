#include "textio/free_format.hpp"

#include <cstdlib>

#include "kit/numbers.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"
#include "textio/quote.hpp"
#include "textio/text_line.hpp"

namespace c2m {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Length of the run of decimal digits at the start of S.
std::size_t digit_run(std::string_view s) {
  std::size_t n = 0;
  while (n < s.size() && is_digit(s[n])) ++n;
  return n;
}

}  // namespace

std::optional<std::int32_t> parse_integer(std::string_view token) {
  // One sign at most ("+-5" is no integer); from_chars takes '-' but not '+'.
  std::string_view s = token;
  const bool plus = !s.empty() && s.front() == '+';
  if (plus) s.remove_prefix(1);
  const std::size_t sign = (!plus && !s.empty() && s.front() == '-') ? 1 : 0;
  if (s.size() == sign || digit_run(s.substr(sign)) != s.size() - sign) return {};
  std::int32_t value = 0;
  if (read_integer(s, value) != NumberRead::done) return {};
  return value;
}

std::optional<float> parse_real(std::string_view token) {
  // Check the form first, then let the kit's reader round it: it takes no
  // '+' and no Fortran exponent letter D, so those are rewritten.
  std::string s;
  std::string_view rest = token;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
    if (rest.front() == '-') s += '-';
    rest.remove_prefix(1);
  }
  const std::size_t whole = digit_run(rest);
  s += rest.substr(0, whole);
  rest.remove_prefix(whole);
  std::size_t fraction = 0;
  if (!rest.empty() && rest.front() == '.') {
    rest.remove_prefix(1);
    fraction = digit_run(rest);
    s += '.';
    s += rest.substr(0, fraction);
    rest.remove_prefix(fraction);
  }
  if (whole + fraction == 0) return {};
  if (!rest.empty()) {
    const char e = rest.front();
    if (e != 'E' && e != 'e' && e != 'D' && e != 'd') return {};
    rest.remove_prefix(1);
    s += 'e';
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
      if (rest.front() == '-') s += '-';
      rest.remove_prefix(1);
    }
    const std::size_t exp_digits = digit_run(rest);
    if (exp_digits == 0 || exp_digits != rest.size()) return {};
    s += rest;
  }
  float value = 0.0f;
  if (read_real(s, value) != NumberRead::done) return {};
  return value;
}

bool FreeFormatReader::next_line() {
  pos_ = 0;
  if (!c2m::read_text_line(in_, line_, name_)) return false;
  ++line_no_;
  if (has_bare_cr(line_)) cr_only_ = true;
  return true;
}

void FreeFormatReader::fail_end_of_file(std::string_view what) const {
  throw ShortFile(name_ + ": end of file after line " + decimal(line_no_) +
                  ": expected " + std::string(what) + (cr_only_ ? cr_only_hint : ""));
}

void FreeFormatReader::fail_value(std::string_view problem, std::string_view token,
                                  std::string_view what) const {
  throw NotANumber(name_ + ": line " + decimal(line_no_) + ": " +
                   std::string(problem) + ": " + quote(token) + " (" +
                   std::string(what) + ")" + (cr_only_ ? cr_only_hint : ""));
}

void FreeFormatReader::next_nonblank_line(std::string_view what) {
  do {
    if (!next_line()) fail_end_of_file(what);
    while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
  } while (pos_ == line_.size());
}

std::string_view FreeFormatReader::next_token(std::string_view what, bool first_of_read) {
  if (first_of_read) {
    // A read starts on a new line.
    next_nonblank_line(what);
    after_value_ = false;
  }
  for (;;) {
    while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
    if (pos_ == line_.size()) {
      next_nonblank_line(what);
      continue;
    }
    if (line_[pos_] == ',') {
      // A comma closes the value before it; one with no value before it
      // closes an empty value, which is no number.
      if (!after_value_) fail_value("empty value", "", what);
      after_value_ = false;
      ++pos_;
      continue;
    }
    const std::size_t start = pos_;
    while (pos_ < line_.size() && !is_blank(line_[pos_]) && line_[pos_] != ',') ++pos_;
    after_value_ = true;
    return std::string_view(line_).substr(start, pos_ - start);
  }
}

std::string FreeFormatReader::read_text_line(std::size_t length, std::string_view what) {
  if (!next_line()) fail_end_of_file(what);
  return fixed_field(line_, length);
}

std::vector<std::int32_t> FreeFormatReader::read_integers(std::size_t count,
                                                          std::string_view what) {
  std::vector<std::int32_t> values;
  values.reserve(count);
  for (std::size_t n = 0; n < count; ++n) {
    const std::string_view token = next_token(what, n == 0);
    const auto value = parse_integer(token);
    if (!value) fail_value("not an integer", token, what);
    values.push_back(*value);
  }
  return values;
}

std::int32_t FreeFormatReader::read_integer(std::string_view what) {
  return read_integers(1, what).front();
}

float FreeFormatReader::read_real(std::string_view what) {
  const std::string_view token = next_token(what, true);
  const auto value = parse_real(token);
  if (!value) fail_value("not a number", token, what);
  return *value;
}

std::string FreeFormatReader::read_word(std::size_t length, std::string_view what) {
  next_nonblank_line(what);
  std::string word;
  const char first = line_[pos_];
  if (first == '\'' || first == '"') {
    // A quoted string, a doubled quote standing for one; an unclosed quote
    // runs to the end of the line.
    for (++pos_; pos_ < line_.size(); ++pos_) {
      if (line_[pos_] == first) {
        if (pos_ + 1 < line_.size() && line_[pos_ + 1] == first) {
          word += first;
          ++pos_;
          continue;
        }
        break;
      }
      word += line_[pos_];
    }
  } else {
    while (pos_ < line_.size() && !is_blank(line_[pos_]) && line_[pos_] != ',' &&
           line_[pos_] != '/')
      word += line_[pos_++];
  }
  return fixed_field(word, length);
}

}  // namespace c2m
