// GRIB files (edition 1 or 2, told from each message, mixed freely) as a
// source of fields, read with ecCodes.
//
// Opening a file walks its messages: first the frame of each (its "GRIB"
// mark, its length against the file, its end "7777": grib_framing), a
// batch at a time, then the header sections of the batch, parsed on
// several threads (grib_header).  The values are decoded later, on
// demand, from the message's bytes read whole in one piece, with the
// missing value set to the case's undefined mark so that bitmapped points
// can never pass for data (ecCodes' default, 9999, is a plausible value).
// The bytes read are first checked to be the message indexed (its length,
// its end mark and the digest of its head), and a value that is not a
// number (a reference value that is NaN, say) becomes an undefined point,
// counted.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "source/fields.hpp"
#include "source/grib_framing.hpp"
#include "source/source_file.hpp"

namespace c2m::ingest {

class GribSource : public FieldSource {
 public:
  // Walks FILE, the input file number INDEX (from 0), parsing the headers
  // on THREADS threads; the source keeps FILE open to read the values.
  // Throws ReadFailure, ShortFile (a truncated message) or IoFailure (not
  // GRIB, a corrupt message), naming the file and the message.
  // With PARTIAL, a message that cannot be framed or parsed ends the index
  // there instead (index_end), the fields before it kept; a file without
  // any message is still refused.
  GribSource(SourceFile file, int index, unsigned threads = 1, bool partial = false);
  // The same, PATH opened first (CannotOpen when it cannot be).
  GribSource(std::string path, int index, unsigned threads = 1, bool partial = false);

  const std::string& path() const override { return file_.path(); }
  std::string format() const override;
  int messages() const override { return messages_; }
  const std::vector<FieldInfo>& fields() const override { return fields_; }
  void read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const override;
  // GRIB 2 fields of simple packing without a bitmap, alone in their
  // message, are decoded a range at a time.
  bool read_range(const FieldInfo& f, DecodeScratch& scratch, std::int64_t first,
                  std::span<double> out) const override;
  void check_unchanged() const override;
  const std::optional<IndexEnd>& index_end() const override { return end_; }

 private:
  // Frames every message, then parses their headers on the workers, a
  // batch at a time.
  void walk();
  // The headers of BATCH parsed, their fields kept; false when one failed
  // (PARTIAL: the index ends there; else thrown).
  bool parse(std::vector<grib::MessageSpan>& batch);
  // Ends the index at message NUMBER (at byte AT) for FAILURE: kept when
  // partial, else thrown.
  void end_at(int number, std::int64_t at, const std::exception_ptr& failure);
  // The bytes of F's message into SCRATCH, unless they are there already,
  // checked to be the message indexed.
  void load(const FieldInfo& f, DecodeScratch& scratch) const;

  SourceFile file_;
  int index_ = 0;
  unsigned threads_ = 1;
  bool partial_ = false;
  std::int64_t size_ = 0, mtime_ns_ = 0;  // when it was opened
  int messages_ = 0;
  std::optional<IndexEnd> end_;
  bool edition1_ = false, edition2_ = false;
  std::vector<FieldInfo> fields_;
};

}  // namespace c2m::ingest
