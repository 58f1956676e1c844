// The real GRIB files of python-grib-doc: NCEP's GFS at 2.5 degrees (no
// relative humidity at 20 hPa, no q aloft, mixed-phase RH, soil undefined
// over sea, u and v sharing messages) ingests and converts, with the
// physics of the result checked; grids no case can have are refused by
// name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "estab/estab.hpp"
#include "grib_files.hpp"
#include "layout/records.hpp"
#include "plan/humidity.hpp"

using namespace ingesttest;
using c2m::layout::input_record;
using c2m::layout::InputUpper;
using c2m::layout::model_record;
using testsupport::file_exists;
using testsupport::read_file;
using testsupport::ScratchDir;

namespace {

const std::string examples = GRIB_EXAMPLES;
const std::string gfs = examples + "/gfs.t12z.pgrbf120.2p5deg.grib2";

constexpr std::int64_t im = 144, jm = 73, lm = 26, points = im * jm;
// GFS's levels, from the bottom.
const float levels[lm] = {1000, 975, 950, 925, 900, 850, 800, 750, 700, 650, 600, 550, 500,
                          450,  400, 350, 300, 250, 200, 150, 100, 70,  50,  30,  20,  10};

class Gfs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    estab::es_ini();
    dir_ = new ScratchDir;
    ingest_ = conv2model(dir_->path(), {"ingest", "out", gfs});
    convert_ = conv2model(dir_->path(), {"convert", "--quiet", "out/case.bin"});
  }
  static void TearDownTestSuite() { delete dir_; }
  static ScratchDir* dir_;
  static testsupport::RunResult ingest_, convert_;
};

ScratchDir* Gfs::dir_ = nullptr;
testsupport::RunResult Gfs::ingest_, Gfs::convert_;

TEST_F(Gfs, IngestsAndConverts) {
  ASSERT_EQ(ingest_.status, 0) << ingest_.err;
  EXPECT_EQ(convert_.status, 0) << convert_.err;
  EXPECT_EQ(read_file(*dir_ / "out/adate.txt"), "2011011512\n");  // valid 120 h after the run
  EXPECT_EQ(read_file(*dir_ / "out/InputModelInf.txt").substr(0, 50),
            "kwbc_2011011512\n144 73 26\n0\n-90000\n0\n90000\n357500\n");
  const std::string& report = ingest_.out;
  for (const char* said : {"humidity at 20 hPa: none in the files; relative humidity filled linear in ln p: "
                           "30 hPa x 0.6309 + 10 hPa x 0.3691",
                           "relative humidity of kwbc (centre 7) is over NCEP's mixed phase; converted to over water",
                           "NCEP mixed phase to over water", "gfs.t12z.pgrbf120.2p5deg.grib2#175.2 v (132)", "gfs.t12z.pgrbf120.2p5deg.grib2#303 prmsl (260074)",
                           "Pa to hPa", "gfs.t12z.pgrbf120.2p5deg.grib2#179 orog (228002)", "m x 9.80665", "stl4   1-2 m below ground"})
    EXPECT_NE(report.find(said), std::string::npos) << said;
}

TEST_F(Gfs, TheFilledLevelLiesBetweenItsNeighbours) {
  const std::string in = read_file(*dir_ / "out/case.bin");
  const auto r20 = record(in, points, input_record(InputUpper::rh, 25, lm));
  const auto r30 = record(in, points, input_record(InputUpper::rh, 24, lm));
  const auto r10 = record(in, points, input_record(InputUpper::rh, 26, lm));
  const float wb = std::log(2.0f) / std::log(3.0f);
  for (std::int64_t k = 0; k < points; ++k)
    ASSERT_NEAR(r20[k], wb * r30[k] + (1 - wb) * r10[k], 1e-3f * (1 + r20[k])) << k;
}

TEST_F(Gfs, SoilOverSeaIsUndefinedNotEcCodesDefault) {
  // GFS bitmaps its soil fields over sea: 6919 points of each layer.
  const std::string in = read_file(*dir_ / "out/case.bin");
  for (int p = 5; p <= 12; ++p) {
    const auto plane = record(in, points, c2m::layout::input_surface_record(p, lm));
    EXPECT_EQ(std::count(plane.begin(), plane.end(), 9.999e20f), 6919) << "plane " << p;
    EXPECT_EQ(std::count(plane.begin(), plane.end(), 9999.0f), 0) << "plane " << p;
  }
}

TEST_F(Gfs, ThePhysicsOfTheModelDataHolds) {
  const std::string m = read_file(*dir_ / "out/case.bin.KVOwrk");
  ASSERT_EQ(m.size(), static_cast<std::size_t>(c2m::layout::model_record_count(lm) * points * 4));
  std::vector<float> below;
  for (std::int64_t k = 1; k <= lm; ++k) {
    const auto gh = record(m, points, model_record(2, k, lm));
    const auto q = record(m, points, model_record(3, k, lm));
    const auto t = record(m, points, model_record(4, k, lm));
    const float p = levels[k - 1];
    for (std::int64_t x = 0; x < points; ++x) {
      if (k > 1) {
        ASSERT_GT(gh[x], below[x]) << "heights fall from level " << k - 1 << " to " << k << " at " << x;
      }
      ASSERT_GT(t[x], 170.0f) << k << " " << x;
      ASSERT_LT(t[x], 330.0f) << k << " " << x;
      const float es = c2m::ingest::es_water_hpa(t[x]);
      const float q_saturated = 0.622f * es / (p - 0.378f * es);
      ASSERT_GE(q[x], 0.0f) << "level " << p << " point " << x;  // 0 where GFS's RH is 0
      ASSERT_LT(q[x], 1.05f * q_saturated) << "level " << p << " point " << x;
    }
    below = gh;
  }
}

TEST_F(Gfs, HumidityOverWaterTakesTheIceOutOfColdLevels) {
  // The same file with its RH taken as it is: where NCEP's RH is over ice,
  // the converter's q comes out too high, the more so the colder the level
  // (on average, point by point: +21 % at 500 hPa, +52 % at 300 hPa, +83 %
  // at 100 hPa).
  ScratchDir raw;
  ASSERT_EQ(conv2model(raw.path(), {"ingest", "--quiet", "--rh", "as-is", "out", gfs}).status, 0);
  ASSERT_EQ(conv2model(raw.path(), {"convert", "--quiet", "out/case.bin"}).status, 0);
  const std::string a = read_file(*dir_ / "out/case.bin.KVOwrk"), b = read_file(raw / "out/case.bin.KVOwrk");
  const auto excess_at = [&](std::int64_t k) {
    const auto qa = record(a, points, model_record(3, k, lm)), qb = record(b, points, model_record(3, k, lm));
    double sum = 0;
    int n = 0;
    for (std::int64_t x = 0; x < points; ++x)
      if (qa[x] > 1e-8f) sum += qb[x] / qa[x] - 1, ++n;
    return 100 * sum / n;
  };
  EXPECT_NEAR(excess_at(1), 4.6, 1.0);    // 1000 hPa
  EXPECT_NEAR(excess_at(13), 21.3, 1.0);  // 500 hPa
  EXPECT_NEAR(excess_at(17), 52.5, 1.0);  // 300 hPa
  EXPECT_NEAR(excess_at(21), 83.0, 1.0);  // 100 hPa
}

TEST(OtherRealFiles, AnotherGfsFileCalledGrbIsGrib2AndConverts) {
  ScratchDir dir;
  const auto r = conv2model(dir.path(), {"ingest", "--quiet", "out", examples + "/gfs.grb"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir / "out/adate.txt"), "2011101100\n");
  EXPECT_EQ(conv2model(dir.path(), {"convert", "--quiet", "out/case.bin"}).status, 0);
}

TEST(OtherRealFiles, GridsNoCaseCanHaveAreRefusedByName) {
  const char* rows[][2] = {
      {"eta.grb", "the grid type is lambert (Lambert conformal)"},
      {"ecmwf_tigge.grb", "the grid type is reduced_gg (reduced Gaussian)"},
      {"flux.grb", "the grid type is regular_gg (regular Gaussian)"},
      {"spherical_pressure_level.grib1", "the grid type is sh (spherical harmonics (spectral))"},
      {"CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib", "polar_stereographic"},
      {"rotated_ll.grib1", "the grid type is rotated_ll (rotated latitude/longitude)"},
  };
  for (const auto& row : rows) {
    ScratchDir dir;
    const auto r = conv2model(dir.path(), {"ingest", "out", examples + "/" + row[0]});
    EXPECT_EQ(r.status, 2) << row[0];
    EXPECT_NE(r.err.find(row[1]), std::string::npos) << r.err;
    EXPECT_FALSE(file_exists(dir / "out")) << row[0];
  }
}

}  // namespace
