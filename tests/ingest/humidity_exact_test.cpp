// The relative-humidity records that give the case's q back through the
// converter: the search on its own (the awkward values of q, T and p),
// then whole cases taken through convert, NCEP's GFS and a synthetic case
// with its own q, compared point by point with the q of the case.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "driver/input_driver.hpp"
#include "estab/estab.hpp"
#include "grib_files.hpp"
#include "layout/records.hpp"
#include "layout/values.hpp"
#include "plan/humidity.hpp"

using namespace ingesttest;
using c2m::layout::input_record;
using c2m::layout::InputUpper;
using c2m::layout::model_record;
using testsupport::read_file;
using testsupport::ScratchDir;

namespace {

constexpr float undefined = c2m::layout::undefined_value;

// Units in the last place between two reals of one sign.
std::int64_t ulps(float a, float b) {
  return std::llabs(std::int64_t{std::bit_cast<std::int32_t>(a)} - std::bit_cast<std::int32_t>(b));
}

// What the converter makes of RH at T and P.
float converter_q(float t, float rh, float p) { return rh * c2m::saturation_humidity(t, p); }

float rh_for(float t, float q, float p) {
  std::vector<float> rh(1);
  c2m::ingest::rh_for_converter(std::vector<float>{t}, std::vector<float>{q}, rh, p);
  return rh[0];
}

TEST(ConverterRh, GivesQBackAtTheEdgesOfTheTable) {
  estab::es_ini();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Row {
    const char* what;
    float t, q, p;
  } rows[] = {
      {"warm dry air near the ground", 313.0f, 0.0052f, 1000.0f},
      {"saturated tropics", 302.5f, 0.0231f, 1000.0f},
      {"cold upper air", 205.3f, 2.1e-6f, 100.0f},
      {"tiny q", 250.0f, 1.0e-7f, 500.0f},
      {"the saturation capped: e above p", 330.0f, 1.0e-5f, 5.0f},
      {"below the table (150 K)", 120.0f, 3.0e-9f, 10.0f},
      {"above the table (450 K)", 500.0f, 0.01f, 1000.0f},
      {"T not a number: the first entry", nan, 1.0e-6f, 700.0f},
      {"T beyond 32 bits x 100", 3.0e8f, 1.0e-6f, 700.0f},
      {"a slightly negative q of packing", 280.0f, -2.0e-7f, 850.0f},
  };
  for (const Row& r : rows) {
    const float rh = rh_for(r.t, r.q, r.p);
    EXPECT_LE(ulps(converter_q(r.t, rh, r.p), r.q), 2) << r.what << ": rh " << rh;
  }
  EXPECT_EQ(rh_for(290.0f, 0.0f, 1000.0f), 0.0f);
  EXPECT_EQ(rh_for(290.0f, undefined, 1000.0f), undefined);
  EXPECT_EQ(rh_for(undefined, 0.01f, 1000.0f), undefined);
}

TEST(ConverterRh, TheLevelsTableIsTheConvertersSaturationAtEveryTemperature) {
  estab::es_ini();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const float p : {1000.0f, 500.0f, 10.0f, 1.0f}) {
    const c2m::LevelSaturation level(p);
    std::vector<float> ts = {nan, -nan, 0.0f, -5.0f, 120.0f, 149.999f, 500.0f, 3.0e8f, -3.0e8f, undefined};
    for (float t = 140.0f; t < 460.0f; t += 0.0137f) ts.push_back(t);
    for (const float t : ts)
      ASSERT_EQ(std::bit_cast<std::uint32_t>(level(t)), std::bit_cast<std::uint32_t>(c2m::saturation_humidity(t, p)))
          << "t " << t << ", p " << p;
  }
}

TEST(ConverterRh, GivesQBackOverTheRangeOfTheAtmosphere) {
  estab::es_ini();
  std::int64_t worst = 0, points = 0;
  for (float t = 180.0f; t < 330.0f; t += 0.37f)
    for (const float p : {1000.0f, 925.0f, 700.0f, 500.0f, 250.0f, 100.0f, 10.0f, 1.0f})
      for (float q = 1.0e-7f; q < 0.04f; q *= 1.37f) {
        worst = std::max(worst, ulps(converter_q(t, rh_for(t, q, p), p), q));
        ++points;
      }
  EXPECT_LE(worst, 2) << "over " << points << " points";
}

// The model file's q against the q of the case it came from: the largest
// gap in units in the last place, and as a ratio, at level K, over the
// points with q above 1e-7.  The model file's rows run from the south, the
// case's from the north.
struct Gap {
  std::int64_t ulps = 0;
  double ratio = 0;
};
Gap gap(const std::string& model, const std::string& source_q_file, std::int64_t source_record, std::int64_t im,
        std::int64_t jm, std::int64_t lm, std::int64_t k) {
  const auto q = record(model, im * jm, model_record(3, k, lm));
  const auto want = record(source_q_file, im * jm, source_record);
  Gap g;
  for (std::int64_t j = 0; j < jm; ++j)
    for (std::int64_t i = 0; i < im; ++i) {
      const float a = want[static_cast<std::size_t>(j * im + i)];
      const float b = q[static_cast<std::size_t>((jm - 1 - j) * im + i)];
      if (!(a > 1e-7f) || a == undefined) continue;
      g.ulps = std::max(g.ulps, ulps(a, b));
      g.ratio = std::max(g.ratio, std::fabs(static_cast<double>(b) / a - 1));
    }
  return g;
}

TEST(HumidityThroughTheConverter, GfsGivesBackTheQOfTheCase) {
  // By default within 2 units in the last place at every level; with
  // --humidity physical the converter's q is high, most in warm dry air
  // near the ground (7.65 % at 1000 hPa).
  constexpr std::int64_t im = 144, jm = 73, lm = 26;
  const std::string gfs = std::string(GRIB_EXAMPLES) + "/gfs.t12z.pgrbf120.2p5deg.grib2";
  struct Row {
    std::vector<std::string> options;
    const char* report;
    std::int64_t most_ulps;      // at any level
    double lowest_ratio_1000;    // at 1000 hPa, at least this much off
  } rows[] = {
      {{}, "humidity:      exact through the converter (--humidity exact)", 2, 0.0},
      {{"--humidity", "physical"}, "humidity:      physical (--humidity physical)", -1, 0.07},
  };
  for (const Row& row : rows) {
    ScratchDir dir;
    std::vector<std::string> args = {"ingest"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.insert(args.end(), {"out", gfs});
    const auto r = conv2model(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(row.report), std::string::npos) << r.out;
    ASSERT_EQ(conv2model(dir.path(), {"convert", "--quiet", "out/case.bin"}).status, 0);
    const std::string model = read_file(dir / "out/case.bin.KVOwrk"), in = read_file(dir / "out/case.bin");
    for (std::int64_t k = 1; k <= lm; ++k) {
      const Gap g = gap(model, in, input_record(InputUpper::q, k, lm), im, jm, lm, k);
      if (row.most_ulps >= 0) {
        EXPECT_LE(g.ulps, row.most_ulps) << "level " << k;
      }
      if (k == 1) {
        EXPECT_GE(g.ratio, row.lowest_ratio_1000);
      }
    }
  }
}

TEST(HumidityThroughTheConverter, ASyntheticCaseGivesBackItsOwnQ) {
  // synth's GRIB with IEEE packing carries its q to the bit: the model
  // file's q is synth's within 2 units in the last place.
  constexpr std::int64_t im = 30, jm = 20, lm = 6;
  ScratchDir dir;
  ASSERT_EQ(conv2model(dir.path(), {"synth", "case", "--im", "30", "--jm", "20", "--lm", "6", "--res", "1",
                                    "--grib", "case.grib", "--packing", "grid_ieee"})
                .status,
            0);
  const auto r = conv2model(dir.path(), {"ingest", "--quiet", "back", "case.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(conv2model(dir.path(), {"convert", "--quiet", "back/case.bin"}).status, 0);
  const std::string model = read_file(dir / "back/case.bin.KVOwrk"), source = read_file(dir / "case/case.bin");
  for (std::int64_t k = 1; k <= lm; ++k)
    EXPECT_LE(gap(model, source, input_record(InputUpper::q, k, lm), im, jm, lm, k).ulps, 2) << "level " << k;
}

}  // namespace
