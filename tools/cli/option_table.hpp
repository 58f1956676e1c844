// A subcommand's options, declared once as a table of data: for each its
// names, the kind of its value and the values allowed, the value's name
// and a few lines of help.  The parser, the Options part of --help and so
// the man page are all made from the table, so that they cannot disagree.
//
// A table reads like this (plot's width):
//
//   {.name = "--width", .kind = Kind::integer, .value = "PIXELS",
//    .help = "the width of the map (for a large grid: ...)",
//    .least = 16, .most = 32767, .allowed = "from {least} to {most} pixels"}
//
// and the subcommand asks the parsed options for what it needs:
// parsed.given("--width"), parsed.integer<std::int64_t>("--width").
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/numbers.hpp"

namespace c2m::cli {

enum class Kind {
  flag,     // no value
  integer,  // a whole number, from LEAST to MOST
  real,     // a number
  text,     // any text
  choice,   // one of CHOICES
  list,     // items separated by commas, each of the kind ITEM
};

// An option's own check, for a value whose check is special (a number of
// degrees that must be whole thousandths, a name that must be a field's):
// throws UsageError worded as the option needs.  NAME is the option's name
// as its messages give it.  It takes the place of the kind's check of a
// single value (for an integer it comes before the number is read), and
// follows the checks of a list's items.
using Check = void (*)(std::string_view name, const std::string& value);

struct Option {
  std::string_view name;          // "--width", or "-o": the name its messages give
  std::string_view alias = {};    // another name of it: "--output" beside "-o"
  Kind kind = Kind::flag;
  std::string_view value = {};    // the value's name in the help: "PIXELS"
  std::string_view help = {};     // its help, lines separated by '\n'
  std::string_view heading = {};  // a heading the help prints before it ("Options:")
  // integer: the values allowed.
  long long least = std::numeric_limits<long long>::min();
  long long most = std::numeric_limits<long long>::max();
  // choice: the words allowed, separated by '|': "convert|as-is".
  std::string_view choices = {};
  // list: the kind of each item (integer, real or text), and how many
  // there must be (0: any number).
  Kind item = Kind::text;
  std::size_t items = 0;
  // What is allowed, in words, for the refusal of another value of an
  // integer ("NAME wants ALLOWED, not VALUE", {least} and {most} standing
  // for the bounds; by default "from {least} to {most}"), a choice (by
  // default the words listed: "convert or as-is") or a list of another
  // number of items ("MIN,MAX").
  std::string_view allowed = {};
  Check check = nullptr;
  // Checked when the subcommand asks for the value, not where it stands
  // on the command line (when other options decide first whether it may
  // be given at all).
  bool later = false;
  // The one-letter name takes its value attached as well: -j4.
  bool attached = false;
  // Given again, it adds a value (--root A --root B): texts() has them
  // all, in order; text() the last.
  bool repeated = false;
};

// -h, --help, which the front door answers before the subcommand runs.
inline constexpr Option help_option{.name = "-h", .alias = "--help", .help = "this text"};

// How a subcommand reads its command line.  The subcommands grew two ways,
// and each keeps its own, so that no message changes.
enum class Reading {
  // Options and operands in any order, "--" ends the options.  Each value
  // is checked where it stands (unless later), and of an option given
  // more than once the last value counts.
  in_order,
  // Every option at most once ("--" is no option), collected before any
  // is checked, each checked when the subcommand asks for it.
  collected,
};

struct Operands {
  std::size_t most = std::numeric_limits<std::size_t>::max();
  // The refusal of one more than MOST: the operand held last, and the next.
  std::string (*too_many)(const std::string& held, const std::string& next) = nullptr;
  // An empty operand counts as none: the next one takes its place.
  bool empty_is_none = false;
};

struct OptionTable {
  std::span<const Option> options;
  Reading reading = Reading::in_order;
  Operands operands = {};
  std::size_t column = 0;  // where each option's help begins in --help
};

// The command line as the table reads it.  Values are asked for by the
// option's name (or alias); an option the table does not have is a fault
// of the program (std::logic_error).
class ParsedOptions {
 public:
  explicit ParsedOptions(const OptionTable& table);

  bool given(std::string_view name) const;
  // The value given (last), checked by its kind: text and choice.  Empty
  // when the option was not given.
  std::string text(std::string_view name) const;
  // Every value of a repeated option, in the order given, each checked.
  std::vector<std::string> texts(std::string_view name) const;
  // A whole number, checked by the kind and range of the option.
  template <std::integral T>
  T integer(std::string_view name) const;
  double real(std::string_view name) const;
  // A list's items, checked.
  std::vector<std::string> list(std::string_view name) const;
  std::vector<long long> integers(std::string_view name) const;
  std::vector<double> reals(std::string_view name) const;

  const std::vector<std::string>& operands() const { return operands_; }

  // For the parser.
  void take(std::size_t option, std::string value);
  bool taken(std::size_t option) const { return given_[option]; }
  void add_operand(const std::string& arg);
  const OptionTable& table() const { return table_; }

 private:
  std::size_t index(std::string_view name) const;
  const std::string& raw(std::size_t option) const { return values_[option]; }

  const OptionTable& table_;
  std::vector<bool> given_;
  std::vector<std::string> values_;
  std::vector<std::vector<std::string>> all_;  // of the repeated options
  std::vector<std::string> operands_;
};

// Reads ARGS (the arguments after the subcommand's name) as TABLE says.
// Throws UsageError for an unknown option, a missing value, a value its
// kind refuses (where it stands, in_order), an option given twice
// (collected) or one operand too many.
ParsedOptions parse_options(const OptionTable& table, const std::vector<std::string>& args);

// The checks of OPTION's kind and its own check on VALUE, worded as
// READING words them: UsageError when one fails.  (An integer is read as
// the widest integer here; ParsedOptions::integer reads it as the type
// asked for.)
void check_value(const Option& option, const std::string& value, Reading reading);

// The Options part of --help: under the headings of the table, each
// option's names and value's name, and its help from the table's column
// on (on the next line when the names reach the column).
std::string options_help(const OptionTable& table);

// Whether OPTION's values have bounds of their own, beyond their type's.
constexpr bool bounded(const Option& o) {
  return o.least != std::numeric_limits<long long>::min() || o.most != std::numeric_limits<long long>::max();
}

// --- the refusals, worded as each way of reading words them (for the
// template below)

[[noreturn]] void refuse_number(const Option& option, const std::string& value, NumberRead read,
                                Reading reading);
[[noreturn]] void refuse_range(const Option& option, const std::string& value, Reading reading);

template <std::integral T>
T ParsedOptions::integer(std::string_view name) const {
  const std::size_t n = index(name);
  const Option& o = table_.options[n];
  const std::string& v = raw(n);
  if (o.check != nullptr) o.check(o.name, v);
  T value{};
  if (table_.reading == Reading::in_order) {
    // Read as the widest integer, as these subcommands always have read
    // their numbers: the bounds decide, and must fit the type asked for.
    if (!std::in_range<T>(o.least) || !std::in_range<T>(o.most))
      throw std::logic_error(std::string(name) + ": bounds wider than the type asked for");
    long long wide = 0;
    const NumberRead read = read_integer(v, wide);
    if (read != NumberRead::done) refuse_number(o, v, read, table_.reading);
    if (wide < o.least || wide > o.most) refuse_range(o, v, table_.reading);
    value = static_cast<T>(wide);
  } else {
    // Read as the type asked for: a number beyond it is out of range.
    const NumberRead read = read_integer(v, value);
    if (read != NumberRead::done) refuse_number(o, v, read, table_.reading);
    if (bounded(o) && (std::cmp_less(value, o.least) || std::cmp_greater(value, o.most)))
      refuse_range(o, v, table_.reading);
  }
  return value;
}

}  // namespace c2m::cli
