// The model data file: headerless fixed-length records of im x jm 4-byte
// IEEE reals in little-endian byte order, R = im x jm x 4 bytes each, record
// n at byte (n - 1) x R.  Within a record row j = 1, the southernmost, comes
// first and the points of a row run west to east.  The 5 x lm + 12 records
// follow the field table of layout/records.hpp: five upper-air fields level
// by level from the bottom, then the twelve surface fields.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "kit/file_descriptor.hpp"
#include "layout/grid_description.hpp"

namespace c2m::md {

// What record N of a model data file holds.
struct RecordLabel {
  std::int64_t number = 0;
  int field = 0;             // 0 .. 16 in layout::fields
  bool surface = false;
  std::int64_t level = 0;    // k = 1 .. lm; 0 for a surface field
  float level_hpa = 0.0f;    // of level k; 0 for a surface field

  const layout::FieldInfo& info() const { return layout::fields[static_cast<std::size_t>(field)]; }
};

// The label of record N (1 .. 5 x lm + 12).  Throws IoFailure naming PATH
// when N lies outside.
RecordLabel label_record(const layout::GridDescription& grid, std::int64_t n,
                         const std::string& path);

// "1000" (hPa) for a level record, "sfc" for a surface record.
std::string level_text(const RecordLabel& label);

// "zonal wind [m s-1]": the long name and the unit.
std::string description(const layout::FieldInfo& f);

// "u at 1000 hPa", "orog (surface)".
std::string record_words(const RecordLabel& label);

// Read access to a model data file, a record or a part of one at a time:
// whatever the size of the file, only what is asked for is held in memory.
class ModelFile {
 public:
  // Opens PATH (a regular file; refused otherwise) and notes its size.
  // Throws CannotOpen.
  ModelFile(std::string path, const layout::GridDescription& grid);
  ModelFile(const ModelFile&) = delete;
  ModelFile& operator=(const ModelFile&) = delete;

  const std::string& path() const { return path_; }
  const layout::GridDescription& grid() const { return grid_; }
  std::uint64_t size() const { return size_; }
  // The file holds exactly the records its grid description announces.
  bool complete() const;
  // Records that lie whole in the file (at most 5 x lm + 12).
  std::int64_t whole_records() const;
  // Throws SizeFailure with size_mismatch_message() unless complete().
  void require_complete() const;

  // Record N into VALUES (resized to im x jm), row j = 1 first.
  void read(std::int64_t n, std::vector<float>& values);
  // Row J (1 .. jm) of record N into VALUES (resized to im).
  void read_row(std::int64_t n, std::int64_t j, std::vector<float>& values);
  // Rows J .. J + ROWS - 1 of record N into VALUES (resized to ROWS x im).
  // Throws IoFailure when the rows do not lie within 1 .. jm.
  void read_rows(std::int64_t n, std::int64_t j, std::int64_t rows, std::vector<float>& values);
  // Hands record N to TAKE in consecutive pieces of at most CHUNK points.
  void scan(std::int64_t n, const std::function<void(std::span<const float>)>& take,
            std::size_t chunk = std::size_t{1} << 20);

 private:
  void read_at(std::uint64_t offset, float* into, std::size_t count, std::int64_t n);

  std::string path_;
  const layout::GridDescription& grid_;
  FileDescriptor fd_;  // read only: a failing close loses nothing
  std::uint64_t size_ = 0;
};

// The diagnostic for a model data file of SIZE bytes that should hold
// GRID's records: both sizes and what SIZE amounts to for this grid.
std::string size_mismatch_message(const std::string& path, std::uint64_t size,
                                  const layout::GridDescription& grid);

}  // namespace c2m::md
