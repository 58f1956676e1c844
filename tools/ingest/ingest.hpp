// conv2model ingest: a ready case from GRIB and netCDF files.  It reads
// one or more files (GRIB edition 1 or 2, netCDF classic or netCDF-4,
// mixed freely) that hold one validity time (or --time chooses one)
// and writes into OUTDIR the input grid file, the run description
// InputModelInf.txt and the date file adate.txt, all whole or none, with a
// report of where every record came from (printed and kept as
// OUTDIR/ingest.txt).  With --all-times, one such case per validity time
// the files hold, each in OUTDIR/YYYYMMDDHH.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli.hpp"
#include "plan/plan.hpp"
#include "source/netcdf_quantity.hpp"

namespace c2m::cli {

const Subcommand& ingest_subcommand();

}  // namespace c2m::cli

namespace c2m::ingest {

struct Options {
  std::string outdir;
  std::vector<std::string> files;
  std::string name = "case.bin";
  std::optional<std::string> table;
  PlanOptions plan;
  std::optional<Centre> centre;  // --centre: of the netCDF files
  unsigned threads = 0;  // 0: one per core, at most 8
  bool all_times = false;  // one case per validity time, in OUTDIR/YYYYMMDDHH
  unsigned jobs = 0;       // workers of all the cases together; 0: one per core
  bool quiet = false;
};

// The options of ARGS, or UsageError.
Options parse_options(const std::vector<std::string>& args);

// The whole ingest; returns the exit status.  Diagnostics go to ERR, the
// report to OUT.
int ingest(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace c2m::ingest
