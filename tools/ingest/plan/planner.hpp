// The Planner, which makes a plan (plan.hpp) in steps: the candidates
// sorted into levels and surface fields, the levels chosen, the jobs of
// the upper air (plan_levels.cpp), of the surface and the soil
// (plan_surface.cpp), the grids checked, the area cut (plan.cpp).
// Used by make_plan only.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "plan/plan.hpp"

namespace c2m::ingest {

// The candidates of one isobaric level, by quantity.
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
  Source best(const std::vector<Candidate>& list, const What& what);
  void add_copy(std::int64_t record, const Source& s, bool upper, const What& what);
  // A note of kind N, made of ARGS (its members in order), after those
  // there are.
  template <class N, class... Args>
  void add_note(Args&&... args) {
    plan_.notes.emplace_back(std::in_place_type<N>, N{std::forward<Args>(args)...});
  }
  // The relative humidity of a centre, noted the first time it is met.
  void note_centre(const LevelHumidity& h);

  // plan.cpp
  [[noreturn]] void refuse_none_taken() const;
  // F is on a grid no case can have: the refusal, with what to do.
  [[noreturn]] void refuse_grid(const FieldInfo& f) const;
  void bucket(const std::vector<Candidate>& cands);
  void check_grids();
  void finish();

  // plan_levels.cpp
  void choose_levels();
  // When u is at no level of any file and v is (or the other way round):
  // "; v is absent at every level ..." with the likely cause; else empty.
  std::string one_wind_absent() const;
  std::optional<LevelHumidity> own_humidity(std::size_t k) const;
  void upper_air_jobs();
  void level_jobs(std::int64_t k, const std::vector<std::optional<LevelHumidity>>& own);
  void humidity_between(Job& j, std::size_t at, const std::vector<std::optional<LevelHumidity>>& own);

  // plan_surface.cpp
  void surface_jobs();
  void soil_jobs();
  void soil_layer(bool moisture, int layer, std::map<std::size_t, std::vector<Candidate>>& by_entry);
  void mask_from(const Source& soil);

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
  bool winds_noted_ = false;
};

}  // namespace c2m::ingest
