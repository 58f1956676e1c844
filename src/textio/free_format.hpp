// Reader of free-format text files (the run description and the date file).
//
// Values are separated by blanks (space or tab), commas or line ends; lines
// that are empty or hold only blanks are passed over.  Every read starts on
// the line after the one where the previous read ended, and once a read has
// its values the rest of its last line is discarded.  A CR directly before
// the LF is dropped; a last line without LF still counts.
//
// Integers: optional sign and decimal digits, within 32 bits.  Reals:
// optional sign, digits with an optional point (at least one digit), and an
// optional exponent (E, e, D or d, optional sign, digits), rounded to the
// nearest 4-byte real.  Anything else where a value is expected (letters,
// a point in an integer, an empty value between commas, a slash, a repeat
// count such as 3*10, a value out of range) ends the run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace c2m {

class FreeFormatReader {
 public:
  // Reads from IN, which stays owned by the caller; NAME is the file's name
  // as diagnostics show it.
  FreeFormatReader(std::FILE* in, std::string name)
      : in_(in), name_(std::move(name)) {}

  // The next line whole, placed in a field of LENGTH characters.
  std::string read_text_line(std::size_t length, std::string_view what);

  // COUNT integers; WHAT says what they are, for the diagnostics.
  std::vector<std::int32_t> read_integers(std::size_t count, std::string_view what);
  std::int32_t read_integer(std::string_view what);

  float read_real(std::string_view what);

  // The first word: from the first non-blank character to the next blank,
  // comma, slash or line end, or a string in single or double quotes (a
  // doubled quote inside stands for one); placed in a field of LENGTH.
  std::string read_word(std::size_t length, std::string_view what);

  // Number of the line read last (1-based; 0 before the first).
  long line_number() const { return line_no_; }

 private:
  // Moves to the next line; false at the end of the file.
  bool next_line();
  // Moves to the next line that holds a non-blank character, or throws the
  // end-of-file failure for WHAT.
  void next_nonblank_line(std::string_view what);
  // The next value token of the current read (crossing lines as needed).
  std::string_view next_token(std::string_view what, bool first_of_read);
  [[noreturn]] void fail_end_of_file(std::string_view what) const;
  [[noreturn]] void fail_value(std::string_view problem, std::string_view token,
                               std::string_view what) const;

  std::FILE* in_;
  std::string name_;
  std::string line_;
  std::size_t pos_ = 0;
  long line_no_ = 0;
  bool after_value_ = false;
  bool cr_only_ = false;  // a line read so far held a CR inside it
};

// Parsers of one free-format value token, shared with the tests and the
// fuzz targets.  Empty on anything that is not such a value.
std::optional<std::int32_t> parse_integer(std::string_view token);
std::optional<float> parse_real(std::string_view token);

}  // namespace c2m
