// Forecast cycles: a run's start, YYYYMMDDHH, and the validity time of a
// step after it; --cycles FIRST/LAST/EVERY as the list of cycles.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "source/fields.hpp"

namespace c2m::fetch {

// YYYYMMDDHH as a cycle, a real date with the hour at a multiple of six;
// nothing when it is not one.
std::optional<ingest::ValidTime> parse_cycle(const std::string& text);

// CYCLE plus HOURS.
ingest::ValidTime add_hours(const ingest::ValidTime& cycle, long hours);

// FIRST/LAST/EVERY (EVERY in hours, "6" or "6h", a multiple of 6): the
// cycles from FIRST to LAST; nothing with WHY set when the text is not
// one.  At most LIMIT cycles.
std::optional<std::vector<ingest::ValidTime>> parse_cycles(const std::string& text, std::size_t limit,
                                                           std::string& why);

}  // namespace c2m::fetch
