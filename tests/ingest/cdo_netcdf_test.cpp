// netCDF as CDO writes it from NCEP's GRIB, the commonest way users make
// netCDF: python-grib-doc's GFS file, its messages split first (CDO reads
// only the first field of a GRIB 2 message that holds several), copied to
// netCDF classic and netCDF-4 with `cdo -f nc copy` and `cdo -f nc4 copy`.
// Both ingest without --table to the GRIB route's case, within one unit
// in the last place of a 4-byte real (CDO keeps each value as a 4-byte
// real, where the GRIB route multiplies the decoded 8-byte value), with
// the soil layers of the depth axis taken in order of depth and labelled
// with the depths of its bounds.  The tools are Debian's (cdo,
// libeccodes-tools): a test that cannot run them fails.
#include <array>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "grib_files.hpp"

using namespace ingesttest;
using testsupport::read_file;
using testsupport::run_program;
using testsupport::ScratchDir;

namespace {

const std::string gfs = std::string(GRIB_EXAMPLES) + "/gfs.t12z.pgrbf120.2p5deg.grib2";
constexpr std::int64_t points = 144 * 73;

// Units in the last place between two 4-byte reals of one sign; a large
// number for reals of different signs.
std::int64_t ulps(float a, float b) {
  if (a == b) return 0;
  if (std::signbit(a) != std::signbit(b)) return INT64_MAX;
  const auto ia = static_cast<std::int64_t>(std::bit_cast<std::uint32_t>(a));
  const auto ib = static_cast<std::int64_t>(std::bit_cast<std::uint32_t>(b));
  return ia > ib ? ia - ib : ib - ia;
}

class CdoNetcdf : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    const std::string d = dir_->path();
    setup_ = run_program("/usr/bin/grib_copy", d, "", {gfs, "split.grib2"});
    for (const char* format : {"nc", "nc4"})
      if (setup_.status == 0)
        setup_ = run_program("/usr/bin/cdo", d, "", {"-s", "-f", format, "copy", "split.grib2",
                                                    std::string("gfs_") + format + ".nc"});
    if (setup_.status == 0) grib_ = conv2model(d, {"ingest", "grib", gfs});
  }
  static void TearDownTestSuite() { delete dir_; }
  static ScratchDir* dir_;
  static testsupport::RunResult setup_, grib_;
};

ScratchDir* CdoNetcdf::dir_ = nullptr;
testsupport::RunResult CdoNetcdf::setup_, CdoNetcdf::grib_;

TEST_F(CdoNetcdf, IngestsWithoutATableToTheGribRoutesCase) {
  ASSERT_EQ(setup_.status, 0) << "grib_copy or cdo: " << setup_.err;
  ASSERT_EQ(grib_.status, 0) << grib_.err;
  const std::string expected = read_file(*dir_ / "grib/case.bin");
  for (const char* format : {"nc", "nc4"}) {
    const std::string file = std::string("gfs_") + format + ".nc";
    const auto r = conv2model(dir_->path(), {"ingest", format, file});
    ASSERT_EQ(r.status, 0) << file << ": " << r.err;
    const std::string got = read_file(*dir_ / (std::string(format) + "/case.bin"));
    ASSERT_EQ(got.size(), expected.size()) << file;
    const auto records = static_cast<std::int64_t>(expected.size() / 4) / points;
    std::int64_t worst = 0, worst_record = 0;
    for (std::int64_t n = 1; n <= records; ++n) {
      const auto a = record(expected, points, n), b = record(got, points, n);
      for (std::size_t k = 0; k < a.size(); ++k)
        if (const std::int64_t u = ulps(a[k], b[k]); u > worst) worst = u, worst_record = n;
    }
    EXPECT_LE(worst, 1) << file << ": record " << worst_record;
    // The layers of the depth axis in order of depth, at the depths of its
    // bounds (not ERA5's), from the renamed soil temperature and soilw.
    // Each record's line: its field and level, the variable it came from
    // (named by the file), and the conversion.
    const auto line_of = [&](const std::string& from) {
      const auto at = r.out.find(from);
      if (at == std::string::npos) return std::string();
      const auto begin = r.out.rfind('\n', at) + 1;
      return r.out.substr(begin, r.out.find('\n', at) - begin);
    };
    for (const auto& [from, begins, ends] : std::vector<std::array<std::string, 3>>{
             {":t_3 (130)", "stl1   0-0.1 m below ground", "as is"},
             {":soilw (260185)", "swvl1  0-0.1 m below ground", "as is"},
             {":prmsl (260074)", "msl    surface", "Pa to hPa"},
             {":orog (228002)", "orog   surface", "m x 9.80665"}}) {
      const std::string line = line_of(file + from);
      EXPECT_NE(line.find(begins), std::string::npos) << file << ": no \"" << begins << "\" from " << from << " in\n" << r.out;
      EXPECT_TRUE(line.ends_with(ends)) << file << ": " << line;
    }
    for (const char* said : {"stl2   0.1-0.4 m below ground", "stl4   1-2 m below ground", "swvl4  1-2 m below ground"})
      EXPECT_NE(r.out.find(said), std::string::npos) << file << ": no \"" << said << "\" in\n" << r.out;
    // Pressure at the tropopause and at cloud tops is no surface pressure.
    EXPECT_EQ(r.out.find("trpp"), std::string::npos) << file << "\n" << r.out;
  }
}

}  // namespace
