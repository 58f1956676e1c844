#include "cli.hpp"

#include <cerrno>

#include "kit/numbers.hpp"
#include "option_table.hpp"
#include "textio/errors.hpp"

namespace c2m::cli {

std::string help_body(const Subcommand& sub) {
  std::string text(sub.help);
  if (sub.options != nullptr) text += options_help(*sub.options);
  if (!sub.more.empty()) text += "\n" + std::string(sub.more);
  return text;
}

bool Args::next() {
  ++at_;
  if (at_ >= args_.size()) return false;
  if (!options_done_ && args_[at_] == "--") {
    options_done_ = true;
    return next();
  }
  return true;
}

bool Args::is_option() const {
  const std::string& a = arg();
  return !options_done_ && a.size() > 1 && a[0] == '-';
}

bool Args::value(std::string_view name, std::string& out) {
  if (!is_option()) return false;
  const std::string& a = arg();
  if (a == name) {
    if (at_ + 1 >= args_.size()) throw UsageError(std::string(name) + " needs a value");
    out = args_[++at_];
    return true;
  }
  if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
    out = a.substr(name.size() + 1);
    return true;
  }
  return false;
}

void Args::unknown() const { throw UsageError("unknown option " + arg()); }

long long integer_value(std::string_view option, const std::string& value) {
  long long v = 0;
  if (read_integer(value, v) != NumberRead::done)
    throw UsageError(std::string(option) + " wants a whole number, not \"" + value + "\"");
  return v;
}

double real_value(std::string_view option, const std::string& value) {
  double v = 0;
  if (read_real(value, v) != NumberRead::done)
    throw UsageError(std::string(option) + " wants a number, not \"" + value + "\"");
  return v;
}

std::vector<std::string> split_list(const std::string& value) {
  std::vector<std::string> items;
  std::size_t a = 0;
  for (;;) {
    const std::size_t b = value.find(',', a);
    items.push_back(value.substr(a, b == std::string::npos ? std::string::npos : b - a));
    if (b == std::string::npos) break;
    a = b + 1;
  }
  return items;
}

void finish_output(Streams& io) {
  errno = 0;
  const bool flushed = std::fflush(io.out) == 0;
  if (!flushed || std::ferror(io.out)) {
    const int err = errno;
    throw WriteFailure(err != 0 ? system_reason("standard output", err)
                                : std::string("standard output: cannot write"));
  }
}

}  // namespace c2m::cli
