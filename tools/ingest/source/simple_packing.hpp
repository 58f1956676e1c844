// The values of a GRIB 2 field stored with simple packing (data
// representation template 5.0), the usual packing of analyses, decoded
// directly from the message's bytes.
//
// A value is stored as an unsigned integer X of N bits, and made a value
// as grib2_sections.hpp says, the very double ecCodes gives.  With a
// bitmap (section 6), only the points whose bit is set hold a value; the
// others are undefined.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace c2m::ingest {

// Decodes MESSAGE (one whole GRIB 2 message holding one field of POINTS
// grid points) into VALUES, undefined points as MISSING, and returns
// true; or returns false, leaving VALUES as they were, when the
// message is not one this decoder takes (another edition, packing or
// bitmap kind, several fields, 0 or more than 32 bits a value) or when its
// sections do not add up (lengths, counts, bitmap): ecCodes then reads it
// and says what is wrong.
bool decode_simple_packing(std::span<const unsigned char> message, std::int64_t points, double missing,
                           std::vector<double>& values);

// The values of points FIRST to FIRST + OUT.size() - 1 of such a message
// (of POINTS points) into OUT, those a bitmap leaves out as MISSING, for a
// reader that takes a field a few rows at a time; false, OUT untouched,
// for a message this decoder does not take, one whose values may not all
// be numbers (a reference value or scale that is NaN or infinite: the
// whole decoding then tells them) or a range beyond the points.
bool decode_simple_packing_range(std::span<const unsigned char> message, std::int64_t points, std::int64_t first,
                                 double missing, std::span<double> out);

}  // namespace c2m::ingest
