// Reading a command line by a subcommand's option table.
#include "option_table.hpp"

#include <optional>

#include "cli.hpp"

namespace c2m::cli {

namespace {

bool is_option(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

bool names(const Option& o, std::string_view name) {
  return o.name == name || (!o.alias.empty() && o.alias == name);
}

struct Match {
  std::size_t option = 0;
  std::string value;
};

// The option ARGS[AT] names, taking its value from the argument itself
// (NAME=VALUE, or -jVALUE when attached) or from the next (AT moves on);
// nothing when no option of the table has that name.
std::optional<Match> find(const OptionTable& t, const std::vector<std::string>& args, std::size_t& at) {
  const std::string& a = args[at];
  for (std::size_t n = 0; n < t.options.size(); ++n) {
    const Option& o = t.options[n];
    for (const std::string_view name : {o.name, o.alias}) {
      if (name.empty()) continue;
      if (o.kind == Kind::flag) {
        if (a == name) return Match{n, ""};
        continue;
      }
      if (a == name) {
        if (at + 1 >= args.size()) throw UsageError(std::string(name) + " needs a value");
        return Match{n, args[++at]};
      }
      if (a.size() > name.size() && a.starts_with(name) && a[name.size()] == '=')
        return Match{n, a.substr(name.size() + 1)};
    }
  }
  for (std::size_t n = 0; n < t.options.size(); ++n) {
    const Option& o = t.options[n];
    if (!o.attached) continue;
    const std::string_view letter = o.name.size() == 2 ? o.name : o.alias;
    if (a.size() > letter.size() && a.starts_with(letter)) return Match{n, a.substr(letter.size())};
  }
  return std::nullopt;
}

void read_in_order(ParsedOptions& p, const std::vector<std::string>& args) {
  const OptionTable& t = p.table();
  bool options_done = false;
  for (std::size_t at = 0; at < args.size(); ++at) {
    const std::string& a = args[at];
    if (!options_done && a == "--") {
      options_done = true;
      continue;
    }
    if (options_done || !is_option(a)) {
      p.add_operand(a);
      continue;
    }
    auto m = find(t, args, at);
    if (!m) throw UsageError("unknown option " + a);
    const Option& o = t.options[m->option];
    if (!o.later && o.kind != Kind::flag) check_value(o, m->value, t.reading);
    p.take(m->option, std::move(m->value));
  }
}

// The valued option KEY names, or nothing.
std::optional<std::size_t> valued(const OptionTable& t, std::string_view key) {
  for (std::size_t n = 0; n < t.options.size(); ++n)
    if (t.options[n].kind != Kind::flag && names(t.options[n], key)) return n;
  return std::nullopt;
}

void read_collected(ParsedOptions& p, const std::vector<std::string>& args) {
  const OptionTable& t = p.table();
  for (std::size_t at = 0; at < args.size(); ++at) {
    const std::string& a = args[at];
    bool flag = false;
    for (std::size_t n = 0; n < t.options.size() && !flag; ++n)
      if (t.options[n].kind == Kind::flag && names(t.options[n], a)) {
        p.take(n, "");
        flag = true;
      }
    if (flag) continue;
    if (!is_option(a)) {
      p.add_operand(a);
      continue;
    }
    const std::size_t eq = a.find('=');
    const std::string key = a.substr(0, eq);
    const auto n = valued(t, key);
    if (!n) throw UsageError("unknown option '" + key + "' (see --help)");
    std::string value;
    if (eq != std::string::npos) {
      value = a.substr(eq + 1);
    } else {
      if (at + 1 >= args.size()) throw UsageError(key + " needs a value");
      value = args[++at];
    }
    if (p.taken(*n)) throw UsageError(key + " given more than once");
    p.take(*n, std::move(value));
  }
}

}  // namespace

ParsedOptions::ParsedOptions(const OptionTable& table)
    : table_(table), given_(table.options.size()), values_(table.options.size()), all_(table.options.size()) {}

std::size_t ParsedOptions::index(std::string_view name) const {
  for (std::size_t n = 0; n < table_.options.size(); ++n)
    if (names(table_.options[n], name)) return n;
  throw std::logic_error("no option " + std::string(name) + " in the table");
}

void ParsedOptions::take(std::size_t option, std::string value) {
  given_[option] = true;
  if (table_.options[option].repeated) all_[option].push_back(value);
  values_[option] = std::move(value);
}

void ParsedOptions::add_operand(const std::string& arg) {
  const Operands& o = table_.operands;
  if (operands_.size() >= o.most) {
    if (o.empty_is_none && operands_.back().empty()) {
      operands_.back() = arg;
      return;
    }
    throw UsageError(o.too_many(operands_.back(), arg));
  }
  operands_.push_back(arg);
}

bool ParsedOptions::given(std::string_view name) const { return given_[index(name)]; }

std::string ParsedOptions::text(std::string_view name) const {
  const std::size_t n = index(name);
  if (given_[n]) check_value(table_.options[n], raw(n), table_.reading);
  return raw(n);
}

std::vector<std::string> ParsedOptions::texts(std::string_view name) const {
  const std::size_t n = index(name);
  for (const std::string& v : all_[n]) check_value(table_.options[n], v, table_.reading);
  return all_[n];
}

double ParsedOptions::real(std::string_view name) const {
  const std::size_t n = index(name);
  check_value(table_.options[n], raw(n), table_.reading);
  double v = 0;
  read_real(raw(n), v);
  return v;
}

std::vector<std::string> ParsedOptions::list(std::string_view name) const {
  const std::size_t n = index(name);
  check_value(table_.options[n], raw(n), table_.reading);
  return split_list(raw(n));
}

std::vector<long long> ParsedOptions::integers(std::string_view name) const {
  std::vector<long long> out;
  for (const std::string& item : list(name)) {
    long long v = 0;
    read_integer(item, v);
    out.push_back(v);
  }
  return out;
}

std::vector<double> ParsedOptions::reals(std::string_view name) const {
  std::vector<double> out;
  for (const std::string& item : list(name)) {
    double v = 0;
    read_real(item, v);
    out.push_back(v);
  }
  return out;
}

ParsedOptions parse_options(const OptionTable& table, const std::vector<std::string>& args) {
  ParsedOptions p(table);
  if (table.reading == Reading::in_order)
    read_in_order(p, args);
  else
    read_collected(p, args);
  return p;
}

}  // namespace c2m::cli
