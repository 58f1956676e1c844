// The surface and the soil of a plan: the land-sea mask (else made from
// the soil moisture of layer 1), the pressures and the surface
// geopotential; soil temperature and moisture of layers 1 to 4, a layer
// named by its entry of the table or the layers in order of depth, layers
// 3 and 4 missing when the files have none.
#include <algorithm>
#include <string>

#include "kit/numbers.hpp"
#include "layout/records.hpp"
#include "plan/planner.hpp"

namespace c2m::ingest {

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
    if (const auto* list = surface(w.q)) {
      add_copy(record, best(*list, What::plane(w.q)), false, What::plane(w.q));
    } else if (w.q == Quantity::lsm) {
      Job j;
      j.kind = Job::Kind::mask_from_soil;
      j.record = record;
      j.what = What::plane(Quantity::lsm);
      plan_.jobs.push_back(j);  // its source is set with the soil
    } else {
      absent_.push_back(field_name(w.q) + " (" + w.words + ")");
    }
  }
}

void Planner::soil_jobs() {
  for (const bool moisture : {false, true}) {
    // The layers each entry offers: its named layer, or its fields in
    // order of depth (the first field of each depth).
    std::map<std::size_t, std::vector<Candidate>> by_entry;
    for (const Candidate& c : moisture ? soil_m_ : soil_t_) by_entry[c.entry].push_back(c);
    for (auto& [entry, list] : by_entry)
      if (table_[entry].layer == 0)
        std::stable_sort(list.begin(), list.end(), [](const Candidate& a, const Candidate& b) {
          const double ta = a.field->depth_top_m.value_or(0), tb = b.field->depth_top_m.value_or(0);
          if (ta != tb) return ta < tb;
          return a.field->depth_bottom_m.value_or(0) < b.field->depth_bottom_m.value_or(0);
        });
    for (int layer = 1; layer <= 4; ++layer) soil_layer(moisture, layer, by_entry);
  }
  for (const Job& j : plan_.jobs)
    if (j.kind == Job::Kind::mask_from_soil && !j.src.field)
      absent_.push_back("lsm (land-sea mask, or soil moisture of layer 1 to make it from)");
}

void Planner::soil_layer(bool moisture, int layer, std::map<std::size_t, std::vector<Candidate>>& by_entry) {
  const Quantity q = moisture ? Quantity::swvl : Quantity::stl;
  const What what = What::plane(q, layer);
  std::optional<Source> chosen;
  for (auto& [entry, list] : by_entry) {
    const TableEntry& e = table_[entry];
    if (e.layer == layer) {
      chosen = best(list, what);
    } else if (e.layer == 0) {
      // Distinct depths, the first field of each.
      std::vector<const Candidate*> depths;
      for (const Candidate& c : list)
        if (depths.empty() || depths.back()->field->depth_top_m != c.field->depth_top_m ||
            depths.back()->field->depth_bottom_m != c.field->depth_bottom_m)
          depths.push_back(&c);
      if (static_cast<int>(depths.size()) >= layer) chosen = source(*depths[static_cast<std::size_t>(layer - 1)]);
      if (layer == 4 && depths.size() > 4)
        add_note<note::SoilLayersBeyondFour>(q, depths.size(), depths[0]->field);
    }
    if (chosen) break;
  }
  const int plane = moisture ? layout::sfc::soil_m(layer) : layout::sfc::soil_t(layer);
  const std::int64_t record = layout::input_surface_record(plane, plan_.lm());
  if (chosen) {
    add_copy(record, *chosen, false, what);
    if (moisture && layer == 1) mask_from(*chosen);
  } else if (layer >= 3) {
    Job j;
    j.kind = Job::Kind::missing;
    j.record = record;
    j.what = what;
    plan_.jobs.push_back(j);
    add_note<note::SoilLayerMissing>(q, layer);
  } else {
    absent_.push_back(field_name(q, layer) + (moisture ? " (soil moisture" : " (soil temperature") + " of layer " +
                      decimal(layer) + ")");
  }
}

// The mask that the files lack, made from SOIL.
void Planner::mask_from(const Source& soil) {
  for (Job& j : plan_.jobs)
    if (j.kind == Job::Kind::mask_from_soil) {
      j.src = soil;
      add_note<note::MaskFromSoil>(soil.field);
    }
}

}  // namespace c2m::ingest
