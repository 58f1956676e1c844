// The values of a GRIB 2 field stored with complex packing (data
// representation template 5.2), or complex packing with spatial
// differencing (5.3, GFS's packing), decoded directly from the message's
// bytes.
//
// The coded values are split into groups, each with its own reference,
// width (bits a value) and length (values); a value is its group's
// reference plus its own bits.  With spatial differencing those are the
// differences of first or second order of the integers stored, less
// their minimum: the first one or two integers and that minimum are kept
// apart (the extra descriptors at the start of section 7), and the
// integers are made again by adding up.  An integer X is then the value
// (X x 2^E + R) x 10^-D, as with simple packing, in the arithmetic of
// grib2_sections.hpp: the very doubles ecCodes gives.
//
// The integers are kept, 4 bytes a value, rather than the values, 8
// bytes each: a reader that takes a field a few rows at a time then makes
// the values of each block from them while the processor's cache holds
// them, in any order of the blocks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "source/grib2_sections.hpp"

namespace c2m::ingest {

// The integers of one message and what makes them values.
struct ComplexIntegers {
  std::vector<std::int32_t> x;  // one per coded value, in order
  grib2::Scale scale;
  std::uint64_t points = 0;
  // The message's bitmap (its coded values go to the points whose bit is
  // set), pointing into its bytes, or nullptr: every point holds one.
  const unsigned char* bitmap = nullptr;
  bool finite = true;  // every value a number

  double value(std::uint64_t i) const { return scale.value(static_cast<double>(x[i])); }
};

// Decodes the integers of MESSAGE (one whole GRIB 2 message holding one
// field of POINTS grid points) into OUT and returns true; or returns false
// when the message is not one this decoder takes (another packing, missing
// values managed within the groups, integers beyond 32 bits) or when its
// sections do not add up (lengths, counts, groups, bitmap): ecCodes then
// reads it and says what is wrong.
bool decode_complex_integers(std::span<const unsigned char> message, std::int64_t points, ComplexIntegers& out);

// The values of INTS, of every point, into VALUES, undefined points as
// MISSING.
void complex_values(const ComplexIntegers& ints, double missing, std::vector<double>& values);

// The values FIRST to FIRST + OUT.size() - 1 of INTS, which has no
// bitmap, into OUT.
void complex_values_range(const ComplexIntegers& ints, std::uint64_t first, std::span<double> out);

}  // namespace c2m::ingest
