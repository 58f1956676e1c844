#include "conv2model/record_io.hpp"

#include <sys/uio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <cerrno>
#include <cstring>
#include <vector>

#include "kit/input_file.hpp"
#include "kit/numbers.hpp"
#include "textio/errors.hpp"
#include "textio/quote.hpp"

namespace c2m {

namespace {

// A name the system cannot take as a path (empty, or holding a NUL that
// would silently cut it) is refused before any open.
void check_name(const std::string& name, const std::string& role) {
  if (name.empty())
    throw CannotOpen(role + ": the file name is empty (the path on line 1 of standard input "
                            "begins with a blank, or holds no blank in its 255 characters)");
  if (name.find('\0') != std::string::npos)
    throw CannotOpen(role + " " + quote(name) + ": the file name holds a NUL character");
}

}  // namespace

InputGrid::InputGrid(const std::string& name, std::int32_t im, std::int32_t jm, const std::string& path)
    : name_(name), im_(im), jm_(jm) {
  check_name(name, "input grid file");
  InputFile in = open_input(path.empty() ? name : path);
  if (in.is_directory()) throw CannotOpen(system_reason(name, EISDIR));
  if (in.refusal == InputFile::Refusal::not_regular)
    // A device or a pipe has no records to read by number, and /dev/zero
    // would convert as a case of zeros.
    throw CannotOpen(name + ": is " + file_kind(in.mode) +
                     ", not a regular file: the input grid file must be a file of records");
  if (!in.taken()) throw CannotOpen(system_reason(name, in.error));
  fd_ = std::move(in.fd);
}

void InputGrid::read_exact(char* dst, std::size_t bytes, std::int64_t offset,
                           std::int64_t r) const {
  std::size_t got = 0;
  while (got < bytes) {
    const ssize_t n = ::pread(fd_.get(), dst + got, bytes - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ReadFailure(system_reason(name_, errno) + " (reading record " + decimal(r) + ")");
    }
    if (n == 0)
      throw ShortFile(name_ + ": the file ends inside record " + decimal(r) +
                      " (it changed while it was read)");
    got += static_cast<std::size_t>(n);
  }
}

std::int64_t InputGrid::check_records(std::int64_t count) {
  const std::int64_t len = record_bytes();
  struct stat st {};
  if (fstat(fd_.get(), &st) != 0) throw ReadFailure(system_reason(name_, errno));
  const std::int64_t size = st.st_size;
  if (size / len >= count) return size - count * len;
  const std::int64_t r = size / len + 1;
  throw ShortFile(name_ + ": the file ends inside record " + decimal(r) +
                  ": expected " + decimal(len) + " bytes, found " +
                  decimal(size - (r - 1) * len));
}

float InputGrid::read_point(std::int64_t r, std::int32_t i, std::int32_t j) const {
  // Rows are stored north to south: point (i, j) lies in stored row jm - j.
  const std::int64_t offset = (r - 1) * record_bytes() + (std::int64_t{jm_ - j} * im_ + (i - 1)) * 4;
  float v = 0.0f;
  read_exact(reinterpret_cast<char*>(&v), sizeof v, offset, r);
  little_endian_to_host(std::span<float>(&v, 1));
  return v;
}

void InputGrid::read_rows(std::int64_t r, std::int32_t j_lo, std::int32_t j_hi,
                          std::span<float> plane) const {
  // Rows are stored north to south: row j is stored row jm - j (from 0),
  // so rows j_hi down to j_lo lie one after the other in the file.
  const auto row_values = static_cast<std::size_t>(im_);
  const std::size_t row_bytes = row_values * sizeof(float);
  const std::int64_t first_stored = jm_ - j_hi;
  const std::int64_t base = (r - 1) * record_bytes() + first_stored * static_cast<std::int64_t>(row_bytes);
  const auto count = static_cast<std::size_t>(j_hi - j_lo + 1);
  constexpr std::size_t batch = 1024;
  iovec iov[batch];
  for (std::size_t s0 = 0; s0 < count; s0 += batch) {
    const std::size_t rows = std::min(batch, count - s0);
    for (std::size_t t = 0; t < rows; ++t) {
      const std::size_t j = static_cast<std::size_t>(j_hi) - (s0 + t);  // 1-based row
      iov[t].iov_base = plane.data() + (j - 1) * row_values;
      iov[t].iov_len = row_bytes;
    }
    const std::int64_t offset = base + static_cast<std::int64_t>(s0 * row_bytes);
    const ssize_t n = ::preadv(fd_.get(), iov, static_cast<int>(rows), static_cast<off_t>(offset));
    if (n < 0 && errno != EINTR)
      throw ReadFailure(system_reason(name_, errno) + " (reading record " + decimal(r) + ")");
    // A short or interrupted vectored read is finished row by row.
    std::size_t done = n > 0 ? static_cast<std::size_t>(n) : 0;
    const std::size_t want = rows * row_bytes;
    while (done < want) {
      const std::size_t t = done / row_bytes, in_row = done % row_bytes;
      char* dst = static_cast<char*>(iov[t].iov_base) + in_row;
      read_exact(dst, row_bytes - in_row, offset + static_cast<std::int64_t>(done), r);
      done += row_bytes - in_row;
    }
  }
  little_endian_to_host(plane.subspan((static_cast<std::size_t>(j_lo) - 1) * row_values, count * row_values));
}

void InputGrid::read_stored_rows(std::int64_t r, std::int32_t j_lo, std::int32_t j_hi,
                                 std::span<float> into) const {
  const std::int64_t row_bytes = std::int64_t{im_} * 4;
  const std::int64_t offset = (r - 1) * record_bytes() + std::int64_t{jm_ - j_hi} * row_bytes;
  const auto values = static_cast<std::size_t>(j_hi - j_lo + 1) * static_cast<std::size_t>(im_);
  read_exact(reinterpret_cast<char*>(into.data()), values * sizeof(float), offset, r);
  little_endian_to_host(into.first(values));
}

void write_record_part(OutputFile& out, std::span<const float> values, std::int64_t record,
                       std::int64_t offset) {
  const std::string what = "record " + decimal(record);
  if constexpr (std::endian::native == std::endian::little) {
    out.write_at(std::as_bytes(values), offset, what);
  } else {
    std::vector<float> swapped(values.begin(), values.end());
    little_endian_to_host(swapped);
    out.write_at(std::as_bytes(std::span<const float>(swapped)), offset, what);
  }
}

}  // namespace c2m
