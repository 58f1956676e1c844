#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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

// What a check of a case found (check_case).
struct CaseCheck {
  int status = 0;                     // the status a conversion would end with
  std::string reason;                 // its diagnostic, when it would not convert
  std::vector<std::string> warnings;  // the checks' words on a case that converts but is almost
                                      // certainly wrong
};

// Reads and checks everything a conversion of the case in directory DIR
// would (its run description and date file there, its input grid file
// INPUT as a run in DIR names it, the output names), as convert --check
// does, without changing the working directory, and writes nothing.
// Fills the saturation table first.
CaseCheck check_case(const std::string& dir, const std::string& input);

// The whole program: reads the two lines of IN and converts the case in
// the working directory (convert_case).
int input_driver(std::FILE* in, Log& log, std::FILE* err);

}  // namespace c2m
