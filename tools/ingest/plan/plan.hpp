// The plan of a case: from the fields the table takes, the levels, the
// source of every record of the input grid file and how it is made, the
// grid and the area, the time and the label.  Making the plan reads no
// values; it is where every refusal about the files' contents happens, so
// that a refused case never touches the output directory.
//
// The plan is data: which record comes from which field (references to the
// sources' fields and the table's entries), what is filled or derived and
// how (kinds and numbers), and notes of the same kind.  It holds no words:
// the report (case/) says it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "layout/run_description_text.hpp"
#include "plan/candidates.hpp"
#include "plan/grid.hpp"
#include "plan/humidity.hpp"
#include "plan/notes.hpp"
#include "plan/times.hpp"

namespace c2m::ingest {

// What the relative humidity r of the files is over (--rh).
enum class RhMode {
  convert,  // its centre's saturation: converted to over water
  as_is,    // water already: taken unchanged
};

struct PlanOptions {
  std::optional<std::vector<float>> levels;  // --levels, hPa
  std::optional<Area> area;
  TimeChoice time;
  RhMode rh = RhMode::convert;
  HumidityRecords humidity = HumidityRecords::exact;
  bool fill = true;
  std::optional<std::string> label;
};

// A field and the table entry that takes it.
struct Source {
  const FieldInfo* field = nullptr;
  const TableEntry* entry = nullptr;
};

enum class RhFrom { q, r_mixed, r_as_is };

// How the relative humidity of one level is made from the fields of that
// level.
struct LevelHumidity {
  float p_hpa = 0;
  Source t;
  std::optional<Source> q, r;
  RhFrom from = RhFrom::q;
  MixedPhase phase = MixedPhase::water;  // of r, for r_mixed
};

struct Job {
  enum class Kind {
    copy,            // RECORD from SRC, scaled
    humidity,        // RECORD (RH), Q_RECORD and T_RECORD from the level's own fields, HUM
    fill,            // RECORD (RH) between BELOW and ABOVE; Q_RECORD from T and it
    missing,         // RECORD (and Q_RECORD, if any) a missing plane
    mask_from_soil,  // RECORD: 1 where SRC (soil moisture of layer 1) is defined, 0 elsewhere
  };
  Kind kind = Kind::copy;
  std::int64_t record = 0, q_record = 0;
  std::int64_t t_record = 0;   // humidity: the level's t, written from the same decoding
  // What RECORD holds: for copy, the field (at its level when upper air);
  // for humidity, fill and a missing level, r at the level; for a missing
  // plane and mask_from_soil, the plane's field.
  What what;
  Source src;
  LevelHumidity hum;           // humidity; fill: the level's temperature and pressure
  LevelHumidity below, above;  // fill
  FillWeights weights;         // fill
  bool upper_air = false;      // point (1, 1) of the southernmost row decides the level
};

struct Plan {
  LatLon grid;
  Cut cut;
  layout::RunGrid run;
  std::vector<float> pressures;  // hPa, level 1 (the bottom) first
  ChosenTime time;
  const FieldInfo* run_of = nullptr;  // the field whose run and step the case's are (t of level 1)
  std::string label;
  HumidityRecords humidity = HumidityRecords::exact;  // what the relative-humidity records hold
  std::vector<Job> jobs;           // the longest first; every record of the case is made by one
  std::vector<Note> notes;         // in the order the planning met them
  std::vector<std::string> files;  // the input files as the report names them (file_names)
  std::int64_t lm() const { return static_cast<std::int64_t>(pressures.size()); }
  std::int64_t points() const { return cut.points(); }
};

// The plan for SOURCES.  IoFailure (status 2) names what is wrong: an
// unsupported grid, several times or members, a field required and
// absent (with what the files hold), inconsistent grids, an empty area.
Plan make_plan(const Sources& sources, const FieldTable& table, const PlanOptions& options);
// The same from CANDS, the candidates of SOURCES already found (those of
// one validity time, for a case among many).
Plan make_plan(const Sources& sources, const FieldTable& table, const PlanOptions& options,
               std::vector<Candidate> cands);

// A pressure in words, "500 hPa" (the shortest text of the 4-byte real),
// as the refusals and the report say it.
std::string hpa_words(float p);

// The default label: the centre's abbreviation and the validity time,
// one word of at most 20 characters.
std::string default_label(const std::string& centre, const ValidTime& valid);

}  // namespace c2m::ingest
