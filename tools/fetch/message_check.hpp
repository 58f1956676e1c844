// The frame of one downloaded GRIB message, checked before it is used or
// kept: it starts with "GRIB", the length its section 0 states is the
// length the index gave it, and it ends with "7777".  (Its header
// sections are checked by ingest's own reader when the case is made.)
#pragma once

#include <span>
#include <string>

namespace c2m::fetch {

// Why BYTES are not one whole GRIB message, in words; empty when they are.
std::string message_fault(std::span<const unsigned char> bytes);

}  // namespace c2m::fetch
