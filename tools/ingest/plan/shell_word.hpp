// A word of a command the user is told to run, as a POSIX shell takes it.
#pragma once

#include <string>

namespace c2m::ingest {

// WORD as one word for a POSIX shell: as it is when it needs no quoting,
// else in single quotes.
std::string shell_word(const std::string& word);

}  // namespace c2m::ingest
