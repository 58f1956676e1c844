#include "model_file.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <filesystem>
#include <limits>

#include "errors.hpp"
#include "numbers.hpp"

namespace kvo {

namespace {

constexpr std::array<std::string_view, upper_field_count + surface_field_count> short_names = {
    "u",   "v",   "hgt", "q",   "t",                                   // upper air
    "lsm", "msl", "ps",  "topo",                                       // surface
    "st1", "sm1", "st2", "sm2", "st3", "sm3", "st4", "sm4"};           // soil layers

std::string grid_words(const GridInfo& g) {
  return std::to_string(g.im()) + " x " + std::to_string(g.jm()) + " points, " +
         std::to_string(g.lm) + (g.lm == 1 ? " level" : " levels");
}

// (5 x lm + 12) x R, or nothing when it exceeds 64 bits.
bool expected_bytes(const GridInfo& g, std::uint64_t& bytes) {
  const auto records = static_cast<std::uint64_t>(g.record_count());
  if (records > std::numeric_limits<std::uint64_t>::max() / g.record_bytes()) return false;
  bytes = records * g.record_bytes();
  return true;
}

}  // namespace

std::string_view short_name(int field) { return short_names.at(static_cast<std::size_t>(field)); }

RecordLabel label_record(const GridInfo& grid, std::int64_t n, const std::string& path) {
  if (n < 1 || n > grid.record_count()) {
    throw RecordOutOfRange(path + ": there is no record " + std::to_string(n) +
                           ": the file holds records 1 to " + std::to_string(grid.record_count()) +
                           " (" + grid_words(grid) + ")");
  }
  RecordLabel label;
  label.number = n;
  const std::int64_t upper_records = 5 * std::int64_t{grid.lm};
  if (n <= upper_records) {
    label.field = static_cast<int>((n - 1) / grid.lm);
    label.level = static_cast<std::int32_t>((n - 1) % grid.lm + 1);
    label.pressure_pa = grid.pressure_pa[static_cast<std::size_t>(label.level - 1)];
    label.name = &grid.upper[static_cast<std::size_t>(label.field)];
  } else {
    const auto m = static_cast<int>(n - upper_records - 1);
    label.field = upper_field_count + m;
    label.surface = true;
    label.name = &grid.surface[static_cast<std::size_t>(m)];
  }
  return label;
}

std::string level_text(const RecordLabel& label) {
  // The description holds hPa x 100 as 4-byte reals; dividing in the same
  // precision gives back the hPa of the run description (850, 1013.25).
  return label.surface ? "sfc" : shortest(label.pressure_pa / 100.0f);
}

std::string size_mismatch_message(const std::string& path, std::uint64_t size,
                                  const GridInfo& grid) {
  const std::uint64_t r = grid.record_bytes();
  std::uint64_t expected = 0;
  std::string m = path + ": " + std::to_string(size) + " bytes, but its grid description (" +
                  grid_words(grid) + ") calls for " + std::to_string(grid.record_count()) +
                  " records of " + std::to_string(r) + " bytes";
  if (!expected_bytes(grid, expected)) return m + ", more than a file can hold";
  m += ", " + std::to_string(expected) + " bytes; ";

  const std::uint64_t whole = size / r;
  const std::uint64_t rest = size % r;
  if (rest != 0) {
    return m + "the file holds " + std::to_string(whole) + " whole records of this grid and " +
           std::to_string(rest) +
           " bytes more: the description belongs to another grid, or the file was cut short";
  }
  m += "the file holds " + std::to_string(whole) + " records of this grid";
  if (whole >= 17 && (whole - 12) % 5 == 0)
    m += ", as many as " + std::to_string((whole - 12) / 5) + " levels would give";
  if (size < expected) return m + "; it was cut short, or the description is of another run";
  return m + "; records beyond " + std::to_string(grid.record_count()) +
         " may be left from an earlier run with more levels, as the converter does not shorten"
         " an existing file";
}

ModelFile::ModelFile(std::string path, const GridInfo& grid) : path_(std::move(path)), grid_(grid) {
  std::error_code ec;
  const std::uint64_t size = std::filesystem::file_size(path_, ec);
  if (ec) throw ReadError(path_ + ": cannot read the model data file: " + ec.message());
  std::uint64_t expected = 0;
  if (!expected_bytes(grid_, expected) || size != expected)
    throw SizeMismatch(size_mismatch_message(path_, size, grid_));
  file_ = std::fopen(path_.c_str(), "rb");
  if (file_ == nullptr) throw ReadError(with_reason(path_, "cannot open the model data file", errno));
}

ModelFile::~ModelFile() {
  if (file_ != nullptr) std::fclose(file_);  // read only: a failing close loses nothing
}

void ModelFile::read(std::int64_t n, std::vector<float>& values) {
  label_record(grid_, n, path_);  // the range check
  const std::uint64_t r = grid_.record_bytes();
  if (n != next_record_) {
    const auto offset = static_cast<std::uint64_t>(n - 1) * r;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
        fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
      next_record_ = 0;
      throw ReadError(with_reason(path_, "record " + std::to_string(n) + ": cannot seek", errno));
    }
  }
  values.resize(static_cast<std::size_t>(grid_.points()));
  const std::size_t got = std::fread(values.data(), 1, r, file_);
  if (got != r) {
    next_record_ = 0;  // position unknown: seek before the next read
    if (std::ferror(file_))
      throw ReadError(with_reason(path_, "record " + std::to_string(n) + ": read failed", errno));
    throw ReadError(path_ + ": record " + std::to_string(n) + ": the file ends " +
                    std::to_string(got) + " bytes into it (was it shortened while being read?)");
  }
  next_record_ = n + 1;
  if constexpr (std::endian::native == std::endian::big) {
    for (float& v : values) {
      auto bits = std::bit_cast<std::uint32_t>(v);
      bits = (bits >> 24) | ((bits >> 8) & 0xff00u) | ((bits << 8) & 0xff0000u) | (bits << 24);
      v = std::bit_cast<float>(bits);
    }
  }
}

}  // namespace kvo
