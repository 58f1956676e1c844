#include "case/plan_words.hpp"

#include <algorithm>

#include "kit/numbers.hpp"

namespace c2m::ingest {

namespace {

const char* const q_formula = "q = 0.622 e / (p - 0.378 e), e = RH / 100 x es_water(t)";
// The converter's relative humidity for the q of the level.
const char* const converter_rh_formula =
    "the converter's RH for q: q / qs, qs = 0.00622 es_water(t) / (p - es_water(t)) as it computes it";

// "z at 500 hPa", "lsm", "stl1".
std::string what_words(const What& w) {
  const std::string name = field_name(w.quantity, w.layer);
  return w.p_hpa ? name + " at " + hpa_words(*w.p_hpa) : name;
}

using Files = std::vector<std::string>;

// The field F in the report: "gfs.grib2#175.2", "pl.nc:t".
std::string where(const FieldInfo& f, const Files& files) {
  return f.where(files[static_cast<std::size_t>(f.file)]);
}

std::string from_words(const Source& s, const Files& files) {
  if (!s.field->variable.empty())  // "FILE:VAR" names it already
    return where(*s.field, files) +
           (s.field->param_id != 0 ? " (" + decimal(s.field->param_id) + ")" : std::string());
  return where(*s.field, files) + " " + s.field->short_name + " (" + decimal(s.field->param_id) + ")";
}

std::string conversion(const Source& s) {
  const std::string& units = s.field->unit_conversion;
  const std::string& entry = s.entry->conversion;
  if (units.empty()) return entry.empty() ? "as is" : entry;
  return entry.empty() ? units : units + ", then " + entry;
}

// The level of a copied field: an isobaric one's pressure; a soil layer's
// depths; else the kind of level its source states.
std::string copy_level(const Job& j) {
  if (j.what.p_hpa) return hpa_words(*j.what.p_hpa);
  if (j.what.quantity == Quantity::stl || j.what.quantity == Quantity::swvl) return j.src.field->level_words();
  return j.src.field->level_type;
}

std::string physical_rh_conversion(const LevelHumidity& h) {
  switch (h.from) {
    case RhFrom::q:
      return "from q and t: e = q p / (0.622 + 0.378 q), RH = 100 e / es_water(t)";
    case RhFrom::r_as_is:
      return "as is (--rh as-is)";
    case RhFrom::r_mixed:
      break;
  }
  if (h.phase == MixedPhase::water) return "taken as over water, unchanged";
  return h.phase == MixedPhase::ecmwf ? "ECMWF mixed phase to over water, with t"
                                      : "NCEP mixed phase to over water, with t";
}

// The RH record's conversion: with exact records, the converter's RH of
// the level's q (the files' own, or the one derived from the physical RH).
std::string rh_conversion(const LevelHumidity& h, HumidityRecords records) {
  if (records == HumidityRecords::physical) return physical_rh_conversion(h);
  if (h.from == RhFrom::q) return converter_rh_formula;
  return physical_rh_conversion(h) + ", q derived from it, then " + converter_rh_formula;
}

std::string fill_words(float below_hpa, float above_hpa, FillWeights w) {
  return "linear in ln p: " + hpa_words(below_hpa) + " x " + fixed_decimals(w.below, 4) + " + " +
         hpa_words(above_hpa) + " x " + fixed_decimals(w.above, 4);
}

// The lines of a level's humidity made from its own fields (and of its t,
// decoded with them).
void humidity_lines(const Job& j, const std::string& level, HumidityRecords records, const Files& files,
                    std::vector<RecordLine>& out) {
  const LevelHumidity& h = j.hum;
  out.push_back({j.t_record, "t", level, from_words(h.t, files), conversion(h.t)});
  const Source& rh_src = h.from == RhFrom::q ? *h.q : *h.r;
  out.push_back({j.record, "r", level,
                 from_words(rh_src, files) + (h.from == RhFrom::r_as_is ? "" : ", t " + where(*h.t.field, files)),
                 rh_conversion(h, records)});
  if (h.q)
    out.push_back({j.q_record, "q", level, from_words(*h.q, files), conversion(*h.q)});
  else
    out.push_back({j.q_record, "q", level, "derived, t " + where(*h.t.field, files) + " and RH", q_formula});
}

void job_lines(const Job& j, HumidityRecords records, const Files& files, std::vector<RecordLine>& out) {
  const std::string name = field_name(j.what.quantity, j.what.layer);
  const std::string level = j.what.p_hpa ? hpa_words(*j.what.p_hpa) : std::string();
  switch (j.kind) {
    case Job::Kind::copy:
      out.push_back({j.record, name, copy_level(j), from_words(j.src, files), conversion(j.src)});
      return;
    case Job::Kind::humidity:
      humidity_lines(j, level, records, files, out);
      return;
    case Job::Kind::fill:
      out.push_back({j.record, "r", level, "filled",
                     fill_words(j.below.p_hpa, j.above.p_hpa, j.weights) +
                         (records == HumidityRecords::exact ? ", q derived from it, then " +
                                                                  std::string(converter_rh_formula)
                                                            : std::string())});
      out.push_back({j.q_record, "q", level, "derived, t " + where(*j.hum.t.field, files) + " and RH", q_formula});
      return;
    case Job::Kind::missing:
      if (j.what.p_hpa) {
        out.push_back({j.record, "r", level, "missing", "a missing level (-99999)"});
        out.push_back({j.q_record, "q", level, "missing", "a missing level (-99999)"});
      } else {
        out.push_back({j.record, name, "", "missing", "a missing plane (-99999)"});
      }
      return;
    case Job::Kind::mask_from_soil:
      out.push_back({j.record, "lsm", "surface", "derived, " + from_words(j.src, files),
                     "1 where soil moisture of layer 1 is defined, 0 elsewhere"});
      return;
  }
}

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::string centre_words(const note::CentreHumidity& n) {
  const std::string who = n.r->centre_name + " (centre " + decimal(n.r->centre) + ")";
  if (n.phase == MixedPhase::water)
    return "relative humidity of " + who +
           ": no definition of its saturation is known for this centre; taken as over water, unchanged";
  const std::string phase = words(n.phase);
  return "relative humidity of " + who + " is over " + phase.substr(0, phase.find(" (")) +
         "; converted to over water: e = r / 100 x es_mixed(t), RH = 100 e / es_water(t), with " + phase +
         " and es_water the converter's Goff-Gratch table";
}

}  // namespace

std::string words(MixedPhase m) {
  switch (m) {
    case MixedPhase::ecmwf:
      return "ECMWF's mixed phase (water at and above 273.16 K, ice at and below 250.16 K, "
             "blended as the square of the fraction between)";
    case MixedPhase::ncep:
      return "NCEP's mixed phase (water at and above 273.16 K, ice at and below 253.16 K, "
             "linear in T between)";
    case MixedPhase::water:
      break;
  }
  return "over water";
}

std::string humidity_words(HumidityRecords records) {
  if (records == HumidityRecords::exact)
    return "exact through the converter (--humidity exact): the relative-humidity records hold the converter's "
           "RH, from which it gives back the case's q at every point within 2 units in the last place";
  return "physical (--humidity physical): the relative-humidity records hold RH over water; the converter's q "
         "from them (a saturation mixing ratio scaled by RH) comes out above the case's q, by a few percent in "
         "warm air";
}

std::vector<RecordLine> record_lines(const Plan& plan) {
  std::vector<RecordLine> lines;
  for (const Job& j : plan.jobs) job_lines(j, plan.humidity, plan.files, lines);
  std::stable_sort(lines.begin(), lines.end(),
                   [](const RecordLine& a, const RecordLine& b) { return a.record < b.record; });
  return lines;
}

std::string note_words(const Note& note, const std::vector<std::string>& files) {
  return std::visit(
      Overloaded{
          [&](const note::PassedOver& n) {
            std::string also;
            for (const FieldInfo* f : n.others) also += (also.empty() ? "" : ", ") + where(*f, files);
            return what_words(n.what) + ": taken from " + where(*n.taken, files) + "; the same field in " + also +
                   " is not used";
          },
          [](const note::CentreHumidity& n) { return centre_words(n); },
          [](const note::HumidityFilled& n) {
            return "humidity at " + hpa_words(n.p_hpa) + ": none in the files; relative humidity filled " +
                   fill_words(n.below_hpa, n.above_hpa, n.weights) +
                   " (the levels below and above that have it), q derived from it and t";
          },
          [](const note::HumidityLeftMissing& n) {
            return "humidity at " + hpa_words(n.p_hpa) +
                   ": none in the files, and --no-fill leaves it missing; the conversion will stop there (the "
                   "converter patches only the ends of the column)";
          },
          [](const note::HumidityAtEnd& n) {
            return "humidity at " + hpa_words(n.p_hpa) + ": none in the files, at the " +
                   (n.top ? "top" : "bottom") +
                   " of the column; written as a missing level, which the converter patches by copying the "
                   "relative humidity of the nearest level that has it: the model file's q there is the "
                   "converter's estimate (that relative humidity with this level's own t and p), not a q of the "
                   "files";
          },
          [](const note::SoilLayersBeyondFour& n) {
            return field_name(n.quantity) + ": the files hold " + decimal(n.layers) + " layers of " +
                   n.first->short_name + "; the four uppermost are taken";
          },
          [&](const note::MaskFromSoil& n) {
            return "lsm: none in the files; made 1 where the soil moisture of layer 1 (" + where(*n.soil, files) +
                   ") is defined, 0 elsewhere";
          },
          [](const note::SoilLayerMissing& n) {
            return field_name(n.quantity, n.layer) +
                   ": none in the files; written as a missing plane, which the converter fills from layer 2";
          },
          [](const note::TimeOffHour& n) {
            return "the validity time " + n.valid.words() +
                   " is not on the hour; adate.txt holds YYYYMMDDHH and leaves the minutes out";
          },
          [&](const note::WindsRelativeToGrid& n) {
            return n.wind->short_name + " of " + where(*n.wind, files) +
                   " is flagged as stated along the grid's own x and y (uvRelativeToGrid = 1): on a regular "
                   "latitude/longitude grid that is east and north only if the grid was always one; a file "
                   "remapped from a Lambert, polar stereographic or rotated grid keeps the flag and that grid's "
                   "winds, which then need rotating to east and north";
          },
          [](const note::IncrementBelowResolution&) {
            return std::string("the increment along i is below half a thousandth of a degree and shows as 0 in "
                               "the run description");
          },
      },
      note);
}

std::string job_words(const Job& j) {
  if (j.kind == Job::Kind::copy) return field_name(j.what.quantity, j.what.layer) + " at " + copy_level(j);
  if (j.what.p_hpa) return hpa_words(*j.what.p_hpa);
  return field_name(j.what.quantity, j.what.layer);
}

}  // namespace c2m::ingest
