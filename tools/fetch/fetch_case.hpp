// One case from one cycle: the index found on the first root that has
// it, the messages the case needs chosen from it by ingest's planning,
// downloaded (or taken from the cache) and put together, and the case
// made from them by ingest's own writer, exactly as `conv2model ingest`
// makes it of the same messages, its report ending with where each
// message came from.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "case/case_check.hpp"
#include "plan/field_table.hpp"
#include "plan/plan.hpp"
#include "progress.hpp"
#include "providers.hpp"
#include "transfer.hpp"

namespace c2m::fetch {

// The name of the downloaded messages in OUTDIR (kept with --keep-grib).
inline constexpr const char* kept_grib = "source.grib2";

struct FetchOptions {
  const Provider* provider = nullptr;
  const Resolution* resolution = nullptr;
  int step = 0;
  std::vector<std::string> roots;       // tried in order
  std::vector<std::string> invariants;  // files completing the case
  std::string name = "case.bin";
  std::optional<std::string> table;
  ingest::PlanOptions plan;
  bool dry_run = false, keep_grib = false, quiet = false;
  std::string cache_dir;  // empty: no cache
  TransferSettings transfer;
  std::int64_t gap = 1 << 20;           // merged below this gap
  std::int64_t largest = 32 << 20;      // bytes of one merged request
  unsigned threads = 1;                 // that decode
};

// What became of a cycle that did not fail.
struct FetchOutcome {
  std::string report;  // the case's report, or the dry run's listing
  bool possible = true;  // a dry run: a case can be made
  ingest::CaseVerdict verdict;  // of the case made, by the converter's own checks
};

// The case of CYCLE into OUTDIR.  Throws the run's failures (IoFailure
// naming the URL or the file and the cause, RunFailure 128 + N on a stop
// signal), OUTDIR left as it was.
FetchOutcome fetch_case(const FetchOptions& options, const ingest::FieldTable& table, const ingest::ValidTime& cycle,
                        const std::string& outdir, Transfers& transfers, Progress& progress);

}  // namespace c2m::fetch
