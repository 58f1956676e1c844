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
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "source/grib2_sections.hpp"

namespace c2m::ingest {

// Decodes the integers of MESSAGE (one whole GRIB 2 message holding one
// field of POINTS grid points) into OUT and returns true; or returns false
// when the message is not one this decoder takes (another packing, missing
// values managed within the groups, integers beyond 32 bits) or when its
// sections do not add up (lengths, counts, groups, bitmap): ecCodes then
// reads it and says what is wrong.
bool decode_complex_integers(std::span<const unsigned char> message, std::int64_t points, PackedIntegers& out);

}  // namespace c2m::ingest
