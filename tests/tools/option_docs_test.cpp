// Every subcommand's options against its --help and the man page: each
// option its parser takes is in both, and each option they name is taken
// by the parser.  Every subcommand reads its command line by a table, so
// that all are held to both halves.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frontdoor.hpp"
#include "man_page.hpp"
#include "option_table.hpp"

namespace {

using namespace c2m::cli;

// The option names of the lines that begin "  -" in TEXT: "  -o, --output
// OUT.png" names -o and --output.
std::set<std::string> named_options(const std::string& text) {
  std::set<std::string> names;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("  -", 0) != 0) continue;
    std::istringstream words(line);
    for (std::string w; words >> w;) {
      const bool more = !w.empty() && w.back() == ',';
      if (more) w.pop_back();
      if (w.empty() || w[0] != '-') break;
      names.insert(w);
      if (!more) break;
    }
  }
  return names;
}

std::set<std::string> table_names(const OptionTable& t) {
  std::set<std::string> names;
  for (const Option& o : t.options) {
    names.insert(std::string(o.name));
    if (!o.alias.empty()) names.insert(std::string(o.alias));
  }
  return names;
}

// The section of the man page for SUB, with roff's escapes taken off.
std::string man_section(const std::string& page, const Subcommand& sub) {
  const std::string head = ".SS " + std::string(sub.name) + "\n";
  const auto at = page.find(head);
  if (at == std::string::npos) return "";
  const auto end = page.find("\n.S", at + head.size());
  std::string s = page.substr(at, end == std::string::npos ? std::string::npos : end - at);
  for (const auto& [escape, plain] : {std::pair{"\\-", "-"}, std::pair{"\\e", "\\"}, std::pair{"\\&", ""}})
    for (std::size_t n; (n = s.find(escape)) != std::string::npos;) s.replace(n, std::string(escape).size(), plain);
  return s;
}

// What the front door says to "conv2model SUB ARGS" on standard error.
std::string diagnostic(const Subcommand& sub, const std::vector<std::string>& args) {
  char *out = nullptr, *err = nullptr;
  std::size_t out_size = 0, err_size = 0;
  Streams io;
  io.out = open_memstream(&out, &out_size);
  io.err = open_memstream(&err, &err_size);
  std::vector<std::string> line = {std::string(sub.name)};
  line.insert(line.end(), args.begin(), args.end());
  front_door(line, io);
  std::fclose(io.out);
  std::fclose(io.err);
  const std::string said(err, err_size);
  std::free(out);
  std::free(err);
  return said;
}

TEST(OptionDocs, EveryOptionInHelpAndManPageAndTakenByTheParser) {
  const std::string page = man_page(program_help(), subcommands());
  for (const Subcommand& sub : subcommands()) {
    SCOPED_TRACE(std::string(sub.name));
    const std::set<std::string> in_help = named_options(help_of(sub));
    EXPECT_EQ(named_options(man_section(page, sub)), in_help);
    if (sub.options != nullptr) {
      EXPECT_EQ(table_names(*sub.options), in_help);
    }
    // Each option named is one the subcommand takes: alone it may lack
    // its value or an operand, but it is never unknown.
    for (const std::string& name : in_help) {
      const std::string said = diagnostic(sub, {name});
      EXPECT_EQ(said.find("unknown option"), std::string::npos) << name << ": " << said;
    }
  }
}

// Without a table, a subcommand's options would be held to the program
// alone, not to its parser.
TEST(OptionDocs, EverySubcommandReadsItsCommandLineByATable) {
  for (const Subcommand& sub : subcommands()) EXPECT_NE(sub.options, nullptr) << sub.name;
}

}  // namespace
