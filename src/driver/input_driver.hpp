#pragma once

#include <cstdio>
#include <string>
#include <utility>

#include "conv2model/conv2model.hpp"
#include "textio/log.hpp"

namespace c2m {

// The two lines of standard input, each placed in a 255-character field.
// ShortFile when IN holds fewer than two lines.
std::pair<std::string, std::string> read_standard_input(std::FILE* in);

// Converts the case in the working directory whose input grid file line 1
// names (line 2 has no effect), both as read from standard input; fills
// the saturation table first.  Returns the exit status; diagnostics go to
// ERR as "PROGRAM: TEXT".
int convert_case(const std::string& line1, const std::string& line2, Log& log, std::FILE* err,
                 const std::string& program, const RunOptions& options = {});

// The whole program: reads the two lines of IN and converts the case in
// the working directory (convert_case).
int input_driver(std::FILE* in, Log& log, std::FILE* err);

}  // namespace c2m
