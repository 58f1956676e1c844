// A run description, InputModelInf.txt, read back into its parts, as the
// programs that take a case from its files need it (the converter itself
// reads it in its own stages).  The text is free format, the same as the
// converter accepts: see run_description_text.hpp for the lines.
#pragma once

#include <string>
#include <vector>

#include "layout/run_description_text.hpp"

namespace c2m::layout {

struct RunDescription {
  std::string label;  // line 1, at most 20 characters, trailing blanks cut
  RunGrid grid;
  std::vector<float> pressures_hpa;  // level 1, the bottom, first
};

// Reads the run description at PATH.  CannotOpen, ShortFile or NotANumber
// name the file and the line; SizeFailure for grid sizes no case can have
// (im or jm below 1, lm below 0, im x jm above 536,870,911 or lm above
// 100,000).
RunDescription read_run_description(const std::string& path);

}  // namespace c2m::layout
