// A case just written, checked as the converter will see it: its own
// reading and checks (those of convert --check) run on the case's
// directory, so that a case that would stop is never reported made.
//
// A regional field regridded onto a larger grid (a Lambert domain remapped
// onto a global one) is undefined outside its domain; where the south-west
// corner of a level is undefined the converter takes the whole level as
// missing and stops.  The area to cut instead is the largest rectangle of
// the grid over which every field the converter needs is defined.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plan/grid.hpp"
#include "plan/plan.hpp"

namespace c2m::ingest {

struct CaseVerdict {
  int status = 0;                     // what a conversion would end with
  std::string reason;                 // the converter's diagnostic, when it would not convert
  std::vector<std::string> warnings;  // words on a case that is almost certainly wrong
  // When the stop comes from undefined points: the largest area over which
  // every required field is defined (none when no point is).
  std::optional<Area> defined_area;
  bool undefined_corners = false;     // some level's south-west corner is undefined
};

// The case of PLAN, written in OUTDIR with its input grid file NAME,
// checked by the converter's own reading and checks.
CaseVerdict check_written_case(const Plan& plan, const std::string& outdir, const std::string& name);

// The verdict's warnings to ERR as "PROGRAM: warning: TEXT"; when the case
// would not convert, DataStop (or the failure of the converter's status)
// saying so, with the converter's reason and the area to cut, the case
// kept in OUTDIR.
void say_verdict(const CaseVerdict& v, const std::string& outdir, const std::string& name, std::FILE* err,
                 const std::string& program);

// The largest rectangle of DEFINED (ROWS x COLS, row-major), as rows R0 ..
// R1 and columns C0 .. C1 (inclusive); none when no point is defined.  On a
// GLOBAL grid the rectangle may run across the last column into the first.
struct GridRect {
  std::int64_t r0 = 0, r1 = 0, c0 = 0, c1 = 0;  // c1 < c0: across the seam of a global grid
};
std::optional<GridRect> largest_defined(const std::vector<unsigned char>& defined, std::int64_t rows,
                                        std::int64_t cols, bool global);

}  // namespace c2m::ingest
