// The files a fetched case is made from, as ingest's sources: the
// downloaded messages under the name they have in OUTDIR (the file being
// written under a temporary name until the case is in place), and the
// invariant files, whose fields (a land-sea mask, an orography, a soil of
// another date) are taken as valid at the cycle's time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "source/fields.hpp"

namespace c2m::fetch {

// SOURCE known as NAME.
std::unique_ptr<ingest::FieldSource> named_source(std::unique_ptr<ingest::FieldSource> source, std::string name);

// SOURCE with all its fields valid at VALID.
std::unique_ptr<ingest::FieldSource> invariant_source(std::unique_ptr<ingest::FieldSource> source,
                                                      const ingest::ValidTime& valid);

}  // namespace c2m::fetch
