#pragma once

#include <cstdio>
#include <string>
#include <utility>

#include "textio/log.hpp"

namespace c2m {

// The two lines of standard input, each placed in a 255-character field.
// ShortFile when IN holds fewer than two lines.
std::pair<std::string, std::string> read_standard_input(std::FILE* in);

// The whole program: fills the saturation table, reads the two lines of
// IN, converts the case in the working directory, and returns the exit
// status; diagnostics go to ERR.
int input_driver(std::FILE* in, Log& log, std::FILE* err);

}  // namespace c2m
