// Command line of conv2model synth: turns the arguments into the settings of a
// case, or says precisely what is wrong with them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "option_table.hpp"
#include "synth.hpp"

namespace synth {

struct Command {
  bool help = false;           // --help given: print the help and stop
  std::filesystem::path dir;   // where the case goes
  CaseSettings settings;
  // The case also as GRIB: the file, edition 1 instead of 2, 64-bit IEEE
  // packing (exact) instead of 16-bit simple packing.
  std::optional<std::filesystem::path> grib;
  bool grib1 = false;
  bool ieee = false;
};

// Parses the arguments after the program name.  Throws UsageError with a
// message that names the offending option and value.
Command parse_command_line(const std::vector<std::string>& args);

// The command line's options, and the texts of --help before and after
// them.
const c2m::cli::OptionTable& option_table();
std::string_view about_text();
std::string_view more_text();
inline constexpr const char* synopsis = "conv2model synth [OPTIONS] DIR";

}  // namespace synth
