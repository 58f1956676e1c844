// The header sections of one GRIB message parsed into the descriptions of
// its fields.
//
// Only the header is read and parsed, in one short piece when it fits: a
// GRIB 2 message of one field is described from its sections 0 to 4
// alone (the grid and the product).  A GRIB 2 message that holds several
// fields (sections 2 to 7 repeated, as NCEP stores u and v together) is
// parsed whole, one handle per field, and so is a GRIB 1 message whose
// kind of grid only its data section tells.  Before ecCodes sees the
// header, what it claims is checked against the message: every GRIB 2
// section within it, a grid within the plane limit, a bitmap of a bit a
// point, a unit of the forecast time that WMO's tables know.
#pragma once

#include <vector>

#include "source/fields.hpp"
#include "source/grib_framing.hpp"
#include "source/source_file.hpp"

namespace c2m::ingest::grib {

// What a worker keeps from one message to the next: the bytes read of a
// message's header, and of a whole message.
struct HeaderBuffers {
  std::vector<unsigned char> header, whole;
};

// The fields of message M of FILE, input file number INDEX.  Throws
// ReadFailure, ShortFile, SizeFailure or IoFailure naming the file and the
// message.
std::vector<FieldInfo> parse_header(const SourceFile& file, int index, const MessageSpan& m, HeaderBuffers& buffers);

}  // namespace c2m::ingest::grib
