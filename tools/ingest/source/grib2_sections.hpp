// The parts of a GRIB 2 message of one field that its values are decoded
// from, shared by the decoders of the packings ingest decodes itself:
// sections 5 (how the values are packed), 6 (the bitmap) and 7 (the data),
// and the scale that makes a stored integer a value.
//
// A value is stored as an integer X and is Y = (X x 2^E + R) x 10^-D, with
// the reference value R (a 4-byte IEEE real) and the binary and decimal
// scale factors E and D of section 5, in the same octets for every
// packing.  The arithmetic is done in 8-byte reals in the same order and
// with the same powers as ecCodes does it (2^E and 10^-D made by repeated
// multiplication or division), so that every value is the very double
// ecCodes gives: the two ways agree bit for bit, and ecCodes remains the
// reader of every other kind of message.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace c2m::ingest::grib2 {

// The big-endian unsigned integer of N octets at P.
inline std::uint64_t be(const unsigned char* p, int n) {
  std::uint64_t v = 0;
  for (int k = 0; k < n; ++k) v = (v << 8) | p[k];
  return v;
}

// A signed integer of N octets: a sign bit and the magnitude, as GRIB
// stores scale factors and the extra descriptors of spatial differencing.
inline std::int64_t signed_magnitude(const unsigned char* p, int n) {
  const std::uint64_t v = be(p, n);
  const std::uint64_t sign = std::uint64_t{1} << (8 * n - 1);
  const auto magnitude = static_cast<std::int64_t>(v & (sign - 1));
  return (v & sign) ? -magnitude : magnitude;
}

struct Sections {
  const unsigned char* s5 = nullptr;
  const unsigned char* s6 = nullptr;
  const unsigned char* s7 = nullptr;
  std::uint64_t len5 = 0, len6 = 0, len7 = 0;
  int template5 = -1;  // the data representation template number
};

// The sections 5, 6 and 7 of message M; false when it is not GRIB 2, is of
// several fields or its sections do not fit it.
bool find_sections(std::span<const unsigned char> m, Sections& s);

// R, 2^E and 10^-D of section 5, and the value of a stored integer.
struct Scale {
  double reference = 0, scale2 = 1, scale10 = 1;

  static Scale of(const unsigned char* s5);
  double value(double x) const { return ((x * scale2) + reference) * scale10; }
};

// The bitmap of section 6 for POINTS points, or nullptr when there is
// none (indicator 255); false when the section holds another kind (a
// bitmap given elsewhere) or is too short for the points.
bool bitmap_of(const Sections& s, std::uint64_t points, const unsigned char*& bitmap);

// Whether the CODED values of section 5 fit the POINTS of the grid: one a
// point, or one to each point the bitmap of section 6 sets (BITMAP then
// points to it, else it is nullptr).
bool values_fit(const Sections& s, std::uint64_t points, std::uint64_t coded, const unsigned char*& bitmap);

// Of a packing of N-bit integers compressed (templates 5.40 and 5.42): the
// values coded (octets 6-9 of section 5) and the bits a value (octet 20),
// when there are some, of 1 to 31 bits (4-byte signed integers hold
// them), and they fit the POINTS (values_fit); else false.
bool compressed_fit(const Sections& s, std::uint64_t points, std::uint64_t& coded, int& bits,
                    const unsigned char*& bitmap);

// Points of BITMAP (of POINTS bits) whose bit is set.
std::uint64_t bits_set(const unsigned char* bitmap, std::uint64_t points);

inline bool bit(const unsigned char* bitmap, std::uint64_t k) { return (bitmap[k / 8] >> (7 - k % 8)) & 1u; }

// The values of the points, in order, into OUT (of POINTS values): each
// point whose bit of BITMAP is set takes the next value VALUE(i) for
// i = 0, 1, ...; the others MISSING.  BITMAP has as many bits set as
// values are given.
template <class Value>
void spread(const unsigned char* bitmap, std::uint64_t points, double missing, Value value, double* out) {
  std::uint64_t i = 0;
  for (std::uint64_t k = 0; k < points; ++k) out[k] = bit(bitmap, k) ? value(i++) : missing;
}

}  // namespace c2m::ingest::grib2

namespace c2m::ingest {

// The stored integers of one message, for the packings whose integers
// are decoded whole (complex packing, CCSDS), and what makes them values.
// The integers are kept, in 1, 2 or 4 bytes a value, rather than the
// values, 8 bytes each: a reader that takes a field a few rows at a time
// then makes the values of each block from them while the processor's
// cache holds them, in any order of the blocks.
struct PackedIntegers {
  // The integers: signed 4-byte ones in X, or unsigned samples of BYTES
  // bytes each in this machine's order in SAMPLES (CCSDS as libaec gives
  // them; complex packing's while they fit 2 bytes).
  std::vector<std::int32_t> x;
  std::vector<unsigned char> samples;
  int bytes = 0;  // 0: the integers are X
  std::uint64_t coded = 0;
  grib2::Scale scale;
  std::uint64_t points = 0;
  // The message's bitmap (its coded values go to the points whose bit is
  // set), pointing into its bytes, or nullptr: every point holds one.
  const unsigned char* bitmap = nullptr;
  bool finite = true;  // every value a number

  // SCALE, the points and BITMAP taken, and whether every value is a
  // number (values grow with the integer: when the least and the greatest
  // make numbers, so does every one).
  void made(const grib2::Scale& s, std::uint64_t n, const unsigned char* bits);
};

// What a decoder made of a message: its integers; a message it does not
// take (another packing, or a kind of it left to ecCodes), which ecCodes
// then reads; or one whose packing does not add up, which is corrupt and
// refused WHY: ecCodes, and the libraries under it, end the program on
// some such messages (an assertion, a crash) rather than fail.
struct Decoding {
  enum Kind { decoded, not_taken, corrupt } kind = not_taken;
  const char* why = "";

  static Decoding broken(const char* why) { return {corrupt, why}; }
};

// The values of points FIRST to FIRST + OUT.size() - 1 of INTS into OUT,
// the points the bitmap leaves out as MISSING.
void packed_values_range(const PackedIntegers& ints, std::uint64_t first, double missing, std::span<double> out);

// The values of every point of INTS into VALUES.
void packed_values(const PackedIntegers& ints, double missing, std::vector<double>& values);

}  // namespace c2m::ingest
