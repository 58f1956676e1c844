// The checks of an option's value by its kind, and their refusals in the
// words of each way of reading a command line: in order, as convert, info,
// plot and export read theirs ("--width wants a whole number, not \"x\""),
// or collected, as synth reads its own ("--lm expects a whole number, got
// 'x'").
#include "cli.hpp"
#include "option_table.hpp"

namespace c2m::cli {

namespace {

std::string quoted(const std::string& value, Reading reading) {
  return reading == Reading::in_order ? "\"" + value + "\"" : "'" + value + "'";
}

std::vector<std::string_view> words_of(std::string_view choices) {
  std::vector<std::string_view> words;
  for (std::size_t a = 0;;) {
    const std::size_t b = choices.find('|', a);
    words.push_back(choices.substr(a, b == std::string_view::npos ? b : b - a));
    if (b == std::string_view::npos) return words;
    a = b + 1;
  }
}

void replace_all(std::string& t, std::string_view mark, const std::string& by) {
  for (std::size_t at; (at = t.find(mark)) != std::string::npos;) t.replace(at, mark.size(), by);
}

// What OPTION allows, in words: its own, with its bounds in place of
// {least} and {most}, or the choices listed ("a, b or c").
std::string allowed_words(const Option& o) {
  if (o.kind == Kind::choice && o.allowed.empty()) {
    const auto words = words_of(o.choices);
    std::string t;
    for (std::size_t n = 0; n < words.size(); ++n)
      t += (n == 0 ? "" : n + 1 == words.size() ? " or " : ", ") + std::string(words[n]);
    return t;
  }
  std::string t(o.allowed.empty() ? "from {least} to {most}" : o.allowed);
  replace_all(t, "{least}", decimal(o.least));
  replace_all(t, "{most}", decimal(o.most));
  return t;
}

// "NAME wants ALLOWED, not VALUE" (in order; VALUE in quotes when QUOTED)
// or "NAME is ALLOWED, not 'VALUE'" (collected).
[[noreturn]] void refuse(const Option& o, const std::string& value, Reading reading, bool quoted_in_order) {
  const std::string allowed = allowed_words(o);
  if (reading == Reading::in_order)
    throw UsageError(std::string(o.name) + " wants " + allowed + ", not " +
                     (quoted_in_order ? quoted(value, reading) : value));
  throw UsageError(std::string(o.name) + " is " + allowed + ", not " + quoted(value, reading));
}

// One value of kind KIND: the item of a list, or the option's own value.
void check_kind(const Option& o, Kind kind, const std::string& value, Reading reading) {
  if (kind == Kind::integer) {
    long long v = 0;
    const NumberRead read = read_integer(value, v);
    if (read != NumberRead::done) refuse_number(o, value, read, reading);
    if (v < o.least || v > o.most) refuse_range(o, value, reading);
  } else if (kind == Kind::real) {
    double v = 0;
    if (read_real(value, v) == NumberRead::done) return;
    if (reading == Reading::in_order)
      throw UsageError(std::string(o.name) + " wants a number, not " + quoted(value, reading));
    throw UsageError(std::string(o.name) + " expects a number, got " + quoted(value, reading));
  } else if (kind == Kind::choice) {
    for (const std::string_view word : words_of(o.choices))
      if (word == value) return;
    refuse(o, value, reading, true);
  }
}

}  // namespace

void refuse_number(const Option& o, const std::string& value, NumberRead read, Reading reading) {
  if (reading == Reading::in_order)
    throw UsageError(std::string(o.name) + " wants a whole number, not " + quoted(value, reading));
  if (read == NumberRead::out_of_range)
    throw UsageError(std::string(o.name) + " value " + quoted(value, reading) + " is out of range");
  throw UsageError(std::string(o.name) + " expects a whole number, got " + quoted(value, reading));
}

void refuse_range(const Option& o, const std::string& value, Reading reading) {
  refuse(o, value, reading, false);
}

void check_value(const Option& o, const std::string& value, Reading reading) {
  if (o.kind == Kind::list) {
    const std::vector<std::string> items = split_list(value);
    if (o.items != 0 && items.size() != o.items) refuse(o, value, reading, true);
    for (const std::string& item : items) check_kind(o, o.item, item, reading);
  } else if (o.check == nullptr) {
    check_kind(o, o.kind, value, reading);
  }
  if (o.check != nullptr) o.check(o.name, value);
}

}  // namespace c2m::cli
