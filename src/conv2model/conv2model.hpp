#pragma once

#include <string>

#include "textio/log.hpp"

namespace c2m {

struct RunOptions {
  // Run every read and check (stages 1 to 9) and make sure the outputs
  // could be written, but write nothing.
  bool check_only = false;
};

// Converts one case: INPUT_PATH and SECOND_PATH are the two 255-character
// lines of standard input (the second has no effect).  The run description
// and the date file are read from the working directory; the outputs are
// written beside the input grid file.  Returns when the outputs are
// complete; throws a RunFailure otherwise.
void conv2model(const std::string& input_path, const std::string& second_path, Log& log,
                const RunOptions& options = {});

}  // namespace c2m
