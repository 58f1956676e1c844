// Fixed-length binary records of 4-byte little-endian IEEE reals, as the
// input grid file and the model data file hold them: no header, no record
// markers, record r at byte (r - 1) x L.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "fileio/output_file.hpp"
#include "kit/file_descriptor.hpp"
#include "layout/byte_order.hpp"

namespace c2m {

// The input grid file, open for reading by record number.  Records are
// im x jm values with their rows stored north to south.
class InputGrid {
 public:
  InputGrid() = default;
  // Opens NAME; CannotOpen when it is missing, unreadable, not a regular
  // file (after following symlinks: a directory, device, FIFO or socket),
  // or the name is empty.  Never waits on a FIFO.  PATH, when given, is
  // where NAME lies as seen from here (the diagnostics say NAME).
  InputGrid(const std::string& name, std::int32_t im, std::int32_t jm, const std::string& path = {});

  // Makes sure that records 1 to COUNT are all there; ShortFile names the
  // first record in which the file ends, and the bytes expected and found.
  // Returns the number of bytes after record COUNT.
  std::int64_t check_records(std::int64_t count);

  // Point (I, J) of record R (J = 1 the southernmost row).
  float read_point(std::int64_t r, std::int32_t i, std::int32_t j) const;

  // Record R into INTO (im x jm values) with its rows turned: row 1 of
  // INTO is the southernmost.  Each row goes straight to its place.
  void read_record(std::int64_t r, std::span<float> into) const { read_rows(r, 1, jm_, into); }

  // Rows J_LO to J_HI of record R into their places in PLANE (im x jm
  // values, row 1 the southernmost), in one vectored read per up to
  // IOV_MAX rows.
  void read_rows(std::int64_t r, std::int32_t j_lo, std::int32_t j_hi, std::span<float> plane) const;

  // Rows J_LO to J_HI of record R as they lie in the file, in one read:
  // INTO ((j_hi - j_lo + 1) x im values) begins with row J_HI, the
  // northernmost of them, and ends with row J_LO.
  void read_stored_rows(std::int64_t r, std::int32_t j_lo, std::int32_t j_hi,
                        std::span<float> into) const;

  const std::string& name() const { return name_; }

 private:
  std::int64_t record_bytes() const { return std::int64_t{im_} * jm_ * 4; }
  // Reads BYTES at OFFSET into DST whole, or fails naming record R.
  void read_exact(char* dst, std::size_t bytes, std::int64_t offset, std::int64_t r) const;

  std::string name_;
  FileDescriptor fd_;
  std::int32_t im_ = 0, jm_ = 0;
};

// Writes VALUES, part of record RECORD (counted from 1) of OUT, in
// little-endian byte order at byte OFFSET of the file.  A refused write
// names the record.
void write_record_part(OutputFile& out, std::span<const float> values, std::int64_t record,
                       std::int64_t offset);

}  // namespace c2m
