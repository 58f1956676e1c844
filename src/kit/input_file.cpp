#include "kit/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace c2m {

bool InputFile::is_directory() const { return refusal == Refusal::not_regular && S_ISDIR(mode); }

InputFile open_input(const std::string& path) {
  InputFile in;
  // Without O_NONBLOCK a FIFO would hold the reader in open() until
  // someone writes to it; with it the open returns and fstat says what it
  // is.  Regular files ignore the flag.
  in.fd.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!in.fd.is_open()) {
    in.refusal = InputFile::Refusal::open;
    in.error = errno;
    return in;
  }
  struct stat st {};
  if (::fstat(in.fd.get(), &st) != 0) {
    in.refusal = InputFile::Refusal::status;
    in.error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    in.refusal = InputFile::Refusal::not_regular;
    in.mode = st.st_mode;
  } else {
    in.mode = st.st_mode;
    in.size = static_cast<std::int64_t>(st.st_size);
  }
  if (!in.taken()) in.fd.reset();
  return in;
}

}  // namespace c2m
