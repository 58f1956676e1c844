// The parameter (ecCodes' paramId) of GRIB 2 messages, worked out once per
// product definition.
//
// ecCodes finds a message's parameter by matching its keys against every
// entry of its parameter tables, which costs more than the rest of the
// header.  The keys it matches (discipline, category and number, kinds and
// values of the fixed surfaces, statistical processing, generating process,
// constituents, local tables, and so on) all lie in sections 0 to 4 of the
// message, and none of them is the reference time.  A month of analyses in
// one file repeats the same product definitions time after time, differing
// only in the reference time: so the parameter is remembered for the bytes
// of sections 0 to 4 with the reference time (and the message's total
// length) left out, and any other difference, however small, is a new
// definition that ecCodes works out afresh.
#pragma once

#include <eccodes.h>

#include <cstdint>
#include <optional>
#include <span>

namespace c2m::ingest {

// The paramId of H, the handle of a GRIB 2 message of one field whose
// sections 0 to 4 are HEAD (the message's first bytes, up to section 5):
// remembered from an earlier message of the same definition, or asked of
// ecCodes (and remembered).  Nothing when ecCodes has none.  Safe to call
// from several threads.
std::optional<long> param_id_of(codes_handle* h, std::span<const unsigned char> head);

}  // namespace c2m::ingest
