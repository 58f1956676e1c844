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
// field of POINTS grid points) into OUT.  Not taken: another packing,
// missing values managed within the groups, a field of one value (no
// groups), integers beyond 4 bytes or a bitmap that does not fit; those
// ecCodes reads.  Corrupt: groups that do not add up to the values or to
// the section that holds them.
Decoding decode_complex_integers(std::span<const unsigned char> message, std::int64_t points, PackedIntegers& out);

}  // namespace c2m::ingest
