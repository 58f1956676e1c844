// Many cases from one set of files: one case per validity time the files
// hold, each in OUTDIR/YYYYMMDDHH and each exactly the case that an ingest
// of that time alone (--time) makes, report included.
//
// The files are opened and their headers indexed once; the times come
// from the fields the sources describe (FieldInfo::valid), whatever the
// format of the file.  The cases are made on every core: a few cases at
// once, the cores shared among them, each case's records decoded and
// written by that case's own workers, so that the machine is never asked
// for more threads than it has cores and memory holds a few planes per
// worker.  A time whose case cannot be made is reported and the others go
// on.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "plan/candidates.hpp"
#include "plan/plan.hpp"

namespace c2m::ingest {

struct AllTimesOptions {
  std::string outdir;
  std::string name = "case.bin";  // of each case's input grid file
  PlanOptions plan;               // as for one case; its time is set per case
  unsigned cores = 1;             // -j: the workers of all the cases together
  bool quiet = false;             // nothing on standard output, only failures on standard error
  bool terminal = false;          // standard error is a terminal: a count kept in place
};

// The candidates of one validity time.
struct TimeCandidates {
  ValidTime valid;
  std::vector<Candidate> cands;  // in file and message order
};

// CANDS split by validity time, the earliest first, each keeping the
// order of CANDS.
std::vector<TimeCandidates> split_by_time(const std::vector<Candidate>& cands);

// The most cases made at once.  Each holds four output files open, and
// the cleanup on a signal knows 32 temporary files at a time.
inline constexpr unsigned max_cases_at_once = 8;

// How CORES workers are shared among CASES cases: one entry per case made
// at once (at most max_cases_at_once, and never more than cases or
// cores), the workers of each; together exactly CORES (at least one).
std::vector<unsigned> share_cores(unsigned cores, std::size_t cases);

// The name of a case's directory in OUTDIR: YYYYMMDDHH, with the minutes
// after it for a time that is not on the hour.
std::string case_directory(const ValidTime& valid);

// Makes every case of SOURCES under OPTIONS.outdir.  Progress and
// failures go to ERR (a count in place when it is a terminal, else one
// line per finished case), the summary to OUT.  Returns 0 when every case
// was made, 2 when any failed.  Throws (a failure of the whole run) only
// when OUTDIR cannot be made or the files hold no field the table takes.
int ingest_all_times(const AllTimesOptions& options, const Sources& sources, const FieldTable& table,
                     std::FILE* out, std::FILE* err);

}  // namespace c2m::ingest
