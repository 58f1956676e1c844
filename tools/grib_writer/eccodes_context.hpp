// The ecCodes context that ingest and the GRIB writer share.  ecCodes'
// own complaints are kept (the last one of each thread) instead of going
// to standard error, so that a diagnostic can say them with the file and
// the message they concern.
#pragma once

#include <eccodes.h>

#include <string>

namespace c2m::ingest {

codes_context* eccodes();

// ecCodes' text for ERR, with its last complaint of this thread.
std::string eccodes_reason(int err);

}  // namespace c2m::ingest
