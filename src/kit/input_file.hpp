// Opening a file named by a user for reading.  A name may lead to a FIFO
// (an open for reading would wait until someone writes to it), a device
// (which never ends, or ends nowhere a record could be found) or a
// directory: the file is opened without waiting and taken only when it is
// a regular file.
//
// The facts are returned, not worded: each reader words its refusal in its
// own terms (the file's role, what was wanted instead), and the programs'
// diagnostics stay as they are.
#pragma once

#include <cstdint>
#include <string>

#include "kit/file_descriptor.hpp"

namespace c2m {

struct InputFile {
  // Why the file was not taken.
  enum class Refusal {
    none,
    open,         // the system refused to open it (ERROR)
    status,       // the system would not tell what it is (ERROR, from fstat)
    not_regular,  // it is a directory, FIFO, device or socket (MODE)
  };

  FileDescriptor fd;  // open when REFUSAL is none, else closed
  Refusal refusal = Refusal::none;
  int error = 0;          // the errno of a refused open or fstat
  unsigned mode = 0;      // st_mode, once fstat has told it
  std::int64_t size = 0;  // bytes, of a regular file

  bool taken() const { return refusal == Refusal::none; }
  bool is_directory() const;
};

// Opens PATH read-only, without waiting and closed on exec
// (O_RDONLY | O_NONBLOCK | O_CLOEXEC), and checks with fstat that it is a
// regular file (after following symlinks).
InputFile open_input(const std::string& path);

}  // namespace c2m
