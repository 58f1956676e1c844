// Command line of conv2model synth: turns the arguments into the settings of a
// case, or says precisely what is wrong with them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "synth.hpp"

namespace synth {

struct Command {
  bool help = false;           // --help given: print the help and stop
  std::filesystem::path dir;   // where the case goes
  CaseSettings settings;
};

// Parses the arguments after the program name.  Throws UsageError with a
// message that names the offending option and value.
Command parse_command_line(const std::vector<std::string>& args);

// The text of --help after the synopsis.
std::string help_text();
inline constexpr const char* synopsis = "conv2model synth [OPTIONS] DIR";

}  // namespace synth
