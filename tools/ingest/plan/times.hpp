// One validity time and one ensemble member per case.  The validity time
// of a field is its run's start plus its step (the end of the period of an
// accumulation or an extreme), which is the date the case needs.
#pragma once

#include <optional>
#include <vector>

#include "plan/candidates.hpp"

namespace c2m::ingest {

struct TimeChoice {
  std::optional<ValidTime> time;  // --time
  std::optional<long> member;     // --member
};

struct ChosenTime {
  ValidTime valid;
  long member = 0;
};

// Keeps the candidates of the chosen time and member.  Without a choice
// they must all share one; IoFailure lists the times (or members) and how
// many fields each has, or says that none has the one chosen.
ChosenTime choose_time(std::vector<Candidate>& cands, const TimeChoice& choice,
                       const std::vector<std::string>& files);

// Parses YYYYMMDDHH (or YYYYMMDDHHMM) for --time; nothing if it is not one.
std::optional<ValidTime> parse_time(const std::string& text);

}  // namespace c2m::ingest
