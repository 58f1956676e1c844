// Failures of kvoinfo.  The library throws them; only main turns them into
// an exit status.  Every message is a whole diagnostic: it names the file
// and says what is wrong with it.
#pragma once

#include <stdexcept>
#include <string>

namespace kvo {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The grid description file is missing, unreadable or not laid out as the
// converter writes it.
class GridInfoError : public Error {
 public:
  using Error::Error;
};

// The model data file does not hold exactly the records its grid
// description announces.
class SizeMismatch : public Error {
 public:
  using Error::Error;
};

// A record number outside 1 .. 5 x lm + 12.
class RecordOutOfRange : public Error {
 public:
  using Error::Error;
};

// The model data file cannot be opened or read.
class ReadError : public Error {
 public:
  using Error::Error;
};

// An output (the picture) cannot be created, written or closed.
class WriteError : public Error {
 public:
  using Error::Error;
};

// "FILE: WHAT: REASON" with REASON the system's text for errno value ERR.
std::string with_reason(const std::string& file, const std::string& what, int err);

}  // namespace kvo
