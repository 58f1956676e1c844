#include "case/fields_read.hpp"

#include <algorithm>

namespace c2m::ingest {

namespace {

void add(std::vector<const FieldInfo*>& out, const FieldInfo* f) {
  if (f != nullptr && std::find(out.begin(), out.end(), f) == out.end()) out.push_back(f);
}

// What the writer decodes of a level's humidity (case_writer: t always, q
// where the level has it, r only when the humidity is made from it).
void add_humidity(std::vector<const FieldInfo*>& out, const LevelHumidity& h) {
  add(out, h.t.field);
  if (h.q) add(out, h.q->field);
  if (h.r && h.from != RhFrom::q) add(out, h.r->field);
}

}  // namespace

std::vector<const FieldInfo*> fields_read(const Plan& plan) {
  std::vector<const FieldInfo*> out;
  for (const Job& j : plan.jobs) {
    switch (j.kind) {
      case Job::Kind::copy:
      case Job::Kind::mask_from_soil: add(out, j.src.field); break;
      case Job::Kind::humidity: add_humidity(out, j.hum); break;
      case Job::Kind::fill:
        add(out, j.hum.t.field);
        add_humidity(out, j.below);
        add_humidity(out, j.above);
        break;
      case Job::Kind::missing: break;
    }
  }
  return out;
}

}  // namespace c2m::ingest
