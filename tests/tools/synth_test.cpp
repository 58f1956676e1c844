// Tests of the synthetic case generator (conv2model synth): the files it writes must be what
// the converter expects (layout, sizes, row order, undefined marks), and
// the fields must look like an atmosphere rather than noise.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "options.hpp"
#include "synth.hpp"
#include "textio/errors.hpp"

namespace fs = std::filesystem;

namespace {

class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = fs::temp_directory_path() /
            ("synth_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

synth::CaseSettings settings(std::vector<std::string> args) {
  args.insert(args.begin(), "unused");
  return synth::parse_command_line(args).settings;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A case written to disk and read back the way the converter reads it.
struct Case {
  TempDir dir;
  std::string label;
  int im = 0, jm = 0, lm = 0;
  std::vector<long> grid_ints;
  std::vector<double> pressures;
  std::vector<float> values;  // the whole input grid file
  std::size_t file_size = 0;

  explicit Case(const std::vector<std::string>& args) : Case(settings(args)) {}
  explicit Case(const synth::CaseSettings& s) {
    synth::write_case(dir.path(), s);
    std::istringstream desc(read_file(dir.path() / "InputModelInf.txt"));
    std::getline(desc, label);
    desc >> im >> jm >> lm;
    for (int n = 0; n < 7; ++n) {
      long v = 0;
      desc >> v;
      grid_ints.push_back(v);
    }
    for (int k = 0; k < lm; ++k) {
      double p = 0;
      desc >> p;
      pressures.push_back(p);
    }
    const std::string bytes = read_file(dir.path() / s.file_name);
    file_size = bytes.size();
    values.resize(bytes.size() / 4);
    for (std::size_t n = 0; n < values.size(); ++n) {
      std::uint32_t u = 0;
      for (int b = 3; b >= 0; --b)
        u = (u << 8) | static_cast<unsigned char>(bytes[4 * n + static_cast<std::size_t>(b)]);
      values[n] = std::bit_cast<float>(u);
    }
  }

  std::size_t points() const { return static_cast<std::size_t>(im) * static_cast<std::size_t>(jm); }
  // Record r (1-based, as the converter numbers them).
  const float* record(int r) const { return values.data() + static_cast<std::size_t>(r - 1) * points(); }
  // Value in file order: row 0 is the first row stored (the northernmost).
  float at(int r, int file_row, int i) const {
    return record(r)[static_cast<std::size_t>(file_row) * static_cast<std::size_t>(im) + static_cast<std::size_t>(i)];
  }
  double row_mean(int r, int file_row) const {
    double sum = 0;
    for (int i = 0; i < im; ++i) sum += at(r, file_row, i);
    return sum / im;
  }
  double mean(int r) const {
    double sum = 0;
    for (std::size_t x = 0; x < points(); ++x) sum += record(r)[x];
    return sum / static_cast<double>(points());
  }
  int level(double p) const {
    return static_cast<int>(std::find(pressures.begin(), pressures.end(), p) - pressures.begin());
  }
  // Records of the blocks, with k the 0-based level index.
  int ht(int k) const { return 1 + k; }
  int rh(int k) const { return lm + 1 + k; }
  int q(int k) const { return 2 * lm + 1 + k; }
  int tp(int k) const { return 3 * lm + 1 + k; }
  int uw(int k) const { return 4 * lm + 1 + k; }
  int vw(int k) const { return 5 * lm + 1 + k; }
  int sfc(int plane) const { return 6 * lm + plane; }
};

TEST(SynthCase, FilesHaveTheLayoutTheConverterReads) {
  struct Row {
    std::vector<std::string> args;
    int im, jm, lm;
    std::vector<long> grid_ints;  // type, lat/lon first (south-west), lat/lon last, di, dj
  };
  const Row rows[] = {
      {{}, 111, 61, 17, {0, 35000, -25000, 65000, 30000, 500, 500}},
      {{"--global", "--res", "10", "--lm", "26"}, 36, 19, 26, {0, -90000, 0, 90000, 350000, 10000, 10000}},
      {{"--im", "8", "--jm", "6", "--lm", "4", "--res", "2", "--south", "40", "--west", "-10"},
       8, 6, 4, {0, 40000, -10000, 50000, 4000, 2000, 2000}},
      {{"--res", "1.5", "--south", "-40", "--north", "-10", "--west", "100", "--east", "160", "--lm", "0"},
       41, 21, 0, {0, -40000, 100000, -10000, 160000, 1500, 1500}},
      {{"--global", "--res", "5", "--lm", "40", "--name", "other.dat", "--label", "my case"},
       72, 37, 40, {0, -90000, 0, 90000, 355000, 5000, 5000}},
  };
  for (const Row& row : rows) {
    std::string joined;
    for (const auto& a : row.args) joined += a + " ";
    SCOPED_TRACE(joined);
    const Case c(row.args);
    EXPECT_EQ(c.im, row.im);
    EXPECT_EQ(c.jm, row.jm);
    EXPECT_EQ(c.lm, row.lm);
    EXPECT_EQ(c.grid_ints, row.grid_ints);
    EXPECT_EQ(c.file_size, static_cast<std::size_t>(6 * row.lm + 12) * static_cast<std::size_t>(row.im * row.jm) * 4);
    ASSERT_EQ(c.pressures.size(), static_cast<std::size_t>(row.lm));
    if (row.lm > 0) {
      EXPECT_EQ(c.pressures.front(), 1000.0);
    }
    for (std::size_t k = 1; k < c.pressures.size(); ++k) EXPECT_LT(c.pressures[k], c.pressures[k - 1]);
    EXPECT_LE(c.label.size(), 20u);
    EXPECT_FALSE(read_file(c.dir.path() / "adate.txt").empty());
  }
}

TEST(SynthCase, PressureLevels) {
  EXPECT_EQ(synth::standard_pressures(17),
            (std::vector<float>{1000, 925, 850, 700, 600, 500, 400, 300, 250, 200, 150, 100, 70, 50, 30, 20, 10}));
  EXPECT_EQ(synth::standard_pressures(26),
            (std::vector<float>{1000, 975, 950, 925, 900, 850, 800, 750, 700, 650, 600, 550, 500, 450, 400,
                                350, 300, 250, 200, 150, 100, 70, 50, 30, 20, 10}));
  EXPECT_TRUE(synth::standard_pressures(0).empty());
  for (int lm : {1, 2, 5, 12, 25, 27, 60, 100}) {
    SCOPED_TRACE(lm);
    const auto p = synth::standard_pressures(lm);
    ASSERT_EQ(p.size(), static_cast<std::size_t>(lm));
    EXPECT_EQ(p.front(), 1000.0f);
    for (std::size_t k = 1; k < p.size(); ++k) EXPECT_LT(p[k], p[k - 1]);
    EXPECT_GT(p.back(), 0.0f);
  }
}

TEST(SynthCase, SeedDecidesTheBytes) {
  const std::vector<std::string> base = {"--global", "--res", "10", "--lm", "5"};
  auto with_seed = [&](const char* seed) {
    auto a = base;
    a.insert(a.end(), {"--seed", seed});
    return a;
  };
  const Case a(with_seed("7")), b(with_seed("7")), c(with_seed("8"));
  EXPECT_EQ(a.values, b.values);
  EXPECT_NE(a.values, c.values);
  // The weather changes with the seed, the geography does not.
  const auto mask = [](const Case& x) {
    return std::vector<float>(x.record(x.sfc(1)), x.record(x.sfc(1)) + x.points());
  };
  EXPECT_EQ(mask(a), mask(c));
}

TEST(SynthCase, RowsRunNorthToSouthAndContinentsSitInPlace) {
  const Case c({"--global", "--res", "2", "--lm", "4"});
  ASSERT_EQ(c.jm, 91);
  const int mask = c.sfc(1);
  // The first row stored is the North Pole (Arctic Ocean), the last the
  // South Pole (Antarctica).
  EXPECT_EQ(c.row_mean(mask, 0), 0.0);
  EXPECT_EQ(c.row_mean(mask, c.jm - 1), 1.0);
  EXPECT_LT(c.row_mean(c.tp(0), 0) + 20.0, c.row_mean(c.tp(0), c.jm / 2));

  struct Place {
    const char* name;
    int lon, lat;  // degrees, on the 2-degree grid
    bool land;
  };
  const Place places[] = {
      {"Sahara", 14, 22, true},          {"central Atlantic", -36, 20, false},
      {"Brazil", -54, -10, true},        {"Great Plains", -100, 40, true},
      {"Siberia", 100, 62, true},        {"central Australia", 134, -24, true},
      {"Indian Ocean", 76, -20, false},  {"North Pacific", -160, 34, false},
      {"Antarctica", 0, -84, true},      {"Greenland", -40, 72, true},
      {"Mediterranean", 18, 34, false},  {"Black Sea", 34, 44, false},
      {"Caspian Sea", 50, 42, false},    {"Hudson Bay", -86, 60, false},
      {"Baltic Sea", 20, 58, false},     {"Madagascar", 46, -20, true},
      {"Great Britain", -2, 52, true},   {"Iceland", -18, 64, true},
      {"South Pacific", -120, -40, false}, {"Tasman Sea", 160, -40, false},
  };
  for (const Place& p : places) {
    SCOPED_TRACE(p.name);
    const int i = ((p.lon + 360) % 360) / 2;
    const int file_row = (90 - p.lat) / 2;
    EXPECT_EQ(c.at(mask, file_row, i), p.land ? 1.0f : 0.0f);
  }
}

TEST(SynthCase, SurfaceFieldsAreConsistentAndSoilIsUndefinedOverSea) {
  const std::uint32_t undefined = synth::undefined_bits;
  for (const auto& args : {std::vector<std::string>{"--global", "--res", "2", "--lm", "3"},
                           std::vector<std::string>{"--lm", "3", "--seed", "3"}}) {
    const Case c(args);
    SCOPED_TRACE(c.im);
    std::size_t land = 0, sea = 0, wet = 0;
    for (std::size_t x = 0; x < c.points(); ++x) {
      const float mask = c.record(c.sfc(1))[x];
      ASSERT_TRUE(mask == 0.0f || mask == 1.0f) << mask;
      const bool is_land = mask == 1.0f;
      (is_land ? land : sea)++;
      const float mslp = c.record(c.sfc(2))[x], ps = c.record(c.sfc(3))[x], zs = c.record(c.sfc(4))[x];
      EXPECT_GT(mslp, 940.0f);
      EXPECT_LT(mslp, 1060.0f);
      if (is_land) {
        EXPECT_GT(zs, 0.0f);
        EXPECT_LE(ps, mslp);
        EXPECT_GT(ps, 450.0f);
      } else {
        EXPECT_EQ(zs, 0.0f);
        EXPECT_EQ(ps, mslp);
      }
      for (int plane = 5; plane <= 12; ++plane) {
        const float v = c.record(c.sfc(plane))[x];
        if (!is_land) {
          ASSERT_EQ(std::bit_cast<std::uint32_t>(v), undefined) << "plane " << plane;
        } else if (plane % 2 == 1) {
          ASSERT_TRUE(v >= 200.0f && v < 330.0f) << "soil temperature " << v;
        } else {
          ASSERT_TRUE(v > 0.0f && v <= 1.0f) << "soil moisture " << v;
          if (plane == 6 && v > 0.6f) ++wet;
        }
      }
    }
    EXPECT_GT(land, 0u);
    EXPECT_GT(sea, 0u);
    if (c.im == 180) {
      EXPECT_GT(wet, 0u) << "no soil wetter than 0.6 anywhere";
    }
  }
}

TEST(SynthCase, UpperAirLooksLikeAnAtmosphere) {
  const Case c({"--global", "--res", "3", "--lm", "26", "--seed", "11"});
  for (int k = 0; k < c.lm; ++k) {
    for (std::size_t x = 0; x < c.points(); ++x) {
      const float rh = c.record(c.rh(k))[x], q = c.record(c.q(k))[x];
      ASSERT_TRUE(rh >= 0.0f && rh <= 100.0f) << rh;
      ASSERT_TRUE(q >= 0.0f && q < 0.04f) << q;
      if (k > 0) {
        ASSERT_GT(c.record(c.ht(k))[x], c.record(c.ht(k - 1))[x]) << "geopotential must rise with height";
      }
      ASSERT_LT(std::hypot(c.record(c.uw(k))[x], c.record(c.vw(k))[x]), 150.0f);
    }
  }
  // Temperature falls with height through the troposphere, on average.
  for (int k = 1; c.pressures[static_cast<std::size_t>(k)] >= 300.0; ++k)
    EXPECT_LT(c.mean(c.tp(k)), c.mean(c.tp(k - 1))) << c.pressures[static_cast<std::size_t>(k)];
  EXPECT_NEAR(c.mean(c.tp(0)), 285.0, 15.0);
  EXPECT_NEAR(c.mean(c.ht(c.level(500))) / 9.8, 5550.0, 250.0);
  // The jets: strongest westerlies of the zonal mean near 250 hPa in middle
  // latitudes, far stronger than at the ground.
  const auto strongest = [&](int k) {
    double best = -1e9;
    int best_row = 0;
    for (int r = 0; r < c.jm; ++r)
      if (c.row_mean(c.uw(k), r) > best) best = c.row_mean(c.uw(k), r), best_row = r;
    return std::pair{best, 90.0 - 3.0 * best_row};
  };
  const auto [jet, jet_lat] = strongest(c.level(250));
  EXPECT_GT(jet, 25.0);
  EXPECT_GT(std::abs(jet_lat), 20.0);
  EXPECT_LT(std::abs(jet_lat), 60.0);
  EXPECT_GT(jet, strongest(0).first + 10.0);
}

// Away from the equator the wind must be close to the geostrophic wind of
// the geopotential: v = (1 / (f a cos(lat))) dPhi/dlon.  Catches winds of the
// wrong sign, in the wrong hemisphere or on the wrong rows.
TEST(SynthCase, WindIsNearlyGeostrophic) {
  const Case c({"--global", "--res", "2", "--lm", "17", "--seed", "5"});
  const double pi = 3.14159265358979323846;
  for (double p : {850.0, 500.0, 250.0}) {
    SCOPED_TRACE(p);
    const int k = c.level(p);
    double sxy = 0, sxx = 0, syy = 0, sx = 0, sy = 0;
    int n = 0;
    for (int r = 0; r < c.jm; ++r) {
      const double lat = 90.0 - 2.0 * r;
      if (std::abs(lat) < 30.0 || std::abs(lat) > 66.0) continue;
      const double f = 2.0 * 7.292e-5 * std::sin(lat * pi / 180.0);
      const double dx = 6.371e6 * std::cos(lat * pi / 180.0) * 2.0 * pi / 180.0;
      for (int i = 0; i < c.im; ++i) {
        const double east = c.at(c.ht(k), r, (i + 1) % c.im), west = c.at(c.ht(k), r, (i + c.im - 1) % c.im);
        const double vg = (east - west) / (2.0 * dx * f);
        const double v = c.at(c.vw(k), r, i);
        sx += vg, sy += v, sxx += vg * vg, syy += v * v, sxy += vg * v, ++n;
      }
    }
    const double cov = sxy - sx * sy / n, var_g = sxx - sx * sx / n, var_v = syy - sy * sy / n;
    EXPECT_GT(cov / std::sqrt(var_g * var_v), 0.75);
  }
}

TEST(SynthCase, DateSetsTheSeason) {
  const Case jan({"--global", "--res", "3", "--lm", "2", "--date", "2026011500"});
  const Case jul({"--global", "--res", "3", "--lm", "2", "--date", "2026071500"});
  // Mean temperature at 1000 hPa over 45-70 degrees of each hemisphere.
  const auto band = [](const Case& c, int sign) {
    double sum = 0;
    int rows = 0;
    for (int r = 0; r < c.jm; ++r) {
      const double lat = sign * (90.0 - 3.0 * r);
      if (lat >= 45.0 && lat <= 70.0) sum += c.row_mean(c.tp(0), r), ++rows;
    }
    return sum / rows;
  };
  EXPECT_LT(band(jan, +1) + 5.0, band(jul, +1));
  EXPECT_GT(band(jan, -1), band(jul, -1) + 3.0);
}

TEST(SynthCase, CommandLineErrorsNameTheProblem) {
  struct Row {
    std::vector<std::string> args;
    const char* expected;
  };
  const Row rows[] = {
      {{}, "no output directory"},
      {{"d", "e"}, "more than one output directory"},
      {{"d", "--bogus"}, "unknown option '--bogus'"},
      {{"d", "--seed"}, "--seed needs a value"},
      {{"d", "--seed", "1", "--seed", "2"}, "--seed given more than once"},
      {{"d", "--seed", "-1"}, "--seed expects a whole number"},
      {{"d", "--lm", "abc"}, "--lm expects a whole number"},
      {{"d", "--lm", "101"}, "--lm must be between 0 and 100"},
      {{"d", "--res", "0"}, "--res must be above 0"},
      {{"d", "--res", "0.0001"}, "not a whole number of thousandths"},
      {{"d", "--res", "x"}, "--res expects a number of degrees"},
      {{"d", "--global", "--im", "10"}, "--im cannot be combined with --global"},
      {{"d", "--global", "--west", "10"}, "--west cannot be combined with --global"},
      {{"d", "--global", "--res", "0.7"}, "does not divide 360 and 180"},
      {{"d", "--global", "--res", "0.01"}, "too large"},
      {{"d", "--north", "30"}, "must lie north of --south"},
      {{"d", "--north", "91"}, "--north must lie between -90 and 90"},
      {{"d", "--east", "-30"}, "must lie east of --west"},
      {{"d", "--west", "-200"}, "--west must lie in [-180, 360)"},
      {{"d", "--res", "0.3"}, "not a whole number of --res"},
      {{"d", "--im", "5", "--east", "10"}, "give --east or --im, not both"},
      {{"d", "--jm", "200"}, "passes the North Pole"},
      {{"d", "--im", "1"}, "--im must be at least 2"},
      {{"d", "--im", "800", "--res", "0.5"}, "wraps round the globe"},
      {{"d", "--label", "123456789012345678901"}, "longer than 20 characters"},
      {{"d", "--name", "a b"}, "cuts file names at the first blank"},
      {{"d", "--name", "x/y"}, "without '/'"},
      {{"d", "--name", "adate.txt"}, "clash"},
      {{"d", "--date", "2026 12"}, "--date must be a single word"},
  };
  for (const Row& row : rows) {
    std::string joined;
    for (const auto& a : row.args) joined += a + " ";
    SCOPED_TRACE(joined);
    try {
      synth::parse_command_line(row.args);
      ADD_FAILURE() << "accepted";
    } catch (const synth::UsageError& e) {
      EXPECT_NE(std::string(e.what()).find(row.expected), std::string::npos) << e.what();
    }
  }
}

TEST(SynthCase, CommandLineForms) {
  const auto cmd = synth::parse_command_line({"out", "--res=0.25", "--seed=7", "--date", "2026070100"});
  EXPECT_FALSE(cmd.help);
  EXPECT_EQ(cmd.dir, fs::path("out"));
  EXPECT_EQ(cmd.settings.grid.im, 221);
  EXPECT_EQ(cmd.settings.grid.jm, 121);
  EXPECT_EQ(cmd.settings.seed, 7u);
  EXPECT_EQ(cmd.settings.label, "synth seed 7");
  EXPECT_EQ(cmd.settings.date, "2026070100");
  EXPECT_EQ(cmd.settings.pressures.size(), 17u);
  EXPECT_TRUE(synth::parse_command_line({"--help"}).help);
  // The default label is cut to the 20 characters the run description holds.
  EXPECT_EQ(synth::parse_command_line({"d", "--seed", "18446744073709551615"}).settings.label.size(), 20u);
}

TEST(SynthCase, WriteFailuresNameTheFile) {
  TempDir dir;
  fs::create_directories(dir.path());
  std::ofstream(dir.path() / "plain_file") << "x";
  const fs::path target = dir.path() / "plain_file" / "case";
  try {
    synth::write_case(target, settings({"--im", "4", "--jm", "3", "--lm", "2"}));
    FAIL() << "wrote under a plain file";
  } catch (const c2m::IoFailure& e) {
    EXPECT_NE(std::string(e.what()).find(target.string()), std::string::npos) << e.what();
  }
}

TEST(SynthCase, WholeOrNothing) {
  // A case that cannot be written in full leaves nothing of itself: the
  // earlier files of the same names stay, and no temporary file remains.
  TempDir dir;
  fs::create_directories(dir.path() / "case");
  std::ofstream(dir.path() / "case" / "adate.txt") << "old date\n";
  fs::create_directory(dir.path() / "case" / "case.bin");  // a directory where the grid goes
  EXPECT_THROW(synth::write_case(dir.path() / "case", settings({"--im", "4", "--jm", "3", "--lm", "2"})),
               c2m::CannotOpen);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path() / "case")) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"adate.txt", "case.bin"}));
  EXPECT_EQ(read_file(dir.path() / "case" / "adate.txt"), "old date\n");
}

}  // namespace
