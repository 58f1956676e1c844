#include "conv2model/record_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "textio/errors.hpp"

namespace c2m {

namespace {

// A name the system cannot take as a path (empty, or holding a NUL that
// would silently cut it) is refused before any open.
void check_name(const std::string& name, const std::string& role) {
  if (name.empty())
    throw CannotOpen(role + ": the file name is empty (the path on line 1 of standard input "
                            "begins with a blank, or holds no blank in its 255 characters)");
  if (name.find('\0') != std::string::npos)
    throw CannotOpen(role + " '" + name.substr(0, name.find('\0')) +
                     "...': the file name holds a NUL character");
}

}  // namespace

void little_endian_to_host(std::span<float> values, std::endian host) {
  if (host == std::endian::little) return;
  for (float& v : values) {
    auto bits = std::bit_cast<std::uint32_t>(v);
    bits = (bits >> 24) | ((bits >> 8) & 0x0000FF00u) | ((bits << 8) & 0x00FF0000u) | (bits << 24);
    v = std::bit_cast<float>(bits);
  }
}

void turn_rows(std::span<float> plane, std::int32_t im) {
  const auto row = static_cast<std::size_t>(im);
  const std::size_t rows = plane.size() / row;
  for (std::size_t a = 0, b = rows - 1; a < b; ++a, --b)
    std::swap_ranges(plane.begin() + static_cast<std::ptrdiff_t>(a * row),
                     plane.begin() + static_cast<std::ptrdiff_t>((a + 1) * row),
                     plane.begin() + static_cast<std::ptrdiff_t>(b * row));
}

RecordReader::RecordReader(const std::string& name) : name_(name) {
  check_name(name, "input grid file");
  fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw CannotOpen(system_reason(name, errno));
  struct stat st {};
  if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw CannotOpen(system_reason(name, EISDIR));
  }
}

RecordReader::~RecordReader() {
  if (fd_ >= 0) ::close(fd_);
}

void RecordReader::read_next(std::span<float> into) {
  ++record_;
  auto* p = reinterpret_cast<char*>(into.data());
  const std::size_t want = into.size_bytes();
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = ::read(fd_, p + got, want - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ReadFailure(system_reason(name_, errno) + " (reading record " +
                        std::to_string(record_) + ")");
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got < want)
    throw ShortFile(name_ + ": the file ends inside record " + std::to_string(record_) +
                    ": expected " + std::to_string(want) + " bytes, found " +
                    std::to_string(got));
  little_endian_to_host(into);
}

void RecordReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

RecordWriter::RecordWriter(const std::string& name, bool truncate) : name_(name) {
  check_name(name, "output file");
  // Learn whether this run creates the file, so that a failed run can take
  // back only what it made.
  fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ >= 0) {
    created_ = true;
    return;
  }
  if (errno != EEXIST) throw CannotOpen(system_reason(name, errno));
  fd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | (truncate ? O_TRUNC : 0));
  if (fd_ < 0) throw CannotOpen(system_reason(name, errno));
}

RecordWriter::~RecordWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (created_ && !complete_) ::unlink(name_.c_str());
  if (!complete_ && !companion_.empty()) ::unlink(companion_.c_str());
}

void RecordWriter::write(std::span<const std::byte> bytes, const std::string& what) {
  const auto* p = reinterpret_cast<const char*>(bytes.data());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd_, p + done, bytes.size() - done,
                               static_cast<off_t>(offset_) + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw WriteFailure(system_reason(name_, errno) + " (writing " + what + ")");
    }
    done += static_cast<std::size_t>(n);
  }
  offset_ += static_cast<std::int64_t>(done);
}

void RecordWriter::write_record(std::span<const float> plane, std::int64_t record) {
  const std::string what = "record " + std::to_string(record);
  if constexpr (std::endian::native == std::endian::little) {
    write(std::as_bytes(plane), what);
  } else {
    std::vector<float> swapped(plane.begin(), plane.end());
    little_endian_to_host(swapped);
    write(std::as_bytes(std::span<const float>(swapped)), what);
  }
}

void RecordWriter::truncate_here() {
  if (::ftruncate(fd_, static_cast<off_t>(offset_)) != 0)
    throw WriteFailure(system_reason(name_, errno) + " (cutting the file to " +
                       std::to_string(offset_) + " bytes)");
}

void RecordWriter::close() {
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw CloseFailure(system_reason(name_, errno) + " (closing)");
  complete_ = true;
}

}  // namespace c2m
