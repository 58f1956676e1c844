// conv2model fetch: from a forecast cycle to a ready case in one command.
// The provider's index of the cycle's GRIB file is downloaded first; the
// messages the case needs are chosen from it by ingest's field table and
// planning, downloaded with range requests, and the case made from them by
// ingest's own writer.
#pragma once

#include "cli.hpp"

namespace c2m::cli {

const Subcommand& fetch_subcommand();

}  // namespace c2m::cli
