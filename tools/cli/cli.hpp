// What every subcommand of the front door shares: its entry in the table
// of subcommands, its streams, its usage errors and the scanning of its
// arguments.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace c2m::cli {

// Exit statuses of every subcommand.
inline constexpr int status_ok = 0;
inline constexpr int status_data_stop = 1;
inline constexpr int status_failure = 2;

struct Streams {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// A command line that cannot be run: unknown option, missing or extra
// operand, bad value.  The message says which and why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OptionTable;

struct Subcommand {
  std::string_view name;
  std::string_view summary;   // one line, for the list of subcommands
  std::string_view synopsis;  // "conv2model NAME [OPTIONS] ARGS", one or more lines
  // The rest of --help up to the options: what it does.  The Options part
  // follows, made from OPTIONS, then MORE (an example, the exit statuses).
  // A subcommand without a table has all of it in HELP.
  // The man page is made from the same texts.
  std::string_view help;
  // Runs with the arguments after the subcommand's name; returns the exit
  // status.  --help is handled before it is called.
  int (*run)(const std::vector<std::string>& args, Streams& io);
  const OptionTable* options = nullptr;
  std::string_view more = {};
};

// --help after its usage line, and the subcommand's section of the man
// page: HELP, the Options part made from the table, and MORE.
std::string help_body(const Subcommand& sub);

// Walks a subcommand's arguments: options first or mixed with operands,
// "--" ends the options.
class Args {
 public:
  explicit Args(const std::vector<std::string>& args) : args_(args) {}

  // Moves to the next argument; false when there is none.
  bool next();
  const std::string& arg() const { return args_[at_]; }
  // An option (starts with '-', is not "-", and comes before "--").
  bool is_option() const;

  // The current argument is the option NAME (a flag).
  bool flag(std::string_view name) const { return is_option() && arg() == name; }
  // The current argument is "NAME VALUE" or "NAME=VALUE"; VALUE is taken.
  bool value(std::string_view name, std::string& out);

  // Throws the usage error for the current argument, an unknown option.
  [[noreturn]] void unknown() const;

 private:
  const std::vector<std::string>& args_;
  std::size_t at_ = static_cast<std::size_t>(-1);
  bool options_done_ = false;
};

// Parses VALUE as a whole integer, or throws UsageError naming OPTION.
long long integer_value(std::string_view option, const std::string& value);
// Parses VALUE as a whole real, or throws UsageError naming OPTION.
double real_value(std::string_view option, const std::string& value);
// VALUE split at commas.
std::vector<std::string> split_list(const std::string& value);

// Flushes the standard output of a subcommand whose product it is (an
// inventory, a descriptor): WriteFailure when it could not be written, so
// that a full disk or a closed pipe is not taken for success.
void finish_output(Streams& io);

}  // namespace c2m::cli
