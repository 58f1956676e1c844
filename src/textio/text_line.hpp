// Lines of the text inputs (standard input, the run description, the date
// file).  Line ends are LF; a CR directly before the LF is dropped, so that
// files edited on other systems read the same; a last line without LF
// still counts.
#pragma once

#include <cstdio>
#include <string>

namespace c2m {

// The next line of IN, without its line end, into LINE; false at the end of
// the input.  ReadFailure, naming NAME, when the system refuses the read.
bool read_text_line(std::FILE* in, std::string& line, const std::string& name);

}  // namespace c2m
