// The report of an ingest: where every record of the case came from and
// how it was made, the grid, the levels and the time, what was filled,
// derived or passed over, and how to convert the case.  It is printed and
// kept as OUTDIR/ingest.txt.
#pragma once

#include <string>
#include <vector>

#include "plan/candidates.hpp"
#include "plan/plan.hpp"
#include "plan/shell_word.hpp"

namespace c2m::ingest {

struct ReportFacts {
  std::string outdir;  // as given on the command line
  std::string name;    // of the input grid file
  std::vector<std::string> warnings;
};

std::string report_text(const Plan& plan, const Sources& sources, const ReportFacts& facts);

// The two commands that convert the case in OUTDIR whose input grid file
// is NAME, as they run from the directory ingest was run in: the
// converter itself, and conv2model convert; each on a line of its own
// indented by two blanks.
std::string convert_commands(const std::string& outdir, const std::string& name);

}  // namespace c2m::ingest
