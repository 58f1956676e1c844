#include "plan/plan.hpp"

#include <algorithm>

#include "plan/planner.hpp"
#include "plan/regrid_advice.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

Source Planner::best(const std::vector<Candidate>& list, const What& what) {
  const Candidate& first = list.front();
  std::vector<const FieldInfo*> others;
  for (std::size_t n = 1; n < list.size(); ++n)
    if (list[n].entry == first.entry) others.push_back(list[n].field);
  if (!others.empty()) add_note<note::PassedOver>(what, first.field, std::move(others));
  return source(first);
}

void Planner::add_copy(std::int64_t record, const Source& s, bool upper, const What& what) {
  Job j;
  j.kind = Job::Kind::copy;
  j.record = record;
  j.src = s;
  j.upper_air = upper;
  j.what = what;
  plan_.jobs.push_back(j);
}

void Planner::refuse_none_taken() const {
  // The first field on a grid no case can have tells what to do with its
  // file.
  const FieldInfo* other = nullptr;
  for (const auto& s : sources_)
    for (const FieldInfo& f : s->fields())
      if (f.grid.type != "regular_ll" && other == nullptr) other = &f;
  std::string grid;
  if (other != nullptr)
    grid = "; and " + name_of(*other, sources_) + " is not on the regular latitude/longitude grid a case needs: " +
           grid_kind_words(other->grid) + "; " + regrid_advice(other->grid, refused_file(sources_, other->file));
  throw IoFailure("no field of the files is one that the field table takes; " + holdings(sources_) + grid);
}

void Planner::refuse_grid(const FieldInfo& f) const {
  throw IoFailure(name_of(f, sources_) + ": " + grid_kind_words(f.grid) +
                  ", not a regular latitude/longitude grid, the only kind a case can have; " +
                  regrid_advice(f.grid, refused_file(sources_, f.file)));
}

void Planner::bucket(const std::vector<Candidate>& cands) {
  for (const Candidate& c : cands) {
    const TableEntry& e = table_[c.entry];
    if (upper_air(e.what)) {
      levels_[*c.field->pressure_hpa].of(e.what).push_back(c);
    } else if (e.what == Quantity::stl) {
      soil_t_.push_back(c);
    } else if (e.what == Quantity::swvl) {
      soil_m_.push_back(c);
    } else {
      surface_[e.what].push_back(c);
    }
  }
  for (auto& [p, l] : levels_)
    for (auto* list : {&l.z, &l.q, &l.r, &l.t, &l.u, &l.v}) std::sort(list->begin(), list->end(), wins);
  for (auto& [q, list] : surface_) std::sort(list.begin(), list.end(), wins);
  std::sort(soil_t_.begin(), soil_t_.end(), wins);
  std::sort(soil_m_.begin(), soil_m_.end(), wins);
}

void Planner::check_grids() {
  std::vector<Source> used;
  for (const Job& j : plan_.jobs) {
    if (j.src.field) used.push_back(j.src);
    for (const LevelHumidity* h : {&j.hum, &j.below, &j.above}) {
      if (h->t.field) used.push_back(h->t);
      if (h->q) used.push_back(*h->q);
      if (h->r) used.push_back(*h->r);
    }
  }
  const FieldInfo* ref = used.front().field;
  plan_.grid = normalise(ref->grid, name_of(*ref, sources_));
  const GridInfo* last_same = &ref->grid;
  for (const Source& s : used) {
    if (s.field->grid == *last_same) continue;
    const LatLon g = normalise(s.field->grid, name_of(*s.field, sources_));
    if (!g.same_points(plan_.grid))
      throw IoFailure("the fields are not all on one grid: " + name_of(*ref, sources_) + " is on " +
                      plan_.grid.words() + ", but " + name_of(*s.field, sources_) + " is on " + g.words() +
                      "; regrid the files to one grid first");
    last_same = &s.field->grid;
  }
}

Plan Planner::make(std::vector<Candidate> cands) {
  if (cands.empty()) refuse_none_taken();
  plan_.files = file_names(sources_);
  plan_.time = choose_time(cands, opt_.time, plan_.files);
  // A grid no case can have is refused first, naming its kind.
  for (const Candidate& c : cands)
    if (c.field->grid.type != "regular_ll") refuse_grid(*c.field);
  bucket(cands);
  choose_levels();
  upper_air_jobs();
  surface_jobs();
  soil_jobs();
  if (!absent_.empty()) {
    std::string list;
    for (const std::string& a : absent_) list += (list.empty() ? "" : ", ") + a;
    throw IoFailure("required fields are absent: " + list + "; " + holdings(sources_, plan_.time.valid));
  }
  check_grids();
  plan_.cut = opt_.area ? cut_area(plan_.grid, *opt_.area) : whole(plan_.grid);
  plan_.run = run_grid(plan_.grid, plan_.cut);
  finish();
  return std::move(plan_);
}

// The time and the label, the notes of the whole case, and the jobs in
// the order the workers take them.
void Planner::finish() {
  const FieldInfo& t1 = *chosen_.front()->t.front().field;
  plan_.run_of = &t1;
  plan_.label = opt_.label ? *opt_.label : default_label(t1.centre_name, plan_.time.valid);
  plan_.humidity = opt_.humidity;
  if (plan_.time.valid.hhmm % 100 != 0) add_note<note::TimeOffHour>(plan_.time.valid);
  if (plan_.run.grid[5] == 0 && plan_.run.im > 1) add_note<note::IncrementBelowResolution>();
  // Longest first, so that the workers end together.
  std::stable_sort(plan_.jobs.begin(), plan_.jobs.end(), [](const Job& a, const Job& b) {
    auto weight = [](const Job& j) {
      switch (j.kind) {
        case Job::Kind::fill: return 0;
        case Job::Kind::humidity: return 1;
        default: return 2;
      }
    };
    return weight(a) < weight(b);
  });
}

std::string default_label(const std::string& centre, const ValidTime& valid) {
  std::string c;
  for (const char ch : centre)
    if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-')
      c += ch;
  if (c.empty()) c = "case";
  const std::string t = valid.text();
  if (c.size() + 1 + t.size() > 20) c.resize(20 > t.size() + 1 ? 20 - t.size() - 1 : 0);
  return c.empty() ? t.substr(0, 20) : c + "_" + t;
}

Plan make_plan(const Sources& sources, const FieldTable& table, const PlanOptions& options) {
  return Planner(sources, table, options).make(candidates(sources, table));
}

Plan make_plan(const Sources& sources, const FieldTable& table, const PlanOptions& options,
               std::vector<Candidate> cands) {
  return Planner(sources, table, options).make(std::move(cands));
}

}  // namespace c2m::ingest
