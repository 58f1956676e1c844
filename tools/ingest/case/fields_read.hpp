// The fields that the writing of a case decodes: for a caller that must
// have them at hand before the case is written (downloaded, say), and no
// others.
#pragma once

#include <vector>

#include "plan/plan.hpp"

namespace c2m::ingest {

// Every field PLAN's jobs read, once each, in the order the jobs name
// them.  A level's relative humidity is read only when it is made from r
// (its specific humidity q is read whenever the level has it).
std::vector<const FieldInfo*> fields_read(const Plan& plan);

}  // namespace c2m::ingest
