// The Options part of a subcommand's --help, made from its option table.
#include "option_table.hpp"

namespace c2m::cli {

namespace {

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t a = 0; a < text.size();) {
    const std::size_t b = text.find('\n', a);
    lines.push_back(text.substr(a, b == std::string_view::npos ? b : b - a));
    if (b == std::string_view::npos) break;
    a = b + 1;
  }
  return lines;
}

// "  -o, --output OUT.png": the names, then the value's name.
std::string label_of(const Option& o) {
  std::string label = "  " + std::string(o.name);
  if (!o.alias.empty()) label += ", " + std::string(o.alias);
  if (!o.value.empty()) label += " " + std::string(o.value);
  return label;
}

}  // namespace

std::string options_help(const OptionTable& table) {
  std::string t;
  const std::string indent(table.column, ' ');
  for (const Option& o : table.options) {
    if (!o.heading.empty()) t += (t.empty() ? "" : "\n") + std::string(o.heading) + "\n";
    std::string label = label_of(o);
    const std::vector<std::string_view> lines = lines_of(o.help);
    std::size_t next = 0;
    if (label.size() < table.column && !lines.empty()) {
      label.resize(table.column, ' ');
      label += lines[next++];
    }
    t += label + "\n";
    for (; next < lines.size(); ++next) t += indent + std::string(lines[next]) + "\n";
  }
  return t;
}

}  // namespace c2m::cli
