// The fields of the input files that the field table takes, and what the
// files hold besides, for the diagnostics.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plan/field_table.hpp"
#include "source/fields.hpp"

namespace c2m::ingest {

// A field the table takes, with its entry.
struct Candidate {
  const FieldInfo* field = nullptr;
  std::size_t entry = 0;  // index in the table: lower wins
};

// Every field of SOURCES that TABLE takes, in file and message order.
std::vector<Candidate> candidates(const Sources& sources, const FieldTable& table);

// Orders candidates as they win: table entry first, then file and message.
bool wins(const Candidate& a, const Candidate& b);

// "the files hold gh (156) on isobaricInhPa x26, ..." for a diagnostic;
// with AT, only the fields valid at that time ("valid at 2024010100 the
// files hold ..." when the files hold others).
std::string holdings(const Sources& sources, const std::optional<ValidTime>& at = std::nullopt);

// "PATH message 3 (t, 500 hPa)", the field in a diagnostic.
std::string name_of(const FieldInfo& f, const Sources& sources);

// The files of SOURCES as the report and the plan's words name them: each
// by its base name, or by its path as given where two share a base name.
std::vector<std::string> file_names(const Sources& sources);

}  // namespace c2m::ingest
