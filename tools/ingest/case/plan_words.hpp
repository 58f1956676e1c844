// The plan in words: the lines of the report's table of records, its
// notes, and the name of what a job writes in the diagnostics and warnings
// of the writer.  These are the words of ingest.txt: a case made again
// from the same files says the same, byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plan/plan.hpp"

namespace c2m::ingest {

// The centre's definition of the saturation behind its relative humidity,
// in words: "ECMWF's mixed phase (water at and above 273.16 K, ...)".
std::string words(MixedPhase m);

// One line of the report's table: a record and where it came from.
struct RecordLine {
  std::int64_t record = 0;
  std::string field, level, from, conversion;
};

// What the relative-humidity records hold, for the report.
std::string humidity_words(HumidityRecords records);

// The lines of every record of PLAN, in record order.
std::vector<RecordLine> record_lines(const Plan& plan);

// A note of the plan in words, as the report lists it, the fields named
// within FILES (the plan's files).
std::string note_words(const Note& note, const std::vector<std::string>& files);

// What job J writes, for its diagnostics: "t at 500 hPa" (a copy),
// "500 hPa" (the humidity of a level, filled or missing), "lsm", "stl3".
std::string job_words(const Job& j);

}  // namespace c2m::ingest
