// Fixed-length binary records of 4-byte little-endian IEEE reals, as the
// input grid file and the model data file hold them: no header, no record
// markers, record r at byte (r - 1) x L.
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string>

namespace c2m {

// Turns values stored little-endian into the host's order (and back: the
// swap is its own inverse).  On a little-endian host nothing happens; HOST
// is a parameter so that the big-endian path is tested here too.
void little_endian_to_host(std::span<float> values, std::endian host = std::endian::native);

// Turns the rows of a plane of IM points a row round in place: row 1
// becomes the last and the last row 1.  The input grid file holds its rows
// north to south, the work arrays south to north.
void turn_rows(std::span<float> plane, std::int32_t im);

// Reads the records of a file one after the other, each whole in one go.
class RecordReader {
 public:
  // Opens NAME for reading; CannotOpen when it is missing, unreadable or
  // the name is empty.
  explicit RecordReader(const std::string& name);
  ~RecordReader();
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  // Reads the next record into INTO (its size is the record length in
  // values).  ShortFile when the file ends inside the record, naming the
  // record and the bytes expected and found.
  void read_next(std::span<float> into);

  void close();

 private:
  std::string name_;
  int fd_ = -1;
  std::int64_t record_ = 0;  // records read so far
};

// Opens a file for writing in place, creating it when missing.
class RecordWriter {
 public:
  // TRUNCATE: rewrite from empty (text files) or keep existing bytes until
  // overwritten (the model data file).
  RecordWriter(const std::string& name, bool truncate);
  // A file this run created and did not finish is removed again, so that a
  // failed run leaves no half-written output behind.
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Writes BYTES at the current end of what this run wrote.
  void write(std::span<const std::byte> bytes, const std::string& what);
  // Writes one plane as little-endian reals.
  void write_record(std::span<const float> plane, std::int64_t record);
  // Cuts the file after what this run wrote.
  void truncate_here();
  // Closes the file, checking the close; the file is then complete.
  void close();
  // OTHER, a file this run created beside this one, is removed too should
  // this file not be completed: a failed run leaves no file it made.
  void remove_with(const std::string& other) { companion_ = other; }

  const std::string& name() const { return name_; }
  bool created() const { return created_; }

 private:
  std::string name_;
  int fd_ = -1;
  bool created_ = false;
  bool complete_ = false;
  std::int64_t offset_ = 0;
  std::string companion_;
};

}  // namespace c2m
