#include "plan/plan.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>

#include "layout/records.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

using layout::InputUpper;

std::string real(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string fixed(double v, int decimals) {
  char buf[48];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return std::string(buf, r.ptr);
}

std::string hpa(float p) { return real(p) + " hPa"; }

struct LevelFields {
  std::vector<Candidate> z, q, r, t, u, v;
  std::vector<Candidate>& of(Quantity w) {
    switch (w) {
      case Quantity::z: return z;
      case Quantity::q: return q;
      case Quantity::r: return r;
      case Quantity::t: return t;
      case Quantity::u: return u;
      default: return v;
    }
  }
};

class Planner {
 public:
  Planner(const Sources& sources, const FieldTable& table, const PlanOptions& options)
      : sources_(sources), table_(table), opt_(options) {}

  Plan make(std::vector<Candidate> cands);

 private:
  Source source(const Candidate& c) const { return {c.field, &table_[c.entry]}; }
  // The winner of a sorted list, noting the others of its own entry.
  Source best(const std::vector<Candidate>& list, const std::string& what);
  std::string from_words(const Source& s) const {
    if (!s.field->variable.empty())  // "[F]:VAR" names it already
      return s.field->where() +
             (s.field->param_id != 0 ? " (" + std::to_string(s.field->param_id) + ")" : std::string());
    return s.field->where() + " " + s.field->short_name + " (" + std::to_string(s.field->param_id) + ")";
  }
  static std::string conversion(const Source& s) {
    const std::string& units = s.field->unit_conversion;
    const std::string& entry = s.entry->conversion;
    if (units.empty()) return entry.empty() ? "as is" : entry;
    return entry.empty() ? units : units + ", then " + entry;
  }
  void bucket(const std::vector<Candidate>& cands);
  void choose_levels();
  std::optional<LevelHumidity> own_humidity(std::size_t k);
  void upper_air_jobs();
  void surface_jobs();
  void soil_jobs();
  void check_grids();
  void add_copy(std::int64_t record, const Source& s, bool upper, const std::string& field,
                const std::string& level);
  std::string rh_words(const LevelHumidity& h);

  const Sources& sources_;
  const FieldTable& table_;
  const PlanOptions& opt_;
  Plan plan_;
  std::map<float, LevelFields, std::greater<float>> levels_;
  std::vector<LevelFields*> chosen_;  // level k + 1 at [k]
  std::map<Quantity, std::vector<Candidate>> surface_;
  std::vector<Candidate> soil_t_, soil_m_;
  std::vector<std::string> absent_;
  std::vector<long> centres_noted_;
};

Source Planner::best(const std::vector<Candidate>& list, const std::string& what) {
  const Candidate& first = list.front();
  std::string also;
  for (std::size_t n = 1; n < list.size(); ++n)
    if (list[n].entry == first.entry) also += (also.empty() ? "" : ", ") + list[n].field->where();
  if (!also.empty())
    plan_.notes.push_back(what + ": taken from " + first.field->where() + "; the same field in " + also +
                          " is not used");
  return source(first);
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

void Planner::choose_levels() {
  auto whole = [](const LevelFields& l) {
    return !l.z.empty() && !l.t.empty() && !l.u.empty() && !l.v.empty();
  };
  auto lacking = [](const LevelFields& l) {
    std::string w;
    for (const auto& [list, name] : {std::pair{&l.z, "z"}, {&l.t, "t"}, {&l.u, "u"}, {&l.v, "v"}})
      if (list->empty()) w += (w.empty() ? "no " : ", no ") + std::string(name);
    return w;
  };
  std::string available;
  for (auto& [p, l] : levels_)
    if (whole(l)) available += (available.empty() ? "" : " ") + real(p);
  if (opt_.levels) {
    std::vector<float> wanted = *opt_.levels;
    std::sort(wanted.begin(), wanted.end(), std::greater<float>());
    std::string refused;
    for (const float p : wanted) {
      auto it = std::find_if(levels_.begin(), levels_.end(), [&](const auto& kv) {
        return std::fabs(kv.first - p) <= 1e-6f * p;
      });
      if (it == levels_.end()) {
        refused += (refused.empty() ? "" : "; ") + hpa(p) + " (none of z, t, u, v)";
      } else if (!whole(it->second)) {
        refused += (refused.empty() ? "" : "; ") + hpa(p) + " (" + lacking(it->second) + ")";
      } else {
        chosen_.push_back(&it->second);
        plan_.pressures.push_back(it->first);
      }
    }
    if (!refused.empty())
      throw IoFailure("--levels asks for levels that the files do not hold whole: " + refused +
                      "; the levels with z, t, u and v are (hPa): " +
                      (available.empty() ? std::string("none") : available));
  } else {
    for (auto& [p, l] : levels_)
      if (whole(l)) {
        chosen_.push_back(&l);
        plan_.pressures.push_back(p);
      }
  }
  if (plan_.pressures.empty()) {
    std::string partial;
    for (auto& [p, l] : levels_) partial += (partial.empty() ? "" : "; ") + hpa(p) + " (" + lacking(l) + ")";
    throw IoFailure("no isobaric level holds geopotential (z or gh), temperature (t) and both winds (u, v)" +
                    (partial.empty() ? std::string() : ": " + partial) + "; " + holdings(sources_));
  }
  if (static_cast<std::int64_t>(plan_.pressures.size()) > max_levels)
    throw SizeFailure("the files hold " + std::to_string(plan_.pressures.size()) +
                      " isobaric levels, more than the limit of " + std::to_string(max_levels));
}

std::optional<LevelHumidity> Planner::own_humidity(std::size_t k) {
  LevelFields& l = *chosen_[k];
  LevelHumidity h;
  h.p_hpa = plan_.pressures[k];
  h.t = source(l.t.front());
  if (!l.q.empty()) h.q = source(l.q.front());
  if (!l.r.empty()) h.r = source(l.r.front());
  if (opt_.rh == RhMode::convert) {
    if (h.q) {
      h.from = RhFrom::q;
    } else if (h.r) {
      h.from = RhFrom::r_mixed;
      h.phase = mixed_phase_of(h.r->field->centre);
    } else {
      return std::nullopt;
    }
  } else {
    if (h.r) h.from = RhFrom::r_as_is;
    else if (h.q) h.from = RhFrom::q;
    else return std::nullopt;
  }
  return h;
}

std::string Planner::rh_words(const LevelHumidity& h) {
  switch (h.from) {
    case RhFrom::q:
      return "from q and t: e = q p / (0.622 + 0.378 q), RH = 100 e / es_water(t)";
    case RhFrom::r_as_is:
      return "as is (--rh as-is)";
    case RhFrom::r_mixed:
      break;
  }
  const long centre = h.r->field->centre;
  if (std::find(centres_noted_.begin(), centres_noted_.end(), centre) == centres_noted_.end()) {
    centres_noted_.push_back(centre);
    const std::string who = h.r->field->centre_name + " (centre " + std::to_string(centre) + ")";
    if (h.phase == MixedPhase::water)
      plan_.notes.push_back("relative humidity of " + who +
                            ": no definition of its saturation is known for this centre; taken as over "
                            "water, unchanged");
    else
      plan_.notes.push_back("relative humidity of " + who + " is over " + words(h.phase).substr(0, words(h.phase).find(" (")) +
                            "; converted to over water: e = r / 100 x es_mixed(t), RH = 100 e / es_water(t), "
                            "with " + words(h.phase) + " and es_water the converter's Goff-Gratch table");
  }
  if (h.phase == MixedPhase::water) return "taken as over water, unchanged";
  return h.phase == MixedPhase::ecmwf ? "ECMWF mixed phase to over water, with t"
                                      : "NCEP mixed phase to over water, with t";
}

void Planner::add_copy(std::int64_t record, const Source& s, bool upper, const std::string& field,
                       const std::string& level) {
  Job j;
  j.kind = Job::Kind::copy;
  j.record = record;
  j.src = s;
  j.upper_air = upper;
  j.what = field + " at " + level;
  plan_.jobs.push_back(j);
  plan_.lines.push_back({record, field, level, from_words(s), conversion(s)});
}

void Planner::upper_air_jobs() {
  const std::int64_t lm = plan_.lm();
  std::vector<std::optional<LevelHumidity>> own(static_cast<std::size_t>(lm));
  for (std::size_t k = 0; k < own.size(); ++k) own[k] = own_humidity(k);
  for (std::int64_t k = 1; k <= lm; ++k) {
    LevelFields& l = *chosen_[static_cast<std::size_t>(k - 1)];
    const float p = plan_.pressures[static_cast<std::size_t>(k - 1)];
    const std::string level = hpa(p);
    add_copy(layout::input_record(InputUpper::geopotential, k, lm), best(l.z, "z at " + level), true, "z", level);
    const std::size_t at = static_cast<std::size_t>(k - 1);
    const std::int64_t t_record = layout::input_record(InputUpper::t, k, lm);
    if (own[at]) {
      // Written by the level's humidity job, which decodes t anyway.
      const Source t = best(l.t, "t at " + level);
      plan_.lines.push_back({t_record, "t", level, from_words(t), conversion(t)});
    } else {
      add_copy(t_record, best(l.t, "t at " + level), true, "t", level);
    }
    add_copy(layout::input_record(InputUpper::u, k, lm), best(l.u, "u at " + level), true, "u", level);
    add_copy(layout::input_record(InputUpper::v, k, lm), best(l.v, "v at " + level), true, "v", level);
    if (!l.q.empty()) best(l.q, "q at " + level);
    if (!l.r.empty()) best(l.r, "r at " + level);

    Job j;
    j.record = layout::input_record(InputUpper::rh, k, lm);
    j.q_record = layout::input_record(InputUpper::q, k, lm);
    j.upper_air = true;
    j.what = level;
    if (own[at]) {
      j.kind = Job::Kind::humidity;
      j.t_record = t_record;
      j.hum = *own[at];
      const LevelHumidity& h = j.hum;
      const Source& rh_src = h.from == RhFrom::q ? *h.q : *h.r;
      plan_.lines.push_back({j.record, "r", level,
                             from_words(rh_src) + (h.from == RhFrom::r_as_is ? "" : ", t " + h.t.field->where()),
                             rh_words(h)});
      if (h.q)
        plan_.lines.push_back({j.q_record, "q", level, from_words(*h.q), conversion(*h.q)});
      else
        plan_.lines.push_back({j.q_record, "q", level, "derived, t " + h.t.field->where() + " and RH",
                               "q = 0.622 e / (p - 0.378 e), e = RH / 100 x es_water(t)"});
      plan_.jobs.push_back(j);
      continue;
    }
    // No humidity of its own: between levels that have it, filled.
    std::optional<std::size_t> below, above;
    for (std::size_t b = at; b-- > 0;)
      if (own[b]) {
        below = b;
        break;
      }
    for (std::size_t a = at + 1; a < own.size(); ++a)
      if (own[a]) {
        above = a;
        break;
      }
    if (below && above && opt_.fill) {
      j.kind = Job::Kind::fill;
      j.below = *own[*below];
      j.above = *own[*above];
      j.hum.p_hpa = p;
      j.hum.t = source(l.t.front());
      j.weights = fill_weights(p, j.below.p_hpa, j.above.p_hpa);
      const std::string how = "linear in ln p: " + hpa(j.below.p_hpa) + " x " + fixed(j.weights.below, 4) +
                              " + " + hpa(j.above.p_hpa) + " x " + fixed(j.weights.above, 4);
      plan_.lines.push_back({j.record, "r", level, "filled", how});
      plan_.lines.push_back({j.q_record, "q", level, "derived, t " + j.hum.t.field->where() + " and RH",
                             "q = 0.622 e / (p - 0.378 e), e = RH / 100 x es_water(t)"});
      plan_.notes.push_back("humidity at " + level + ": none in the files; relative humidity filled " + how +
                            " (the levels below and above that have it), q derived from it and t");
      rh_words(j.below);
      rh_words(j.above);
    } else {
      j.kind = Job::Kind::missing;
      plan_.lines.push_back({j.record, "r", level, "missing", "a missing level (-99999)"});
      plan_.lines.push_back({j.q_record, "q", level, "missing", "a missing level (-99999)"});
      if (below && above)
        plan_.notes.push_back("humidity at " + level +
                              ": none in the files, and --no-fill leaves it missing; the conversion will stop "
                              "there (the converter patches only the ends of the column)");
      else
        plan_.notes.push_back("humidity at " + level + ": none in the files, at the " +
                              (below ? "top" : "bottom") +
                              " of the column; written as a missing level, which the converter patches by "
                              "copying the nearest level that has it");
    }
    plan_.jobs.push_back(j);
  }
}

void Planner::surface_jobs() {
  const std::int64_t lm = plan_.lm();
  auto surface = [&](Quantity q) -> const std::vector<Candidate>* {
    auto it = surface_.find(q);
    return it == surface_.end() || it->second.empty() ? nullptr : &it->second;
  };
  struct Want {
    Quantity q;
    int plane;
    const char* words;
  };
  for (const Want& w : {Want{Quantity::lsm, layout::sfc::lsm, "land-sea mask"},
                        Want{Quantity::msl, layout::sfc::msl, "mean sea-level pressure"},
                        Want{Quantity::sp, layout::sfc::sp, "surface pressure"},
                        Want{Quantity::orog, layout::sfc::orog, "surface geopotential"}}) {
    const std::int64_t record = layout::input_surface_record(w.plane, lm);
    const std::string name = field_name(w.q);
    if (const auto* list = surface(w.q)) {
      const Source s = best(*list, name);
      add_copy(record, s, false, name, s.field->level_type);
    } else if (w.q == Quantity::lsm) {
      Job j;
      j.kind = Job::Kind::mask_from_soil;
      j.record = record;
      j.what = "lsm";
      plan_.jobs.push_back(j);  // its source is set with the soil
    } else {
      absent_.push_back(name + " (" + w.words + ")");
    }
  }
}

void Planner::soil_jobs() {
  const std::int64_t lm = plan_.lm();
  for (const bool moisture : {false, true}) {
    const std::vector<Candidate>& all = moisture ? soil_m_ : soil_t_;
    const Quantity q = moisture ? Quantity::swvl : Quantity::stl;
    // The layers each entry offers: its named layer, or its fields in
    // order of depth (the first field of each depth).
    std::map<std::size_t, std::vector<Candidate>> by_entry;
    for (const Candidate& c : all) by_entry[c.entry].push_back(c);
    for (auto& [entry, list] : by_entry)
      if (table_[entry].layer == 0)
        std::stable_sort(list.begin(), list.end(), [](const Candidate& a, const Candidate& b) {
          const double ta = a.field->depth_top_m.value_or(0), tb = b.field->depth_top_m.value_or(0);
          if (ta != tb) return ta < tb;
          return a.field->depth_bottom_m.value_or(0) < b.field->depth_bottom_m.value_or(0);
        });
    for (int layer = 1; layer <= 4; ++layer) {
      const std::string name = field_name(q, layer);
      std::optional<Source> chosen;
      for (auto& [entry, list] : by_entry) {
        const TableEntry& e = table_[entry];
        if (e.layer == layer) {
          chosen = best(list, name);
        } else if (e.layer == 0) {
          // Distinct depths, the first field of each.
          std::vector<const Candidate*> depths;
          for (const Candidate& c : list)
            if (depths.empty() || depths.back()->field->depth_top_m != c.field->depth_top_m ||
                depths.back()->field->depth_bottom_m != c.field->depth_bottom_m)
              depths.push_back(&c);
          if (static_cast<int>(depths.size()) >= layer) chosen = source(*depths[static_cast<std::size_t>(layer - 1)]);
          if (layer == 4 && depths.size() > 4)
            plan_.notes.push_back(field_name(q) + ": the files hold " + std::to_string(depths.size()) +
                                  " layers of " + depths[0]->field->short_name +
                                  "; the four uppermost are taken");
        }
        if (chosen) break;
      }
      const int plane = moisture ? layout::sfc::soil_m(layer) : layout::sfc::soil_t(layer);
      const std::int64_t record = layout::input_surface_record(plane, lm);
      if (chosen) {
        add_copy(record, *chosen, false, name, chosen->field->level_words());
        if (moisture && layer == 1)
          for (Job& j : plan_.jobs)
            if (j.kind == Job::Kind::mask_from_soil) {
              j.src = *chosen;
              plan_.lines.push_back({j.record, "lsm", "surface", "derived, " + from_words(*chosen),
                                     "1 where soil moisture of layer 1 is defined, 0 elsewhere"});
              plan_.notes.push_back("lsm: none in the files; made 1 where the soil moisture of layer 1 (" +
                                    chosen->field->where() + ") is defined, 0 elsewhere");
            }
      } else if (layer >= 3) {
        Job j;
        j.kind = Job::Kind::missing;
        j.record = record;
        j.what = name;
        plan_.jobs.push_back(j);
        plan_.lines.push_back({record, name, "", "missing", "a missing plane (-99999)"});
        plan_.notes.push_back(name + ": none in the files; written as a missing plane, which the converter "
                              "fills from layer 2");
      } else {
        absent_.push_back(name + (moisture ? " (soil moisture" : " (soil temperature") + " of layer " +
                          std::to_string(layer) + ")");
      }
    }
  }
  for (const Job& j : plan_.jobs)
    if (j.kind == Job::Kind::mask_from_soil && !j.src.field)
      absent_.push_back("lsm (land-sea mask, or soil moisture of layer 1 to make it from)");
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
  if (cands.empty()) {
    std::string grids;
    for (const auto& s : sources_)
      for (const FieldInfo& f : s->fields())
        if (f.grid.type != "regular_ll" && grids.find(f.grid.type) == std::string::npos)
          grids += (grids.empty() ? "" : ", ") + f.grid.type;
    throw IoFailure("no field of the files is one that the field table takes; " + holdings(sources_) +
                    (grids.empty() ? std::string()
                                   : "; and their grid is " + grids +
                                         ", not the regular latitude/longitude grid a case needs"));
  }
  plan_.time = choose_time(cands, opt_.time);
  // A grid no case can have is refused first, naming its kind.
  for (const Candidate& c : cands)
    if (c.field->grid.type != "regular_ll") normalise(c.field->grid, name_of(*c.field, sources_));
  bucket(cands);
  choose_levels();
  upper_air_jobs();
  surface_jobs();
  soil_jobs();
  if (!absent_.empty()) {
    std::string list;
    for (const std::string& a : absent_) list += (list.empty() ? "" : ", ") + a;
    throw IoFailure("required fields are absent: " + list + "; " + holdings(sources_));
  }
  check_grids();
  plan_.cut = opt_.area ? cut_area(plan_.grid, *opt_.area) : whole(plan_.grid);
  plan_.run = run_grid(plan_.grid, plan_.cut);
  const FieldInfo& t1 = *chosen_.front()->t.front().field;
  plan_.run_words = t1.run;
  plan_.label = opt_.label ? *opt_.label : default_label(t1.centre_name, plan_.time.valid);
  if (plan_.time.valid.hhmm % 100 != 0)
    plan_.notes.push_back("the validity time " + plan_.time.valid.words() +
                          " is not on the hour; adate.txt holds YYYYMMDDHH and leaves the minutes out");
  if (plan_.run.grid[5] == 0 && plan_.run.im > 1)
    plan_.notes.push_back("the increment along i is below half a thousandth of a degree and shows as 0 in "
                          "the run description");
  std::stable_sort(plan_.lines.begin(), plan_.lines.end(),
                   [](const RecordLine& a, const RecordLine& b) { return a.record < b.record; });
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
  return std::move(plan_);
}

}  // namespace

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
