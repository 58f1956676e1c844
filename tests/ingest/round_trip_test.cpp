// A synthetic case written as GRIB and ingested again: with IEEE packing
// and --rh as-is --humidity physical the same input grid file comes back bit for bit, whatever
// the edition, the scanning order, the way the levels are stated, the
// fields per message or the files they are spread over; with 16-bit
// packing each plane comes back within its precision; a sub-area is the
// same cut of the case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "grib_files.hpp"
#include "layout/records.hpp"

using namespace ingesttest;
using testsupport::read_file;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr int im = 20, jm = 12, lm = 6;

// Lines 2 and on of a run description: sizes, grid integers, pressures.
std::string grid_and_levels(const std::string& path) {
  const std::string t = read_file(path);
  return t.substr(t.find('\n') + 1);
}

class RoundTrip : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    // 35N to 40.5N, 5W to 4.5E: across the Greenwich meridian.
    make_case(dir_->path(), im, jm, 35.0, -5.0, 0.5, lm);
    grib2_ = case_as_grib(dir_->path());
    grib1_ = case_as_grib(dir_->path(), true);
    grib2_simple_ = case_as_grib(dir_->path(), false, true);
  }
  static void TearDownTestSuite() { delete dir_; }

  static std::string input() { return read_file(*dir_ / "case.bin"); }

  static ScratchDir* dir_;
  static std::string grib2_, grib1_, grib2_simple_;
};

ScratchDir* RoundTrip::dir_ = nullptr;
std::string RoundTrip::grib2_, RoundTrip::grib1_, RoundTrip::grib2_simple_;

// Rewritings of every message that keep its meaning.
bool rows_south_to_north(Message& m) {
  const long ni = m.get_long("Ni"), nj = m.get_long("Nj");
  const auto v = m.values();
  std::vector<double> w(v.size());
  for (long j = 0; j < nj; ++j)
    std::copy(v.begin() + j * ni, v.begin() + (j + 1) * ni, w.begin() + (nj - 1 - j) * ni);
  const double lat1 = m.get_double("latitudeOfFirstGridPointInDegrees");
  const double lat2 = m.get_double("latitudeOfLastGridPointInDegrees");
  m.set("jScansPositively", 1L);
  m.set("latitudeOfFirstGridPointInDegrees", lat2);
  m.set("latitudeOfLastGridPointInDegrees", lat1);
  m.set_values(w);
  return true;
}

bool points_east_to_west(Message& m) {
  const long ni = m.get_long("Ni"), nj = m.get_long("Nj");
  auto v = m.values();
  for (long j = 0; j < nj; ++j) std::reverse(v.begin() + j * ni, v.begin() + (j + 1) * ni);
  const double lon1 = m.get_double("longitudeOfFirstGridPointInDegrees");
  const double lon2 = m.get_double("longitudeOfLastGridPointInDegrees");
  m.set("iScansNegatively", 1L);
  m.set("longitudeOfFirstGridPointInDegrees", lon2);
  m.set("longitudeOfLastGridPointInDegrees", lon1);
  m.set_values(v);
  return true;
}

bool columns_stored(Message& m) {
  const long ni = m.get_long("Ni"), nj = m.get_long("Nj");
  const auto v = m.values();
  std::vector<double> w(v.size());
  for (long j = 0; j < nj; ++j)
    for (long i = 0; i < ni; ++i) w[static_cast<std::size_t>(i * nj + j)] = v[static_cast<std::size_t>(j * ni + i)];
  m.set("jPointsAreConsecutive", 1L);
  m.set_values(w);
  return true;
}

bool isobaric(Message& m) { return m.get_string("typeOfLevel") == "isobaricInhPa"; }

// Edition 1 states levels from 1 to 655 hPa in Pa with a level type of
// its own.
bool upper_levels_in_pa(Message& m) {
  if (isobaric(m) && m.get_long("level") <= 655) {
    const long pa = m.get_long("level") * 100;
    m.set("typeOfLevel", std::string("isobaricInPa"));
    m.set("level", pa);
  }
  return true;
}

// Edition 2 states a level as a scaled value: the same pressure in Pa
// times 10^-2, and in Pa / 1000 times 10^3.
bool levels_scaled_otherwise(Message& m) {
  if (isobaric(m)) {
    const long hpa = m.get_long("level");
    if (hpa % 2 == 0) {
      m.set("scaleFactorOfFirstFixedSurface", -2L);
      m.set("scaledValueOfFirstFixedSurface", hpa);
    } else {
      m.set("scaleFactorOfFirstFixedSurface", 3L);
      m.set("scaledValueOfFirstFixedSurface", hpa * 100000);
    }
  }
  return true;
}

struct Variant {
  const char* name;
  bool grib1;
  std::function<std::string(const std::string&)> make;  // from the plain file
  bool split = false;  // pressure levels and surface in two files, surface first
  const char* report_has = "";
};

TEST_F(RoundTrip, IeeePackingGivesTheSameInputGridFileBitForBit) {
  const Variant variants[] = {
      {"GRIB 2", false, [](const std::string& b) { return b; }},
      {"GRIB 1", true, [](const std::string& b) { return b; }},
      {"rows south to north", false, [](const std::string& b) { return rewrite(b, rows_south_to_north); }},
      {"GRIB 1, rows south to north", true, [](const std::string& b) { return rewrite(b, rows_south_to_north); }},
      {"points east to west", false, [](const std::string& b) { return rewrite(b, points_east_to_west); }},
      {"columns stored", false, [](const std::string& b) { return rewrite(b, columns_stored); }},
      {"GRIB 1, levels in Pa", true, [](const std::string& b) { return rewrite(b, upper_levels_in_pa); }},
      {"levels scaled otherwise", false, [](const std::string& b) { return rewrite(b, levels_scaled_otherwise); }},
      {"u and v in one message", false, [](const std::string& b) { return winds_together(b); }, false,
       ".2 v (132)"},
      {"two files", false, [](const std::string& b) { return b; }, true},
  };
  const std::string expected = input();
  for (const Variant& v : variants) {
    ScratchDir work;
    const std::string bytes = v.make(v.grib1 ? grib1_ : grib2_);
    std::vector<std::string> args = {"ingest", "--rh", "as-is", "--humidity", "physical", "out"};
    if (v.split) {
      write_file(work / "upper.grib", rewrite(bytes, isobaric));
      write_file(work / "surface.grib", rewrite(bytes, [](Message& m) { return !isobaric(m); }));
      args.push_back("surface.grib");
      args.push_back("upper.grib");
    } else {
      write_file(work / "in.grib", bytes);
      args.push_back("in.grib");
    }
    const auto r = conv2model(work.path(), args);
    ASSERT_EQ(r.status, 0) << v.name << "\n" << r.err;
    EXPECT_TRUE(read_file(work / "out/case.bin") == expected) << v.name;
    EXPECT_EQ(grid_and_levels(work / "out/InputModelInf.txt"), grid_and_levels(*dir_ / "InputModelInf.txt"))
        << v.name;
    EXPECT_EQ(read_file(work / "out/adate.txt"), "2026120806\n") << v.name;
    EXPECT_EQ(read_file(work / "out/ingest.txt"), r.out) << v.name;
    EXPECT_NE(r.out.find(v.report_has), std::string::npos) << v.name;
  }
}

TEST_F(RoundTrip, SimplePackingKeepsEveryPlaneWithinItsSixteenBits) {
  ScratchDir work;
  write_file(work / "in.grib", grib2_simple_);
  const auto r = conv2model(work.path(), {"ingest", "--quiet", "--rh", "as-is", "--humidity", "physical", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string a = input(), b = read_file(work / "out/case.bin");
  ASSERT_EQ(a.size(), b.size());
  const std::int64_t points = im * jm;
  for (std::int64_t n = 1; n <= c2m::layout::input_record_count(lm); ++n) {
    const auto x = record(a, points, n), y = record(b, points, n);
    float lo = INFINITY, hi = -INFINITY;
    for (const float v : x)
      if (v != 9.999e20f) lo = std::min(lo, v), hi = std::max(hi, v);
    const float step = (hi - lo) / 65535.0f;
    for (std::size_t k = 0; k < x.size(); ++k) {
      if (x[k] == 9.999e20f) {
        ASSERT_EQ(y[k], x[k]) << "record " << n << " point " << k << ": undefined lost";
        continue;
      }
      ASSERT_LE(std::fabs(y[k] - x[k]), step + 4e-7f * std::fabs(x[k])) << "record " << n << " point " << k;
    }
  }
}

TEST_F(RoundTrip, RelativeHumidityFromQLetsTheConverterGiveQBack) {
  // By default RH over water is made from q; the converter's own q from it
  // differs from the file's q only by its formula: it takes p - es where
  // q takes p - 0.378 e, a little above it, and never below.
  ScratchDir work;
  write_file(work / "in.grib", grib2_);
  auto r = conv2model(work.path(), {"ingest", "--quiet", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = conv2model(work.path(), {"convert", "--quiet", "out/case.bin"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string in = input(), model = read_file(work / "out/case.bin.KVOwrk");
  const std::int64_t points = im * jm;
  for (std::int64_t k = 1; k <= lm; ++k) {
    const auto q_file = record(in, points, c2m::layout::input_record(c2m::layout::InputUpper::q, k, lm));
    const auto q_model = record(model, points, c2m::layout::model_record(3, k, lm));
    for (std::int64_t j = 0; j < jm; ++j)
      for (std::int64_t i = 0; i < im; ++i) {
        const float qf = q_file[static_cast<std::size_t>((jm - 1 - j) * im + i)];  // rows north to south
        const float qm = q_model[static_cast<std::size_t>(j * im + i)];            // rows south to north
        if (qf < 1e-7f) continue;
        EXPECT_GE(qm / qf, 0.9999f) << "level " << k << " point " << i << "," << j;
        EXPECT_LE(qm / qf, 1.02f) << "level " << k << " point " << i << "," << j;
      }
  }
}

TEST(Area, SubAreaAcrossZeroIsTheSameCutOfTheCase) {
  ScratchDir dir;
  make_case(dir.path(), 36, 19, -90.0, 0.0, 10.0, 5);  // 10 degrees, the whole earth
  write_file(dir / "in.grib", case_as_grib(dir.path()));
  const auto r = conv2model(dir.path(), {"ingest", "--quiet", "--rh", "as-is", "--humidity", "physical", "--area", "-20,-30,20,30", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(grid_and_levels(dir / "out/InputModelInf.txt").substr(0, 46),
            "7 5 5\n0\n-20000\n-30000\n20000\n30000\n10000\n10000\n");
  // Rows 7 .. 11 from the north (20N .. 20S), columns 33 .. 35 and 0 .. 3
  // (30W .. 30E).
  const std::string whole = read_file(dir / "case.bin"), cut = read_file(dir / "out/case.bin");
  const std::int64_t records = c2m::layout::input_record_count(5);
  ASSERT_EQ(cut.size(), static_cast<std::size_t>(records * 7 * 5 * 4));
  for (std::int64_t n = 1; n <= records; ++n) {
    const auto a = record(whole, 36 * 19, n), b = record(cut, 7 * 5, n);
    for (int r0 = 0; r0 < 5; ++r0)
      for (int c = 0; c < 7; ++c)
        ASSERT_EQ(b[static_cast<std::size_t>(r0 * 7 + c)], a[static_cast<std::size_t>((7 + r0) * 36 + (33 + c) % 36)])
            << "record " << n << " row " << r0 << " column " << c;
  }
}

}  // namespace
