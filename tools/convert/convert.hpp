// conv2model convert: the converter with a command line.  It runs the same
// code as input_driver, in the case's directory, with the input grid file
// as its first line of standard input would name it.
#pragma once

#include <string>

#include "cli.hpp"

namespace c2m::cli {

const Subcommand& convert_subcommand();

// The path of INPUT as seen from the directory DIR, both as given on a
// command line (relative to the current directory, or absolute): INPUT's
// own name when DIR is its directory, else a relative path when one can be
// formed without leaving the names as written, else INPUT made absolute.
std::string path_from(const std::string& dir, const std::string& input);

}  // namespace c2m::cli
