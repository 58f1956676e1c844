// The notes of a plan: what was filled, derived or passed over, as facts
// (the fields and levels they concern, the numbers behind them) in the
// order the planning met them.  The report puts them into words.
#pragma once

#include <cstddef>
#include <optional>
#include <variant>
#include <vector>

#include "plan/field_table.hpp"
#include "plan/humidity.hpp"
#include "source/fields.hpp"

namespace c2m::ingest {

// The field (and, on an isobaric level, the level) a record or a note is
// about: z at 500 hPa, lsm, stl1.
struct What {
  Quantity quantity = Quantity::z;
  int layer = 0;                // stl, swvl: the layer 1 .. 4
  std::optional<float> p_hpa;   // an upper-air field: its level

  static What plane(Quantity q, int layer = 0) { return {q, layer, std::nullopt}; }
  static What at(Quantity q, float p_hpa) { return {q, 0, p_hpa}; }
};

namespace note {

// WHAT was taken from TAKEN; the same field in OTHERS (of the same entry
// of the table) is not used.
struct PassedOver {
  What what;
  const FieldInfo* taken = nullptr;
  std::vector<const FieldInfo*> others;
};

// The relative humidity of the centre of R is over PHASE (water: no
// definition of the centre's is known), and converted to over water.
// Noted once per centre.
struct CentreHumidity {
  const FieldInfo* r = nullptr;
  MixedPhase phase = MixedPhase::water;
};

// No humidity in the files at P_HPA: relative humidity filled between the
// nearest levels below and above that have it, linear in ln p.
struct HumidityFilled {
  float p_hpa = 0, below_hpa = 0, above_hpa = 0;
  FillWeights weights;
};

// No humidity at P_HPA, between levels that have it, and --no-fill: left
// missing, where the conversion will stop.
struct HumidityLeftMissing {
  float p_hpa = 0;
};

// No humidity at P_HPA, at the top (or the bottom) of the column: a
// missing level, which the converter patches.
struct HumidityAtEnd {
  float p_hpa = 0;
  bool top = false;
};

// QUANTITY has LAYERS layers of FIRST's parameter in the files, ranked by
// depth: the four uppermost are taken.
struct SoilLayersBeyondFour {
  Quantity quantity = Quantity::stl;
  std::size_t layers = 0;
  const FieldInfo* first = nullptr;
};

// No land-sea mask in the files: made from where the soil moisture of
// layer 1 (SOIL) is defined.
struct MaskFromSoil {
  const FieldInfo* soil = nullptr;
};

// No soil field of LAYER (3 or 4): a missing plane, which the converter
// fills from layer 2.
struct SoilLayerMissing {
  Quantity quantity = Quantity::stl;
  int layer = 0;
};

// The validity time VALID is not on the hour, which the date file cannot
// state.
struct TimeOffHour {
  ValidTime valid;
};

// The increment along i rounds to 0 thousandths of a degree in the run
// description.
struct IncrementBelowResolution {};

// WIND (u or v) is flagged as stated along the grid's x and y
// (uvRelativeToGrid = 1) on a regular latitude/longitude grid: harmless
// on a grid that was always one, but a file remapped from a projected grid
// keeps the flag and the winds of that grid.  Noted once.
struct WindsRelativeToGrid {
  const FieldInfo* wind = nullptr;
};

}  // namespace note

using Note = std::variant<note::PassedOver, note::CentreHumidity, note::HumidityFilled, note::HumidityLeftMissing,
                          note::HumidityAtEnd, note::SoilLayersBeyondFour, note::MaskFromSoil,
                          note::SoilLayerMissing, note::TimeOffHour, note::IncrementBelowResolution,
                          note::WindsRelativeToGrid>;

}  // namespace c2m::ingest
