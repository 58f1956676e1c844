// Reading a small text file whole: a table, a description.  Such files
// are named by users, and a name may lead to a FIFO (which would block the
// reader), a device (which never ends) or a directory: only a regular file
// of at most a stated size is read.
#pragma once

#include <cstddef>
#include <string>

namespace c2m {

// The bytes of PATH, a regular file of at most LIMIT bytes.  WHAT names
// the file's role in diagnostics ("the field table").  CannotOpen when it
// cannot be opened or is not a regular file, SizeFailure when it is
// larger, ReadFailure when reading fails.
std::string read_small_file(const std::string& path, std::size_t limit, const std::string& what);

}  // namespace c2m
