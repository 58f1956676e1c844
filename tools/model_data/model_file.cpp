#include "model_file.hpp"

#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>

#include "kit/input_file.hpp"
#include "kit/numbers.hpp"
#include "numbers.hpp"
#include "textio/errors.hpp"

namespace c2m::md {

namespace {

std::string grid_words(const layout::GridDescription& g) {
  return decimal(g.im()) + " x " + decimal(g.jm()) + " points, " +
         decimal(g.lm) + (g.lm == 1 ? " level" : " levels");
}

}  // namespace

RecordLabel label_record(const layout::GridDescription& grid, std::int64_t n,
                         const std::string& path) {
  const auto place = layout::model_place(n, grid.lm);
  if (!place)
    throw IoFailure(path + ": there is no record " + decimal(n) +
                    ": the file holds records 1 to " + decimal(grid.record_count()) + " (" +
                    grid_words(grid) + ")");
  RecordLabel label;
  label.number = n;
  label.field = place->field;
  label.surface = place->field >= layout::upper_count;
  label.level = place->level;
  if (!label.surface) label.level_hpa = grid.level_hpa(label.level);
  return label;
}

std::string level_text(const RecordLabel& label) {
  return label.surface ? "sfc" : shortest_float(label.level_hpa);
}

std::string description(const layout::FieldInfo& f) {
  return std::string(f.long_name) + (f.unit.empty() ? "" : " [" + std::string(f.unit) + "]");
}

std::string record_words(const RecordLabel& label) {
  const std::string name(label.info().short_name);
  return label.surface ? name + " (surface)" : name + " at " + level_text(label) + " hPa";
}

std::string size_mismatch_message(const std::string& path, std::uint64_t size,
                                  const layout::GridDescription& grid) {
  const std::uint64_t r = grid.record_bytes();
  std::string m = path + ": " + decimal(size) + " bytes, but its grid description (" +
                  grid_words(grid) + ") calls for " + decimal(grid.record_count()) +
                  " records of " + decimal(r) + " bytes";
  const auto file_bytes = grid.file_bytes();
  if (!file_bytes) return m + ", more than a file can hold";
  const std::uint64_t expected = *file_bytes;
  m += ", " + decimal(expected) + " bytes; ";
  const std::uint64_t whole = size / r;
  const std::uint64_t rest = size % r;
  if (rest != 0) {
    return m + "the file holds " + decimal(whole) + " whole records of this grid and " +
           decimal(rest) +
           " bytes more: the description belongs to another grid, or the file was cut short";
  }
  m += "the file holds " + decimal(whole) + " records of this grid";
  if (whole >= 17 && (whole - 12) % 5 == 0)
    m += ", as many as " + decimal((whole - 12) / 5) + " levels would give";
  if (size < expected) return m + "; it was cut short, or the description is of another run";
  return m + "; records beyond " + decimal(grid.record_count()) +
         " may be left from an earlier run with more levels, or the description is of another run";
}

ModelFile::ModelFile(std::string path, const layout::GridDescription& grid)
    : path_(std::move(path)), grid_(grid) {
  // Without waiting: a FIFO at the name is refused, not read.
  InputFile in = open_input(path_);
  if (in.refusal == InputFile::Refusal::open)
    throw CannotOpen(path_ + ": cannot open the model data file: " + std::strerror(in.error));
  if (!in.taken())
    throw CannotOpen(path_ + ": cannot read the model data file: not a regular file");
  fd_ = std::move(in.fd);
  size_ = static_cast<std::uint64_t>(in.size);
}

bool ModelFile::complete() const { return grid_.file_bytes() == size_; }

std::int64_t ModelFile::whole_records() const {
  const std::uint64_t whole = size_ / grid_.record_bytes();
  const auto count = static_cast<std::uint64_t>(grid_.record_count());
  return static_cast<std::int64_t>(whole < count ? whole : count);
}

void ModelFile::require_complete() const {
  if (!complete()) throw SizeFailure(size_mismatch_message(path_, size_, grid_));
}

void ModelFile::read_at(std::uint64_t offset, float* into, std::size_t count, std::int64_t n) {
  // Only records that lie whole in the file are read: their offsets are
  // below its size, and no arithmetic on them can overflow.
  if (n > whole_records())
    throw ShortFile(path_ + ": record " + decimal(n) + " is not whole in the file (" +
                    decimal(size_) + " bytes, " + decimal(whole_records()) +
                    " whole records)");
  auto* p = reinterpret_cast<char*>(into);
  const std::size_t bytes = count * sizeof(float);
  std::size_t done = 0;
  while (done < bytes) {
    const std::uint64_t at = offset + done;
    if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
      throw ReadFailure(path_ + ": record " + decimal(n) + ": beyond what a file can hold");
    const ssize_t got = ::pread(fd_.get(), p + done, bytes - done, static_cast<off_t>(at));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw ReadFailure(system_reason(path_, errno) + " (reading record " + decimal(n) + ")");
    }
    if (got == 0)
      throw ShortFile(path_ + ": record " + decimal(n) + ": the file ends " +
                      decimal(at - grid_.record_offset(n)) +
                      " bytes into it (was it shortened while being read?)");
    done += static_cast<std::size_t>(got);
  }
  if constexpr (std::endian::native == std::endian::big) {
    for (std::size_t m = 0; m < count; ++m) {
      auto bits = std::bit_cast<std::uint32_t>(into[m]);
      bits = (bits >> 24) | ((bits >> 8) & 0xff00u) | ((bits << 8) & 0xff0000u) | (bits << 24);
      into[m] = std::bit_cast<float>(bits);
    }
  }
}

void ModelFile::read(std::int64_t n, std::vector<float>& values) {
  label_record(grid_, n, path_);  // the range check
  values.resize(static_cast<std::size_t>(grid_.points()));
  read_at(grid_.record_offset(n), values.data(), values.size(), n);
}

void ModelFile::read_row(std::int64_t n, std::int64_t j, std::vector<float>& values) {
  read_rows(n, j, 1, values);
}

void ModelFile::read_rows(std::int64_t n, std::int64_t j, std::int64_t rows,
                          std::vector<float>& values) {
  label_record(grid_, n, path_);
  if (j < 1 || rows < 0 || rows > grid_.jm() - j + 1)
    throw IoFailure(path_ + ": record " + decimal(n) + " has rows 1 to " +
                    decimal(grid_.jm()) + ", not " + decimal(j) + " to " +
                    decimal(j + rows - 1));
  const auto im = static_cast<std::size_t>(grid_.im());
  values.resize(static_cast<std::size_t>(rows) * im);
  read_at(grid_.record_offset(n) + static_cast<std::uint64_t>(j - 1) * im * 4, values.data(),
          values.size(), n);
}

void ModelFile::scan(std::int64_t n, const std::function<void(std::span<const float>)>& take,
                     std::size_t chunk) {
  label_record(grid_, n, path_);
  const auto points = static_cast<std::uint64_t>(grid_.points());
  std::vector<float> buffer(static_cast<std::size_t>(points < chunk ? points : chunk));
  for (std::uint64_t at = 0; at < points; at += buffer.size()) {
    const auto count = static_cast<std::size_t>(
        points - at < buffer.size() ? points - at : buffer.size());
    read_at(grid_.record_offset(n) + at * 4, buffer.data(), count, n);
    take(std::span<const float>(buffer.data(), count));
  }
}

}  // namespace c2m::md
