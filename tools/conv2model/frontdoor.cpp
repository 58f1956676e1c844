#include "frontdoor.hpp"

#include <array>
#include <new>
#include <stdexcept>

#include "convert.hpp"
#include "export.hpp"
#include "fetch.hpp"
#include "info.hpp"
#include "ingest.hpp"
#include "man_page.hpp"
#include "plot.hpp"
#include "synth_command.hpp"
#include "textio/errors.hpp"
#include "version/version.hpp"

namespace c2m::cli {

namespace {

// One line per subcommand, in the order --help lists them.
const Subcommand table[] = {
    synth_subcommand(),
    fetch_subcommand(),
    ingest_subcommand(),
    convert_subcommand(),
    info_subcommand(),
    plot_subcommand(),
    export_subcommand(),
};

void put(std::FILE* f, const std::string& text) { std::fwrite(text.data(), 1, text.size(), f); }

const Subcommand* find(const std::string& name) {
  for (const Subcommand& s : table)
    if (s.name == name) return &s;
  return nullptr;
}

// --help anywhere among the options asks for help, whatever else is there.
bool wants_help(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

}  // namespace

std::span<const Subcommand> subcommands() { return table; }

std::string help_of(const Subcommand& sub) {
  return "usage: " + std::string(sub.synopsis) + "\n\n" + help_body(sub);
}

std::string program_help() {
  std::string t =
      "usage: conv2model SUBCOMMAND [OPTIONS] [ARGS]\n"
      "       conv2model --help | --version\n"
      "\n"
      "Makes, checks, converts and inspects the initial data of the limited-area\n"
      "model: from pressure-level analyses to the model data file NAME.KVOwrk and its\n"
      "grid description NAME.KVOwrk.gdsinfo.\n"
      "\n"
      "Subcommands:\n";
  for (const Subcommand& s : table) {
    std::string name(s.name);
    name.resize(10, ' ');
    t += "  " + name + std::string(s.summary) + "\n";
  }
  t +=
      "\n"
      "'conv2model SUBCOMMAND --help' tells more about each; 'man conv2model' has\n"
      "them all.  input_driver, the converter itself, is run in the case's\n"
      "directory and reads two lines from standard input: the input grid file's\n"
      "name, and a second line that must be there but is not used.\n"
      "\n"
      "Exit status: 0 done; 1 data stop (the case's data cannot be used); 2 wrong\n"
      "usage, or an input or output failure; 128 + N stopped by signal N.\n";
  return t;
}

int front_door(const std::vector<std::string>& args, Streams& io) {
  if (args.empty()) {
    put(io.err, "conv2model: no subcommand given\n" + program_help());
    return status_failure;
  }
  const std::string& first = args[0];
  if (first == "--help" || first == "-h" || first == "help") {
    // Not listed: the man page, made at build time from these same texts.
    if (first == "help" && args.size() == 2 && args[1] == "--man") {
      put(io.out, man_page(program_help(), subcommands()));
      return status_ok;
    }
    if (first == "help" && args.size() > 1) {
      if (const Subcommand* s = find(args[1])) {
        put(io.out, help_of(*s));
        return status_ok;
      }
      put(io.err, "conv2model: no subcommand '" + args[1] + "'\n");
      return status_failure;
    }
    put(io.out, program_help());
    return status_ok;
  }
  if (first == "--version") {
    put(io.out, "conv2model " + version_text() + "\n");
    return status_ok;
  }
  const Subcommand* sub = find(first);
  if (sub == nullptr) {
    put(io.err, "conv2model: no subcommand '" + first + "'; 'conv2model --help' lists them\n");
    return status_failure;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (wants_help(rest)) {
    put(io.out, help_of(*sub));
    return status_ok;
  }
  // Every failure ends here as a status and one diagnostic: nothing a
  // subcommand throws may abort the program.
  const std::string program = "conv2model " + std::string(sub->name);
  try {
    return sub->run(rest, io);
  } catch (const UsageError& e) {
    std::fflush(io.out);
    put(io.err, program + ": " + e.what() + "\nusage: " + std::string(sub->synopsis) +
                    "\nTry 'conv2model " + std::string(sub->name) + " --help' for more.\n");
    return status_failure;
  } catch (const RunFailure& e) {
    std::fflush(io.out);
    put(io.err, program + ": " + e.what() + "\n");
    return e.status();
  } catch (const std::bad_alloc&) {
    std::fflush(io.out);
    put(io.err, program + ": out of memory\n");
    return status_failure;
  } catch (const std::exception& e) {
    std::fflush(io.out);
    put(io.err, program + ": " + e.what() + "\n");
    return status_failure;
  }
}

}  // namespace c2m::cli
