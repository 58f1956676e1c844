// The values of a GRIB 2 field stored with JPEG 2000 compression (data
// representation template 5.40), decoded with OpenJPEG from the message's
// bytes.
//
// The stored integers are those of simple packing, of N bits each, as
// the one component of a JPEG 2000 codestream of the grid's width and
// height (section 7 holds the codestream); OpenJPEG gives them back, and
// they are made values as grib2_sections.hpp says: the very doubles
// ecCodes gives, without its array of 8-byte values beside OpenJPEG's.
#pragma once

#include <cstdint>
#include <span>

#include "source/grib2_sections.hpp"

namespace c2m::ingest {

// Decodes the integers of MESSAGE (one whole GRIB 2 message holding one
// field of POINTS grid points) into OUT.  Not taken: another packing, no
// bits a value (a field of one value) or a bitmap that does not fit; those
// ecCodes reads.  Corrupt: a codestream OpenJPEG cannot decode, or that
// is not one component of unsigned samples, as many as the values stated.
Decoding decode_jpeg_integers(std::span<const unsigned char> message, std::int64_t points, PackedIntegers& out);

}  // namespace c2m::ingest
