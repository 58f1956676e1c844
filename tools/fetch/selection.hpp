// The messages of a provider's file that a case needs, chosen from its
// index by ingest's own planning (the field table, the levels, the
// humidity, the surface and the soil, as from a file), and the requests
// that download them: adjacent and near messages in one range, since a
// short gap costs less to download than a request of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "assembly.hpp"
#include "index_source.hpp"
#include "plan/field_table.hpp"
#include "plan/plan.hpp"

namespace c2m::fetch {

// The messages of the file at [0] of SOURCES (an IndexSource) that the
// plan of SOURCES under TABLE and OPTIONS reads, in the order of the
// file.  The plan's refusal (a field the provider does not publish, say)
// is thrown as it is.
std::vector<WantedMessage> wanted_messages(const ingest::Sources& sources, const ingest::FieldTable& table,
                                           const ingest::PlanOptions& options);

// One request: the messages WANTED[FIRST_MESSAGE .. END_MESSAGE) and the
// bytes between them.
struct Span {
  std::int64_t first = 0;
  std::optional<std::int64_t> last;  // inclusive; none: to the end of the file
  std::size_t first_message = 0, end_message = 0;
};

// The requests for the messages of WANTED that are not DONE: messages
// whose gap is at most GAP bytes go in one request, of at most LARGEST
// bytes (a single larger message still has one of its own).
std::vector<Span> plan_requests(const std::vector<WantedMessage>& wanted, const std::vector<bool>& done,
                                std::int64_t gap, std::int64_t largest);

}  // namespace c2m::fetch
