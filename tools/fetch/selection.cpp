#include "selection.hpp"

#include <algorithm>
#include <map>

#include "case/fields_read.hpp"

namespace c2m::fetch {

std::vector<WantedMessage> wanted_messages(const ingest::Sources& sources, const ingest::FieldTable& table,
                                           const ingest::PlanOptions& options) {
  const auto& index = dynamic_cast<const IndexSource&>(*sources.at(0));
  const ingest::Plan plan = ingest::make_plan(sources, table, options);
  std::map<int, WantedMessage> by_message;
  for (const ingest::FieldInfo* f : ingest::fields_read(plan)) {
    if (f->file != 0) continue;
    const IndexEntry& e = index.entry_of(*f);
    WantedMessage& w = by_message[e.message];
    w.message = e.message;
    w.offset = e.offset;
    w.length = e.length;
    w.serves += (w.serves.empty() ? "" : ", ") + e.words;
  }
  std::vector<WantedMessage> out;
  for (auto& [n, w] : by_message) out.push_back(std::move(w));
  std::sort(out.begin(), out.end(), [](const WantedMessage& a, const WantedMessage& b) { return a.offset < b.offset; });
  return out;
}

std::vector<Span> plan_requests(const std::vector<WantedMessage>& wanted, const std::vector<bool>& done,
                                std::int64_t gap, std::int64_t largest) {
  std::vector<Span> spans;
  bool open = false;  // the last span may take the next message
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    if (done[k]) {
      open = false;
      continue;
    }
    const WantedMessage& w = wanted[k];
    if (open) {
      Span& s = spans.back();
      const bool near = s.last && w.offset - (*s.last + 1) <= gap;
      const bool small = !w.length || w.offset + *w.length - s.first <= largest;
      if (near && small) {
        s.last = w.length ? std::optional<std::int64_t>(w.offset + *w.length - 1) : std::nullopt;
        s.end_message = k + 1;
        continue;
      }
    }
    Span s;
    s.first = w.offset;
    if (w.length) s.last = w.offset + *w.length - 1;
    s.first_message = k;
    s.end_message = k + 1;
    spans.push_back(s);
    open = true;
  }
  return spans;
}

}  // namespace c2m::fetch
