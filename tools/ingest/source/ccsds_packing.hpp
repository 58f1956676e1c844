// The values of a GRIB 2 field stored with CCSDS compression (data
// representation template 5.42, ECMWF's open data), decoded with libaec
// from the message's bytes.
//
// The stored integers are those of simple packing, of N bits each,
// compressed by the adaptive entropy coder of CCSDS 121.0 (the
// compression options, block size and reference sample interval are in
// section 5); libaec gives them back, and they are made values as
// grib2_sections.hpp says: the very doubles ecCodes gives, without its
// handle and its array of 8-byte values.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "source/grib2_sections.hpp"

namespace c2m::ingest {

// Decodes the integers of MESSAGE (one whole GRIB 2 message holding one
// field of POINTS grid points) into OUT, as libaec gives them.  Not taken:
// another packing, 0 or 32 bits a value, signed samples or a bitmap that
// does not fit; those ecCodes reads.  Corrupt: a block size or reference
// sample interval of 0 (libaec, and so ecCodes, crash or abort on them),
// or compressed data that does not decompress to the values stated.
Decoding decode_ccsds_integers(std::span<const unsigned char> message, std::int64_t points, PackedIntegers& out);

}  // namespace c2m::ingest
