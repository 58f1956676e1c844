// GRIB files (edition 1 or 2, told from each message, mixed freely) as a
// source of fields, read with ecCodes.
//
// Opening a file walks its messages: each is found by its "GRIB" mark,
// its length is checked against the file and its end against "7777", and
// only its header sections are read and parsed; a GRIB 2 message that
// holds several fields (sections 2 to 7 repeated, as NCEP stores u and v
// together) is parsed whole, one handle per field.  The values are decoded
// later, on demand, from the message's bytes, with the missing value set to
// the case's undefined mark so that bitmapped points can never pass for
// data (ecCodes' default, 9999, is a plausible value).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "source/fields.hpp"

namespace c2m::ingest {

class GribSource : public FieldSource {
 public:
  // Opens and walks PATH, the input file number INDEX (from 0), parsing
  // the headers on THREADS threads.  Throws CannotOpen, ReadFailure,
  // ShortFile (a truncated message) or IoFailure (not GRIB, a corrupt
  // message), naming the file and the message.
  GribSource(std::string path, int index, unsigned threads = 1);
  ~GribSource() override;
  GribSource(const GribSource&) = delete;
  GribSource& operator=(const GribSource&) = delete;

  const std::string& path() const override { return path_; }
  std::string format() const override;
  int messages() const override { return messages_; }
  const std::vector<FieldInfo>& fields() const override { return fields_; }
  void read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const override;
  // GRIB 2 fields of simple packing without a bitmap, alone in their
  // message, are decoded a range at a time.
  bool read_range(const FieldInfo& f, DecodeScratch& scratch, std::int64_t first,
                  std::span<double> out) const override;

 private:
  void walk();
  // The bytes of F's message into SCRATCH, unless they are there already.
  void load(const FieldInfo& f, DecodeScratch& scratch) const;
  // The fields of message NUMBER, TOTAL bytes at AT.
  std::vector<FieldInfo> parse(int number, std::int64_t at, std::int64_t total, int edition,
                               std::vector<unsigned char>& header, std::vector<unsigned char>& whole) const;

  std::string path_;
  int index_ = 0;
  unsigned threads_ = 1;
  int fd_ = -1;
  std::int64_t size_ = 0;
  int messages_ = 0;
  bool edition1_ = false, edition2_ = false;
  std::vector<FieldInfo> fields_;
};

}  // namespace c2m::ingest
