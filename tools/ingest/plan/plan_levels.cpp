// The upper air of a plan: the levels, and the records of each (z, t, u,
// v copied; relative and specific humidity made from the level's own
// fields, filled between levels, or missing).
#include <algorithm>
#include <cmath>

#include "kit/numbers.hpp"
#include "layout/records.hpp"
#include "plan/planner.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

using layout::InputUpper;

}  // namespace

std::string hpa_words(float p) { return shortest_float(p) + " hPa"; }

std::string Planner::one_wind_absent() const {
  bool any_u = false, any_v = false;
  for (const auto& [p, l] : levels_) {
    any_u = any_u || !l.u.empty();
    any_v = any_v || !l.v.empty();
  }
  if (any_u == any_v) return "";
  const char* has = any_u ? "u" : "v";
  const char* lacks = any_u ? "v" : "u";
  return std::string("; ") + lacks + " is absent at every level of every file, while " + has +
         " is there: most likely the files were regridded or copied by a tool that reads only the first field "
         "of a GRIB 2 message holding u and v together (CDO does, and NCEP stores them so); split such messages "
         "with grib_copy IN split.grib before regridding";
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
    if (whole(l)) available += (available.empty() ? "" : " ") + shortest_float(p);
  if (opt_.levels) {
    std::vector<float> wanted = *opt_.levels;
    std::sort(wanted.begin(), wanted.end(), std::greater<float>());
    std::string refused;
    for (const float p : wanted) {
      auto it = std::find_if(levels_.begin(), levels_.end(), [&](const auto& kv) {
        return std::fabs(kv.first - p) <= 1e-6f * p;
      });
      if (it == levels_.end()) {
        refused += (refused.empty() ? "" : "; ") + hpa_words(p) + " (none of z, t, u, v)";
      } else if (!whole(it->second)) {
        refused += (refused.empty() ? "" : "; ") + hpa_words(p) + " (" + lacking(it->second) + ")";
      } else {
        chosen_.push_back(&it->second);
        plan_.pressures.push_back(it->first);
      }
    }
    if (!refused.empty())
      throw IoFailure("--levels asks for levels that the files do not hold whole: " + refused +
                      "; the levels with z, t, u and v are (hPa): " +
                      (available.empty() ? std::string("none") : available) + one_wind_absent());
  } else {
    for (auto& [p, l] : levels_)
      if (whole(l)) {
        chosen_.push_back(&l);
        plan_.pressures.push_back(p);
      }
  }
  if (plan_.pressures.empty()) {
    std::string partial;
    for (auto& [p, l] : levels_) partial += (partial.empty() ? "" : "; ") + hpa_words(p) + " (" + lacking(l) + ")";
    throw IoFailure("no isobaric level holds geopotential (z or gh), temperature (t) and both winds (u, v)" +
                    (partial.empty() ? std::string() : ": " + partial) + one_wind_absent() + "; " +
                    holdings(sources_, plan_.time.valid));
  }
  if (static_cast<std::int64_t>(plan_.pressures.size()) > max_levels)
    throw SizeFailure("the files hold " + decimal(plan_.pressures.size()) +
                      " isobaric levels, more than the limit of " + decimal(max_levels));
}

std::optional<LevelHumidity> Planner::own_humidity(std::size_t k) const {
  LevelFields& l = *chosen_[k];
  LevelHumidity h;
  h.p_hpa = plan_.pressures[k];
  h.t = source(l.t.front());
  if (!l.q.empty()) h.q = source(l.q.front());
  if (!l.r.empty()) h.r = source(l.r.front());
  // The converter's records give back the case's q: the files' own q
  // wherever there is one, whatever their r is over.  The physical records
  // take r as it is, with --rh as-is, before q.
  if (opt_.rh == RhMode::convert || opt_.humidity == HumidityRecords::exact) {
    if (h.q) {
      h.from = RhFrom::q;
    } else if (h.r) {
      h.from = opt_.rh == RhMode::as_is ? RhFrom::r_as_is : RhFrom::r_mixed;
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

void Planner::upper_air_jobs() {
  const std::int64_t lm = plan_.lm();
  std::vector<std::optional<LevelHumidity>> own(static_cast<std::size_t>(lm));
  for (std::size_t k = 0; k < own.size(); ++k) own[k] = own_humidity(k);
  for (std::int64_t k = 1; k <= lm; ++k) level_jobs(k, own);
}

void Planner::level_jobs(std::int64_t k, const std::vector<std::optional<LevelHumidity>>& own) {
  const std::int64_t lm = plan_.lm();
  const auto at = static_cast<std::size_t>(k - 1);
  LevelFields& l = *chosen_[at];
  const float p = plan_.pressures[at];
  const auto here = [p](Quantity q) { return What::at(q, p); };
  add_copy(layout::input_record(InputUpper::geopotential, k, lm), best(l.z, here(Quantity::z)), true, here(Quantity::z));
  const std::int64_t t_record = layout::input_record(InputUpper::t, k, lm);
  if (own[at])
    best(l.t, here(Quantity::t));  // written by the level's humidity job, which decodes t anyway
  else
    add_copy(t_record, best(l.t, here(Quantity::t)), true, here(Quantity::t));
  const Source u = best(l.u, here(Quantity::u)), v = best(l.v, here(Quantity::v));
  add_copy(layout::input_record(InputUpper::u, k, lm), u, true, here(Quantity::u));
  add_copy(layout::input_record(InputUpper::v, k, lm), v, true, here(Quantity::v));
  for (const Source& wind : {u, v})
    if (wind.field->uv_relative_to_grid && !winds_noted_) {
      winds_noted_ = true;
      add_note<note::WindsRelativeToGrid>(wind.field);
    }
  if (!l.q.empty()) best(l.q, here(Quantity::q));
  if (!l.r.empty()) best(l.r, here(Quantity::r));

  Job j;
  j.record = layout::input_record(InputUpper::rh, k, lm);
  j.q_record = layout::input_record(InputUpper::q, k, lm);
  j.upper_air = true;
  j.what = here(Quantity::r);
  if (own[at]) {
    j.kind = Job::Kind::humidity;
    j.t_record = t_record;
    j.hum = *own[at];
    note_centre(j.hum);
  } else {
    humidity_between(j, at, own);
  }
  plan_.jobs.push_back(j);
}

// No humidity of its own at level AT: filled between the levels below and
// above that have it, or missing.
void Planner::humidity_between(Job& j, std::size_t at, const std::vector<std::optional<LevelHumidity>>& own) {
  const float p = plan_.pressures[at];
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
    j.hum.t = source(chosen_[at]->t.front());
    j.weights = fill_weights(p, j.below.p_hpa, j.above.p_hpa);
    add_note<note::HumidityFilled>(p, j.below.p_hpa, j.above.p_hpa, j.weights);
    note_centre(j.below);
    note_centre(j.above);
    return;
  }
  j.kind = Job::Kind::missing;
  if (below && above)
    add_note<note::HumidityLeftMissing>(p);
  else
    add_note<note::HumidityAtEnd>(p, below.has_value());
}

void Planner::note_centre(const LevelHumidity& h) {
  if (h.from != RhFrom::r_mixed) return;
  const long centre = h.r->field->centre;
  if (std::find(centres_noted_.begin(), centres_noted_.end(), centre) != centres_noted_.end()) return;
  centres_noted_.push_back(centre);
  add_note<note::CentreHumidity>(h.r->field, h.phase);
}

}  // namespace c2m::ingest
