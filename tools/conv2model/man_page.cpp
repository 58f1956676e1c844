#include "man_page.hpp"

#include "version/version.hpp"

namespace c2m::cli {

std::string roff_verbatim(std::string_view text) {
  std::string out;
  bool line_start = true;
  for (const char c : text) {
    if (line_start && (c == '.' || c == '\'')) out += "\\&";
    line_start = c == '\n';
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && out.back() != '\n') out += '\n';
  return out;
}

std::string man_page(const std::string& program_help, std::span<const Subcommand> subcommands) {
  std::string m;
  m += ".TH CONV2MODEL 1 \"\" \"conv2model " + std::string(project_version()) +
       "\" \"User Commands\"\n";
  m += ".SH NAME\n";
  m += "conv2model \\- make, check, convert and inspect the initial data of the limited\\-area "
       "model\n";
  m += ".SH SYNOPSIS\n";
  m += ".nf\n";
  for (const Subcommand& s : subcommands) m += roff_verbatim(s.synopsis);
  m += roff_verbatim("conv2model --help | --version");
  m += ".fi\n";
  m += ".SH DESCRIPTION\n";
  m += ".nf\n" + roff_verbatim(program_help) + ".fi\n";
  m += ".SH SUBCOMMANDS\n";
  for (const Subcommand& s : subcommands) {
    m += ".SS " + roff_verbatim(s.name);
    m += ".nf\n";
    m += roff_verbatim(s.synopsis);
    m += "\n";
    m += roff_verbatim(help_body(s));
    m += ".fi\n";
  }
  m += ".SH SEE ALSO\n";
  m += ".nf\n" +
       roff_verbatim("input_driver --help: the converter itself, which reads the path of the\n"
                     "input grid file and a second line from standard input.") +
       ".fi\n";
  return m;
}

}  // namespace c2m::cli
