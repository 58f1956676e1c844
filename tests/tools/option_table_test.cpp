// The option table's parser and help: every way a command line names an
// option and its value, every refusal in the words of both ways of
// reading, and the layout of the Options part.
#include "option_table.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli.hpp"

namespace {

using namespace c2m::cli;

std::string two(const std::string& held, const std::string& next) { return "two: " + held + " " + next; }

void even(std::string_view name, const std::string& v) {
  if (v.size() % 2 != 0) throw UsageError(std::string(name) + " wants an even length");
}

constexpr Option rows[] = {
    {.name = "--flag", .help = "a flag", .heading = "Options:"},
    {.name = "-n", .alias = "--number", .kind = Kind::integer, .value = "N", .help = "a number\nof two lines",
     .least = 1, .most = 9, .allowed = "{least} to {most} things", .attached = true},
    {.name = "--real", .kind = Kind::real, .value = "X", .help = "a real"},
    {.name = "--pick", .kind = Kind::choice, .value = "a|bb|c", .help = "a choice", .choices = "a|bb|c"},
    {.name = "--pair", .kind = Kind::list, .value = "LO,HI", .help = "two reals", .item = Kind::real,
     .items = 2, .allowed = "LO,HI"},
    {.name = "--even", .kind = Kind::text, .value = "TEXT", .help = "checked its own way", .heading = "More:",
     .check = even},
    {.name = "--late", .kind = Kind::integer, .value = "N", .least = 0, .most = 5, .later = true},
};

constexpr OptionTable in_order{rows, Reading::in_order, {1, two, true}, 16};
constexpr OptionTable collected{rows, Reading::collected, {1, two, false}, 16};

std::string refusal(const OptionTable& t, const std::vector<std::string>& args) {
  try {
    parse_options(t, args);
  } catch (const UsageError& e) {
    return e.what();
  }
  return "";
}

TEST(OptionTable, NamesAndValuesTakenBothWays) {
  const struct {
    std::vector<std::string> args;
    std::string option, value;  // as given last
    std::vector<std::string> operands;
  } cases[] = {
      {{"--number", "3"}, "-n", "3", {}},
      {{"-n=4", "x"}, "--number", "4", {"x"}},
      {{"-n5"}, "-n", "5", {}},                       // attached
      {{"--even", "-a", "--even", "bb"}, "--even", "bb", {}},  // a value may start with '-'; the last counts
      {{"--even", "--", "--", "--flag"}, "--even", "--", {"--flag"}},  // "--" as a value, then the end
      {{"", "f"}, "--flag", "", {"f"}},               // an empty operand stands for none
      {{"-", "--flag"}, "--flag", "", {"-"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "" : c.args[0]);
    const ParsedOptions p = parse_options(in_order, c.args);
    EXPECT_EQ(p.text(c.option), c.value);
    EXPECT_EQ(p.operands(), c.operands);
  }
  const ParsedOptions p = parse_options(in_order, {"-n", "7", "--pair=1,2.5", "--flag"});
  EXPECT_EQ(p.integer<int>("--number"), 7);
  EXPECT_EQ(p.reals("--pair"), (std::vector<double>{1, 2.5}));
  EXPECT_TRUE(p.given("--flag"));
  EXPECT_FALSE(p.given("--real"));
  EXPECT_THROW(p.given("--nowhere"), std::logic_error);
}

TEST(OptionTable, RefusalsReadInOrder) {
  const struct {
    std::vector<std::string> args;
    std::string refusal;
  } cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--flag=1"}, "unknown option --flag=1"},       // a flag takes no value
      {{"--number"}, "--number needs a value"},        // the name as typed
      {{"-n", "x"}, "-n wants a whole number, not \"x\""},
      {{"-n", "99999999999999999999"}, "-n wants a whole number, not \"99999999999999999999\""},
      {{"-n", "10"}, "-n wants 1 to 9 things, not 10"},
      {{"--real", "1,5"}, "--real wants a number, not \"1,5\""},
      {{"--pick", "b"}, "--pick wants a, bb or c, not \"b\""},
      {{"--pair", "1"}, "--pair wants LO,HI, not \"1\""},
      {{"--pair", "1,x"}, "--pair wants a number, not \"x\""},
      {{"--even", "abc"}, "--even wants an even length"},
      {{"-n", "x", "--bogus"}, "-n wants a whole number, not \"x\""},  // where it stands
      {{"--bogus", "-n", "x"}, "unknown option --bogus"},
      {{"f", "g", "--bogus"}, "two: f g"},
      {{"--late", "x", "--", "--bogus"}, ""},  // checked later; after "--" all are operands
  };
  for (const auto& c : cases) EXPECT_EQ(refusal(in_order, c.args), c.refusal) << c.args[0];
  const ParsedOptions p = parse_options(in_order, {"--late", "6"});
  try {
    p.integer<int>("--late");
    ADD_FAILURE() << "accepted";
  } catch (const UsageError& e) {
    EXPECT_STREQ(e.what(), "--late wants from 0 to 5, not 6");
  }
}

TEST(OptionTable, RefusalsCollected) {
  const struct {
    std::vector<std::string> args;
    std::string refusal;
  } cases[] = {
      {{"--bogus=1"}, "unknown option '--bogus' (see --help)"},
      {{"--"}, "unknown option '--' (see --help)"},
      {{"--flag=1"}, "unknown option '--flag' (see --help)"},
      {{"--real"}, "--real needs a value"},
      {{"--real", "1", "--real=2"}, "--real given more than once"},
      {{"--flag", "--flag"}, ""},
      {{"", "g"}, "two:  g"},  // an empty operand counts
      {{"-n", "x"}, ""},       // nothing is checked until asked for
  };
  for (const auto& c : cases) EXPECT_EQ(refusal(collected, c.args), c.refusal) << c.args[0];

  const struct {
    std::string value;
    std::string refusal;
  } numbers[] = {
      {"x", "-n expects a whole number, got 'x'"},
      {"300", "-n value '300' is out of range"},  // beyond the type asked for
      {"12", "-n is 1 to 9 things, not '12'"},
      {"3", ""},
  };
  for (const auto& c : numbers) {
    const ParsedOptions p = parse_options(collected, {"-n", c.value});
    std::string what;
    try {
      p.integer<std::int8_t>("-n");
    } catch (const UsageError& e) {
      what = e.what();
    }
    EXPECT_EQ(what, c.refusal) << c.value;
  }
  const ParsedOptions p = parse_options(collected, {"--pick", "d"});
  EXPECT_THROW(p.text("--pick"), UsageError);
}

TEST(OptionTable, HelpUnderHeadingsFromTheColumn) {
  EXPECT_EQ(options_help(in_order),
            "Options:\n"
            "  --flag        a flag\n"
            "  -n, --number N\n"
            "                a number\n"
            "                of two lines\n"
            "  --real X      a real\n"
            "  --pick a|bb|c a choice\n"
            "  --pair LO,HI  two reals\n"
            "\n"
            "More:\n"
            "  --even TEXT   checked its own way\n"
            "  --late N\n");
}

}  // namespace

namespace {

constexpr Option repeated_rows[] = {
    {.name = "--root", .kind = Kind::text, .value = "URL", .check = even, .repeated = true},
    {.name = "--once", .kind = Kind::text, .value = "X"},
};
constexpr OptionTable repeated{repeated_rows, Reading::in_order, {}, 16};

TEST(OptionTable, ARepeatedOptionKeepsEveryValueInOrder) {
  const ParsedOptions p = parse_options(repeated, {"--root", "aa", "--once", "1", "--root=bbbb", "--once", "2"});
  EXPECT_EQ(p.texts("--root"), (std::vector<std::string>{"aa", "bbbb"}));
  EXPECT_EQ(p.text("--root"), "bbbb");
  EXPECT_EQ(p.text("--once"), "2") << "another option still takes its last value";
  EXPECT_TRUE(parse_options(repeated, {}).texts("--root").empty());
  EXPECT_EQ(refusal(repeated, {"--root", "aa", "--root", "b"}), "--root wants an even length");
}

}  // namespace
