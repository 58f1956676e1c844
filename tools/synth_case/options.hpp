// Command line of synth_case: turns the arguments into the settings of a
// case, or says precisely what is wrong with them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "synth.hpp"

namespace synth {

struct Command {
  bool help = false;           // --help given: print usage() and stop
  std::filesystem::path dir;   // where the case goes
  CaseSettings settings;
};

// Parses the arguments after the program name.  Throws UsageError with a
// message that names the offending option and value.
Command parse_command_line(const std::vector<std::string>& args);

// The text printed for --help.
std::string usage();

}  // namespace synth
