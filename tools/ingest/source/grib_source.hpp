// GRIB files (edition 1 or 2, told from each message, mixed freely) as a
// source of fields, read with ecCodes.
//
// Opening a file walks its messages: first the frame of each (its "GRIB"
// mark, its length against the file, its end "7777": grib_framing), then
// the header sections alone, read and parsed on several threads
// (grib_header).  The values are decoded later, on demand, from the
// message's bytes, with the missing value set to the case's undefined
// mark so that bitmapped points can never pass for data (ecCodes'
// default, 9999, is a plausible value).
#pragma once

#include <string>
#include <vector>

#include "source/fields.hpp"
#include "source/source_file.hpp"

namespace c2m::ingest {

class GribSource : public FieldSource {
 public:
  // Walks FILE, the input file number INDEX (from 0), parsing the headers
  // on THREADS threads; the source keeps FILE open to read the values.
  // Throws ReadFailure, ShortFile (a truncated message) or IoFailure (not
  // GRIB, a corrupt message), naming the file and the message.
  GribSource(SourceFile file, int index, unsigned threads = 1);
  // The same, PATH opened first (CannotOpen when it cannot be).
  GribSource(std::string path, int index, unsigned threads = 1);

  const std::string& path() const override { return file_.path(); }
  std::string format() const override;
  int messages() const override { return messages_; }
  const std::vector<FieldInfo>& fields() const override { return fields_; }
  void read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const override;
  // GRIB 2 fields of simple packing without a bitmap, alone in their
  // message, are decoded a range at a time.
  bool read_range(const FieldInfo& f, DecodeScratch& scratch, std::int64_t first,
                  std::span<double> out) const override;

 private:
  // Frames every message, then parses their headers on the workers.
  void walk();
  // The bytes of F's message into SCRATCH, unless they are there already.
  void load(const FieldInfo& f, DecodeScratch& scratch) const;

  SourceFile file_;
  int index_ = 0;
  unsigned threads_ = 1;
  int messages_ = 0;
  bool edition1_ = false, edition2_ = false;
  std::vector<FieldInfo> fields_;
};

}  // namespace c2m::ingest
