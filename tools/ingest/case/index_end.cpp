#include "case/index_end.hpp"

#include <set>

#include "kit/numbers.hpp"

namespace c2m::ingest {

namespace {

// The times of FIELDS in the order of their runs: each time once when the
// fields hold every time in one run, else nothing.
std::vector<ValidTime> runs_of_times(const std::vector<FieldInfo>& fields) {
  std::vector<ValidTime> runs;
  std::set<ValidTime> seen;
  for (const FieldInfo& f : fields) {
    if (!runs.empty() && runs.back() == f.valid) continue;
    if (!seen.insert(f.valid).second) return {};
    runs.push_back(f.valid);
  }
  return runs;
}

std::string end_words(const FieldSource& s, const IndexEnd& e) {
  return "the index of " + s.path() + " ends at message " + decimal(e.message) + " (at byte " + decimal(e.at) +
         "), which cannot be indexed";
}

}  // namespace

std::string beyond_index_end(const Sources& sources, const ValidTime& t) {
  for (const auto& s : sources) {
    const auto& end = s->index_end();
    if (!end) continue;
    const std::vector<ValidTime> runs = runs_of_times(s->fields());
    bool whole = false;
    for (std::size_t k = 0; k + 1 < runs.size(); ++k) whole = whole || runs[k] == t;
    if (whole) continue;
    if (runs.empty() && !s->fields().empty())
      return end_words(*s, *end) + ", and the times before it are interleaved: no time is known whole";
    return end_words(*s, *end) + ": fields of this time may lie beyond it";
  }
  return "";
}

std::vector<std::string> index_ends(const Sources& sources) {
  std::vector<std::string> out;
  for (const auto& s : sources)
    if (const auto& end = s->index_end()) out.push_back(end->reason + "; " + end_words(*s, *end));
  return out;
}

}  // namespace c2m::ingest
