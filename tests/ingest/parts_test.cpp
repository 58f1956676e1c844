// The parts of ingest in process: the turning of every scanning order and
// the cut of an area, the run description's grid integers, the humidity
// over water, the field table, the time and the label.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "case/extract.hpp"
#include "case/plan_words.hpp"
#include "estab/estab.hpp"
#include "ingest.hpp"
#include "plan/field_table.hpp"
#include "plan/grid.hpp"
#include "plan/humidity.hpp"
#include "plan/plan.hpp"
#include "plan/times.hpp"
#include "textio/errors.hpp"

using namespace c2m::ingest;

namespace {

// ---------------------------------------------------------------------------
// Scanning orders.  The values are laid out the way a file with the flags
// stores them, walking the scan itself: rows (or columns) one after the
// other, each in its direction.  Whatever the order, the case must see
// each point at its place: rows north to south, points west to east.

double value_at(std::int64_t row_from_north, std::int64_t col_from_west) {
  return static_cast<double>(1000 * row_from_north + col_from_west);
}

std::vector<double> as_stored(const Turn& t) {
  std::vector<double> v;
  const std::int64_t outer = t.j_consecutive ? t.ni : t.nj, inner = t.j_consecutive ? t.nj : t.ni;
  for (std::int64_t o = 0; o < outer; ++o)
    for (std::int64_t k = 0; k < inner; ++k) {
      const std::int64_t along = (t.alternating && (o % 2 == 1)) ? inner - 1 - k : k;
      const std::int64_t along_i = t.j_consecutive ? o : along, along_j = t.j_consecutive ? along : o;
      const std::int64_t col = t.i_negative ? t.ni - 1 - along_i : along_i;
      const std::int64_t row = t.j_positive ? t.nj - 1 - along_j : along_j;
      v.push_back(value_at(row, col));
    }
  return v;
}

TEST(Turning, EveryScanningOrderGivesRowsNorthToSouthPointsWestToEast) {
  for (int flags = 0; flags < 16; ++flags) {
    Turn t{7, 5, (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0, (flags & 8) != 0};
    const auto stored = as_stored(t);
    // A cut that goes round the earth: columns 5, 6, 0, 1 of rows 1 to 3.
    const Cut cut{1, 3, 5, 4};
    std::vector<float> out(static_cast<std::size_t>(cut.points()));
    extract(t, cut, stored, 1.0, 0.0, out);
    for (std::int64_t r = 0; r < cut.rows; ++r)
      for (std::int64_t c = 0; c < cut.cols; ++c)
        ASSERT_EQ(out[static_cast<std::size_t>(r * cut.cols + c)],
                  static_cast<float>(value_at(cut.row0 + r, (cut.col0 + c) % t.ni)))
            << "flags " << flags << " row " << r << " column " << c;
  }
}

TEST(Turning, ScalingKeepsUndefinedPointsAndNegativeZero) {
  const Turn t{4, 1};
  const std::vector<double> v = {undefined_double, 101325.0, -0.0, 1e300};
  std::vector<float> out(4);
  extract(t, Cut{0, 1, 0, 4}, v, 0.01, 0.0, out);
  EXPECT_EQ(out[0], undefined_value);
  EXPECT_EQ(out[1], 1013.25f);
  EXPECT_TRUE(std::signbit(out[2]));
  EXPECT_TRUE(std::isinf(out[3]));
  extract(t, Cut{0, 1, 0, 4}, v, 1.0, 0.0, out);
  EXPECT_EQ(out[0], undefined_value);
  EXPECT_TRUE(std::signbit(out[2]));
}

// ---------------------------------------------------------------------------
// Grids as files state them, and the grid integers of the run description.

GridInfo ll(std::int64_t ni, std::int64_t nj, double lat1, double lon1, double lat2, double lon2) {
  GridInfo g;
  g.type = "regular_ll";
  g.ni = ni;
  g.nj = nj;
  g.lat_first = lat1;
  g.lon_first = lon1;
  g.lat_last = lat2;
  g.lon_last = lon2;
  g.j_positive = lat2 > lat1;
  g.i_negative = false;
  return g;
}

TEST(Grids, StatedGridsInTheCasesOrder) {
  struct Row {
    const char* name;
    GridInfo g;
    double north, west, dlon, dlat;
    bool global;
  } rows[] = {
      {"global, rows south", ll(144, 73, 90, 0, -90, 357.5), 90, 0, 2.5, 2.5, true},
      {"global, rows north", ll(144, 73, -90, 0, 90, 357.5), 90, 0, 2.5, 2.5, true},
      {"global from 180", ll(1440, 721, 90, 180, -90, 179.75), 90, 180, 0.25, 0.25, true},
      {"regional across 0", ll(111, 61, 65, 335, 35, 30), 65, 335, 0.5, 0.5, false},
      {"regional, negative longitudes", ll(111, 61, 65, -25, 35, 30), 65, 335, 0.5, 0.5, false},
  };
  for (const auto& r : rows) {
    const LatLon g = normalise(r.g, r.name);
    EXPECT_DOUBLE_EQ(g.north, r.north) << r.name;
    EXPECT_DOUBLE_EQ(g.west, r.west) << r.name;
    EXPECT_NEAR(g.dlon, r.dlon, 1e-12) << r.name;
    EXPECT_NEAR(g.dlat, r.dlat, 1e-12) << r.name;
    EXPECT_EQ(g.global, r.global) << r.name;
  }
  GridInfo east_first = ll(144, 73, 90, 357.5, -90, 0);
  east_first.i_negative = true;
  EXPECT_DOUBLE_EQ(normalise(east_first, "east first").west, 0.0);
}

TEST(Grids, RefusedWithTheReason) {
  struct Row {
    GridInfo g;
    const char* said;
  } rows[] = {
      {[] { GridInfo g = ll(93, 65, 0, 0, 1, 1); g.type = "lambert"; return g; }(), "lambert (Lambert conformal)"},
      {[] { GridInfo g = ll(93, 65, 0, 0, 1, 1); g.type = "reduced_gg"; return g; }(), "reduced_gg (reduced Gaussian)"},
      {[] { GridInfo g = ll(10, 10, 0, 0, 9, 9); g.j_positive = false; return g; }(), "lies north of its first"},
      {ll(0, 10, 0, 0, 9, 9), "claims 0 x 10 points"},
      {ll(100000, 100000, -90, 0, 90, 359), "more than the limit of 536870911"},
      {ll(10, 10, 0, 0, 95, 9), "latitude 95"},
  };
  for (const auto& r : rows) {
    try {
      normalise(r.g, "f.grib message 3");
      ADD_FAILURE() << "not refused: " << r.said;
    } catch (const c2m::IoFailure& e) {
      EXPECT_NE(std::string(e.what()).find(r.said), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("f.grib message 3"), std::string::npos) << e.what();
    }
  }
}

TEST(Grids, AreasCutAcrossZeroAnd180AndTheirGridIntegers) {
  const LatLon global = normalise(ll(360, 181, 90, 0, -90, 359), "1 degree");
  const LatLon europe = normalise(ll(111, 61, 65, -25, 35, 30), "0.5 degree regional");
  struct Row {
    const char* name;
    const LatLon* g;
    Area area;
    Cut cut;
    std::array<std::int32_t, 7> grid;
  } rows[] = {
      {"across 0", &global, {-20, -20, 20, 20}, {70, 41, 340, 41}, {0, -20000, -20000, 20000, 20000, 1000, 1000}},
      {"across 0, west given east", &global, {-20, 340, 20, 20}, {70, 41, 340, 41}, {0, -20000, -20000, 20000, 20000, 1000, 1000}},
      {"across 180", &global, {30, 170, 40, -170}, {50, 11, 170, 21}, {0, 30000, 170000, 40000, 190000, 1000, 1000}},
      {"one point", &global, {0, 0, 0, 0}, {90, 1, 0, 1}, {0, 0, 0, 0, 0, 1000, 1000}},
      {"round the earth from 180", &global, {-90, -180, 90, 180}, {0, 181, 180, 360}, {0, -90000, -180000, 90000, 179000, 1000, 1000}},
      {"whole earth from 0", &global, {-90, 0, 90, 360}, {0, 181, 0, 360}, {0, -90000, 0, 90000, 359000, 1000, 1000}},
      {"inside a regional grid", &europe, {40, -10, 50, 10}, {30, 21, 30, 41}, {0, 40000, -10000, 50000, 10000, 500, 500}},
      {"beyond its east edge", &europe, {40, 20, 50, 40}, {30, 21, 90, 21}, {0, 40000, 20000, 50000, 30000, 500, 500}},
  };
  for (const auto& r : rows) {
    const Cut c = cut_area(*r.g, r.area);
    EXPECT_EQ(c.row0, r.cut.row0) << r.name;
    EXPECT_EQ(c.rows, r.cut.rows) << r.name;
    EXPECT_EQ(c.col0, r.cut.col0) << r.name;
    EXPECT_EQ(c.cols, r.cut.cols) << r.name;
    EXPECT_EQ(run_grid(*r.g, c).grid, r.grid) << r.name;
  }
  EXPECT_THROW(cut_area(global, {10.2, 10.2, 10.8, 10.8}), c2m::IoFailure);
  EXPECT_THROW(cut_area(europe, {40, 100, 50, 120}), c2m::IoFailure);
}

TEST(Grids, CornersFollowFromTheRoundedIncrements) {
  // A third of a degree: the increments round to 333 thousandths and the
  // north-east corner is worked out from them, not rounded on its own.
  const LatLon g = normalise(ll(1080, 541, 90, 0, -90, 359.6667), "third of a degree");
  const auto r = run_grid(g, whole(g));
  EXPECT_EQ(r.grid[5], 333);
  EXPECT_EQ(r.grid[3], r.grid[1] + 540 * r.grid[6]);
  EXPECT_EQ(r.grid[4], r.grid[2] + 1079 * r.grid[5]);
}

// ---------------------------------------------------------------------------
// Humidity over water.

class Humidity : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { estab::es_ini(); }
};

TEST_F(Humidity, FromSpecificHumidityAndBackIsTheSameHumidity) {
  for (const float t : {200.0f, 250.0f, 273.16f, 300.0f, 310.0f})
    for (const float p : {1000.0f, 500.0f, 100.0f, 10.0f}) {
      const float e = 0.5f * es_water_hpa(t);  // half saturated
      if (e > 0.1f * p) continue;              // no such air
      const float q0 = 0.622f * e / (p - 0.378f * e);
      std::vector<float> tt(1, t), q(1, q0);
      rh_from_q(tt, q, p);
      EXPECT_NEAR(q[0], 50.0f, 0.01f) << "t " << t << " p " << p;
      q_from_rh(tt, q, p);
      EXPECT_NEAR(tt[0] / q0, 1.0f, 1e-5f) << "t " << t << " p " << p;
    }
}

TEST_F(Humidity, SaturationOverWaterIsTheConvertersTableEntry) {
  for (const float t : {150.0f, 233.157f, 273.16f, 300.009f, 449.99f})
    EXPECT_EQ(es_water_hpa(t), estab::goff_gratch(0.01f * std::floor(100.0f * t))) << t;
}

TEST_F(Humidity, MixedPhaseBlendsWaterAndIceAsEachCentreDefinesIt) {
  struct Row {
    MixedPhase m;
    float t, alpha;  // share of the saturation over water
  } rows[] = {
      {MixedPhase::ecmwf, 240.0f, 0.0f},   {MixedPhase::ecmwf, 250.16f, 0.0f},
      {MixedPhase::ecmwf, 261.66f, 0.25f}, {MixedPhase::ecmwf, 273.16f, 1.0f},
      {MixedPhase::ecmwf, 290.0f, 1.0f},   {MixedPhase::ncep, 250.0f, 0.0f},
      {MixedPhase::ncep, 253.16f, 0.0f},   {MixedPhase::ncep, 258.16f, 0.25f},
      {MixedPhase::ncep, 263.16f, 0.5f},   {MixedPhase::ncep, 273.16f, 1.0f},
  };
  for (const auto& r : rows) {
    const float w = es_water_pa(r.t), i = es_ice_pa(r.t);
    const float alpha = w == i ? 1.0f : (es_mixed_pa(r.m, r.t) - i) / (w - i);
    EXPECT_NEAR(alpha, r.alpha, 1e-3f) << words(r.m) << " at " << r.t;
  }
  EXPECT_EQ(mixed_phase_of(98), MixedPhase::ecmwf);
  EXPECT_EQ(mixed_phase_of(7), MixedPhase::ncep);
  EXPECT_EQ(mixed_phase_of(74), MixedPhase::water);
}

TEST_F(Humidity, SaturatedOverIceAtMinus40IsTwoThirdsOverWater) {
  // Saturation over ice at -40 C is about 68 % of that over water.
  for (const MixedPhase m : {MixedPhase::ecmwf, MixedPhase::ncep}) {
    std::vector<float> t(1, 233.15f), r(1, 100.0f);
    rh_from_mixed(t, r, m);
    EXPECT_NEAR(r[0], 68.0f, 1.0f) << words(m);
  }
  // Above freezing both are over water: the percentage hardly changes.
  std::vector<float> t(1, 290.0f), r(1, 80.0f);
  rh_from_mixed(t, r, MixedPhase::ecmwf);
  EXPECT_NEAR(r[0], 80.0f, 0.5f);
  // A centre whose definition is unknown: taken as it is.
  std::vector<float> r2(1, 80.0f);
  rh_from_mixed(t, r2, MixedPhase::water);
  EXPECT_EQ(r2[0], 80.0f);
}

TEST_F(Humidity, UndefinedPointsStayUndefined) {
  const float u = undefined_value;
  std::vector<float> t = {u, 280.0f}, v = {50.0f, u};
  std::vector<float> a = v;
  rh_from_mixed(t, a, MixedPhase::ncep);
  EXPECT_EQ(a, (std::vector<float>{u, u}));
  a = {0.01f, u};
  rh_from_q(t, a, 850.0f);
  EXPECT_EQ(a, (std::vector<float>{u, u}));
  std::vector<float> tq = t;
  q_from_rh(tq, v, 850.0f);
  EXPECT_EQ(tq, (std::vector<float>{u, u}));
  std::vector<float> below = {u, 10.0f}, above = {10.0f, u};
  fill_between(below, above, {0.5f, 0.5f});
  EXPECT_EQ(below, (std::vector<float>{u, u}));
}

TEST_F(Humidity, WholePlanesGiveEveryPointItsOwnFormulaBitForBit) {
  // Many chunks and a ragged end, undefined points scattered, air too warm
  // and moist for its pressure (where q cannot be made).
  const std::size_t n = 1031;
  std::vector<float> t(n), q(n), r(n);
  for (std::size_t k = 0; k < n; ++k) {
    t[k] = 180.0f + 0.137f * static_cast<float>(k);
    q[k] = 1e-6f + 2e-5f * static_cast<float>(k % 97);
    r[k] = 0.5f + static_cast<float>(k % 101);
    if (k % 13 == 5) t[k] = undefined_value;
    if (k % 17 == 3) q[k] = r[k] = undefined_value;
  }
  for (const float p : {1000.0f, 250.0f, 15.0f}) {
    std::vector<float> rh = q;
    rh_from_q(t, rh, p);
    std::vector<float> qq = t;
    q_from_rh(qq, r, p);
    for (std::size_t k = 0; k < n; ++k) {
      const bool bad = t[k] == undefined_value || q[k] == undefined_value;
      const float e = q[k] * p / (0.622f + 0.378f * q[k]);
      EXPECT_EQ(rh[k], bad ? undefined_value : 100.0f * e / es_water_hpa(t[k])) << k << " at " << p;
      const float ew = r[k] * 0.01f * es_water_hpa(t[k]);
      const float d = p - 0.378f * ew;
      const bool none = t[k] == undefined_value || r[k] == undefined_value || !(d > 0.0f);
      EXPECT_EQ(qq[k], none ? undefined_value : 0.622f * ew / d) << k << " at " << p;
    }
  }
}

TEST(Fill, WeightsAreLinearInLogPressure) {
  const FillWeights w = fill_weights(20.0f, 30.0f, 10.0f);
  EXPECT_NEAR(w.below, std::log(2.0f) / std::log(3.0f), 1e-6f);
  EXPECT_NEAR(w.below + w.above, 1.0f, 1e-7f);
  const FillWeights mid = fill_weights(std::sqrt(1000.0f * 500.0f), 1000.0f, 500.0f);
  EXPECT_NEAR(mid.below, 0.5f, 1e-6f);
}

// ---------------------------------------------------------------------------
// The field table.

FieldInfo field(long param, const char* level_type, std::optional<float> p = std::nullopt) {
  FieldInfo f;
  f.param_id = param;
  f.level_type = level_type;
  f.pressure_hpa = p;
  return f;
}

std::string taken_as(const FieldTable& t, const FieldInfo& f) {
  const auto e = t.match(f);
  if (!e) return "-";
  return field_name(t[*e].what, t[*e].layer) + " x" + std::to_string(t[*e].scale).substr(0, 7);
}

TEST(FieldTable, BuiltInEntriesTakeEachParameterOnItsLevels) {
  const FieldTable t = FieldTable::built_in();
  struct Row {
    FieldInfo f;
    const char* as;
  } rows[] = {
      {field(129, "isobaricInhPa", 500.0f), "z x1.00000"},
      {field(156, "isobaricInPa", 0.5f), "z x9.80665"},
      {field(129, "surface"), "orog x1.00000"},
      {field(228002, "surface"), "orog x9.80665"},
      {field(130, "isobaricInhPa", 850.0f), "t x1.00000"},
      {field(130, "depthBelowLandLayer"), "stl x1.00000"},
      {field(130, "surface"), "-"},
      {field(156, "maxWind"), "-"},
      {field(260074, "meanSea"), "msl x0.01000"},
      {field(228039, "depthBelowLandLayer"), "swvl x0.00100"},
      {field(236, "depthBelowLandLayer"), "stl4 x1.00000"},
      {field(157, "isobaricInhPa"), "-"},  // no pressure stated: not a level
  };
  for (const auto& r : rows) EXPECT_EQ(taken_as(t, r.f), r.as) << r.f.param_id << " " << r.f.level_type;
  // Geopotential wins over height where a level has both.
  EXPECT_LT(*t.match(field(129, "isobaricInhPa", 500.0f)), *t.match(field(156, "isobaricInhPa", 500.0f)));
}

TEST(FieldTable, EntriesOfAFileComeFirstAndReplaceTheirOwn) {
  FieldTable t = FieldTable::built_in();
  t.add_text("# mine\nz 156 isobaricInhPa 10\n- 228002 *\norog 3 surface 1 -5  # pseudo\n", "my.table");
  EXPECT_EQ(taken_as(t, field(156, "isobaricInhPa", 500.0f)), "z x10.0000");
  EXPECT_EQ(taken_as(t, field(228002, "surface")), "-");
  EXPECT_EQ(taken_as(t, field(3, "surface")), "orog x1.00000");
  EXPECT_EQ(t[*t.match(field(3, "surface"))].offset, -5.0);
  // Replaced, and first: height now wins over geopotential.
  EXPECT_LT(*t.match(field(156, "isobaricInhPa", 500.0f)), *t.match(field(129, "isobaricInhPa", 500.0f)));
  EXPECT_EQ(t[*t.match(field(156, "isobaricInhPa", 500.0f))].origin, "my.table line 2");
}

TEST(FieldTable, BadLinesAreRefusedNamingTheLine) {
  const std::pair<std::string, std::string> bad[] = {
      {"z 129\n", "line 1: wants FIELD PARAMID LEVELTYPE"},
      {"\n\nwind 131 isobaricInhPa\n", "line 3: no case field 'wind'"},
      {"z 12a isobaricInhPa\n", "the paramId '12a'"},
      {"z 129 isobaricInhPa ten\n", "the scale 'ten'"},
      {"z 129 isobaricInhPa 1 nan\n", "the offset 'nan'"},
      {"z 129 isobaricInhPa 1 0 extra\n", "found 6 words"},
      {"z 99999999999999999999 isobaricInhPa\n", "the paramId '99999999999999999999' is not a whole number"},
      {"z -129 isobaricInhPa\n", "the paramId '-129'"},
      {"z 129 isobaric\x1b[2JInhPa\n", "the level type 'isobaric\\x1b[2JInhPa' is not one"},
      {"z 129 " + std::string(70, 'L') + "\n", "the level type 'LLLL"},
      // A word of a megabyte, or holding a NUL, is quoted short and whole.
      {std::string(1 << 20, 'w') + " 129 *\n", "no case field 'wwww"},
      {std::string("z 1\0" "29 *\n", 9), "the paramId '1\\029'"},
  };
  for (const auto& b : bad) {
    FieldTable t = FieldTable::built_in();
    try {
      t.add_text(b.first, "t.txt");
      ADD_FAILURE() << b.second;
    } catch (const c2m::IoFailure& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(b.second), std::string::npos) << what;
      EXPECT_EQ(what.rfind("t.txt line", 0), 0u) << what;
      EXPECT_LT(what.size(), 300u) << what.substr(0, 300);
    }
  }
}

// ---------------------------------------------------------------------------
// Times, labels and the command line.

TEST(Times, ValidityTimesOfTheCommandLine) {
  EXPECT_EQ(parse_time("2011011512")->text(), "2011011512");
  EXPECT_EQ(parse_time("201101151230")->text(), "201101151230");
  for (const char* bad : {"201101151", "2011011524", "2011130112", "20110115xx", ""})
    EXPECT_FALSE(parse_time(bad)) << bad;
}

TEST(Times, OneTimeAndOneMemberOrTheChoiceOfOne) {
  std::vector<FieldInfo> fields(4);
  fields[0].valid = fields[1].valid = {20240101, 0};
  fields[2].valid = fields[3].valid = {20240101, 600};
  fields[1].member = fields[3].member = 3;
  fields[3].file = 1;
  auto all = [&] {
    std::vector<Candidate> c;
    for (const FieldInfo& f : fields) c.push_back({&f, 0});
    return c;
  };
  const std::vector<std::string> files = {"gfs_one.grib2", "gfs_two.grib2"};
  auto refusal = [&](const TimeChoice& choice) {
    auto c = all();
    try {
      choose_time(c, choice, files);
    } catch (const c2m::IoFailure& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(refusal({}).find("valid at 2 times, and a case has one: 2024010100 (2 fields in gfs_one.grib2); "
                             "2024010106 (2 fields in gfs_one.grib2, gfs_two.grib2)"),
            std::string::npos)
      << refusal({});
  EXPECT_NE(refusal({ValidTime{20240101, 600}, {}}).find("2 ensemble members, and a case has one: member 0 (1 field in gfs_one.grib2); "
                                                         "member 3 (1 field in gfs_two.grib2)"),
            std::string::npos);
  EXPECT_NE(refusal({ValidTime{20240102, 0}, {}}).find("no field of the files is valid at 2024010200 (--time)"),
            std::string::npos);
  EXPECT_NE(refusal({{}, 7L}).find("valid at 2 times"), std::string::npos);
  auto c = all();
  const ChosenTime t = choose_time(c, {ValidTime{20240101, 600}, 3L}, files);
  EXPECT_EQ(t.valid.text(), "2024010106");
  EXPECT_EQ(t.member, 3);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].field, &fields[3]);
}

TEST(Labels, OneWordOfAtMostTwentyCharacters) {
  const ValidTime t{20110115, 1200};
  EXPECT_EQ(default_label("kwbc", t), "kwbc_2011011512");
  EXPECT_EQ(default_label("a very long name", t), "averylong_2011011512");
  EXPECT_EQ(default_label("", t), "case_2011011512");
  EXPECT_EQ(default_label("x", ValidTime{20110115, 1230}), "x_201101151230");
}

TEST(CommandLine, RefusedWithTheReason) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"out"},
      {"--name", "a b", "out", "f.grib"},
      {"--name", "sub/case.bin", "out", "f.grib"},
      {"--name", "adate.txt", "out", "f.grib"},
      {"--levels", "1000,850,1000", "out", "f.grib"},
      {"--levels", "1000,-5", "out", "f.grib"},
      {"--area", "10,20,30", "out", "f.grib"},
      {"--area", "50,0,40,10", "out", "f.grib"},
      {"--time", "2011", "out", "f.grib"},
      {"--rh", "over-ice", "out", "f.grib"},
      {"--label", "two words", "out", "f.grib"},
      {"--label", "abcdefghijklmnopqrstu", "out", "f.grib"},
      {"--threads", "0", "out", "f.grib"},
      {"--frobnicate", "out", "f.grib"},
  };
  for (const auto& args : bad) EXPECT_THROW(parse_options(args), c2m::cli::UsageError) << ::testing::PrintToString(args);
  const Options o = parse_options({"--levels=850,1000", "--area", "-10,-20,10,20", "--rh", "as-is", "--no-fill",
                                   "out", "a.grib", "b.grib"});
  EXPECT_EQ(o.plan.levels, (std::vector<float>{850.0f, 1000.0f}));
  EXPECT_EQ(o.plan.area->west, -20.0);
  EXPECT_EQ(o.plan.rh, RhMode::as_is);
  EXPECT_FALSE(o.plan.fill);
  EXPECT_EQ(o.outdir, "out");
  EXPECT_EQ(o.files, (std::vector<std::string>{"a.grib", "b.grib"}));
}

}  // namespace
