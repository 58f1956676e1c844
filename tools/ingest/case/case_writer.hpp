// Making the records of the input grid file.  The jobs of a plan are
// shared out among worker threads; each decodes its fields, turns and
// cuts them into the case's order, converts them and writes every record
// at its place in the file as soon as it is made, so that memory holds a
// few planes per worker whatever the size of the case.
#pragma once

#include <string>
#include <vector>

#include "fileio/output_file.hpp"
#include "plan/candidates.hpp"
#include "plan/plan.hpp"

namespace c2m::ingest {

// Writes every record of PLAN into OUT (the input grid file, open) with
// THREADS workers (at least one).  Returns the warnings about records
// whose south-west corner is undefined, in record order.  The esat table
// must have been filled.  Throws the first failure of any worker.
std::vector<std::string> write_records(const Plan& plan, const Sources& sources, OutputFile& out,
                                       unsigned threads);

}  // namespace c2m::ingest
