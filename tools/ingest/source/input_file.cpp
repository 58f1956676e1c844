#include "source/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

int open_without_waiting(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw CannotOpen(system_reason(path, errno));
  return fd;
}

}  // namespace

InputFile::Descriptor::~Descriptor() {
  if (fd >= 0) ::close(fd);
}

InputFile::Descriptor& InputFile::Descriptor::operator=(Descriptor&& o) noexcept {
  std::swap(fd, o.fd);
  return *this;
}

InputFile::InputFile(std::string path) : path_(std::move(path)), fd_(open_without_waiting(path_)) {
  struct stat st {};
  const bool regular = ::fstat(fd_.fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!regular)
    throw CannotOpen(path_ + (S_ISDIR(st.st_mode) ? ": a directory, not a GRIB or netCDF file"
                                                  : ": not a regular file: a GRIB or netCDF file is wanted"));
  size_ = static_cast<std::int64_t>(st.st_size);
  const ssize_t got = ::pread(fd_.fd, head_, sizeof head_, 0);
  if (got < 0) throw ReadFailure(system_reason(path_, errno));
  head_size_ = static_cast<std::size_t>(got);
}

}  // namespace c2m::ingest
