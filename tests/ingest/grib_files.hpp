// What the ingest tests share: small synthetic cases written as GRIB,
// GRIB files rewritten message by message with ecCodes (to make the
// conventions real files use: rows south to north, levels in Pa, several
// fields in a message, a field missing, two times), and runs of the built
// conv2model.
#pragma once

#include <eccodes.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "support/scratch.hpp"

namespace ingesttest {

// A synthetic case (synth::write_case) in DIR: IM x JM points from
// (LAT0, LON0) degrees south-west, RES degrees apart, LM levels, valid at
// DATE (YYYYMMDDHH).
void make_case(const std::string& dir, int im, int jm, double lat0, double lon0, double res, int lm,
               const std::string& date = "2026120806");

// The case in DIR as GRIB (edition 2 unless GRIB1), IEEE 64-bit unless
// SIMPLE16.  Returns the file's bytes.
std::string case_as_grib(const std::string& dir, bool grib1 = false, bool simple16 = false);

// A message open for reading and changing its keys.
class Message {
 public:
  explicit Message(codes_handle* h) : h_(h) {}
  long get_long(const char* key) const;
  double get_double(const char* key) const;
  std::string get_string(const char* key) const;
  std::vector<double> values() const;  // missing points as 9.999e20
  void set(const char* key, long v);
  void set(const char* key, double v);
  void set(const char* key, const std::string& v);
  void set_values(const std::vector<double>& v);
  codes_handle* handle() const { return h_; }

 private:
  codes_handle* h_;
};

// The messages of BYTES passed through EDIT in order; EDIT returns false
// to leave a message out.
std::string rewrite(const std::string& bytes, const std::function<bool(Message&)>& edit);

// The u and v messages of each level of BYTES made one message of two
// fields, as NCEP writes them.
std::string winds_together(const std::string& bytes);

// Big-endian 4-byte integers in GRIB sections.
std::uint32_t be32(const std::string& b, std::size_t at);
void put_be32(std::string& b, std::size_t at, std::uint32_t v);

// BYTES with every section of every GRIB 2 message passed to EDIT (the
// bytes, where the section starts, its number), which may change the
// section's contents in place but not its length.
std::string edit_sections(std::string bytes, const std::function<void(std::string&, std::size_t, int)>& edit);

// The messages of BYTES one by one, each whole.
std::vector<std::string> messages_of(const std::string& bytes);
// The values of the message MESSAGE as ecCodes decodes them, missing
// points as 9.999e20, and its points.
std::vector<double> values_by_eccodes(const std::string& message);
long points_of(const std::string& message);
// A message's bytes as a decoder takes them.
std::span<const unsigned char> bytes_of(const std::string& s);

// Runs the built conv2model with ARGS in DIR.
testsupport::RunResult conv2model(const std::string& dir, const std::vector<std::string>& args);

// Record N (from 1) of a file of records of POINTS 4-byte reals.
std::vector<float> record(const std::string& bytes, std::int64_t points, std::int64_t n);

}  // namespace ingesttest
