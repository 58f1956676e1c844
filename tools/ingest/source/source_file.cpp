#include "source/source_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

// The kit's refusal of PATH in ingest's words: the system's reason for a
// file that cannot be opened, else what stands at the name instead of a
// GRIB or netCDF file.
[[noreturn]] void refuse(const std::string& path, const InputFile& file) {
  if (file.refusal == InputFile::Refusal::open) throw CannotOpen(system_reason(path, file.error));
  throw CannotOpen(path + (file.is_directory() ? ": a directory, not a GRIB or netCDF file"
                                               : ": not a regular file: a GRIB or netCDF file is wanted"));
}

}  // namespace

SourceFile::SourceFile(std::string path) : path_(std::move(path)), file_(open_input(path_)) {
  if (!file_.taken()) refuse(path_, file_);
  const ssize_t got = ::pread(fd(), head_, sizeof head_, 0);
  if (got < 0) throw ReadFailure(system_reason(path_, errno));
  head_size_ = static_cast<std::size_t>(got);
}

}  // namespace c2m::ingest
