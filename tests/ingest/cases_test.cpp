// Cases made from a synthetic GRIB file with one thing changed: the
// refusals (status 2, the file, the message and the cause named, OUTDIR as
// it was), and what ingest makes of absent humidity, soil layers and mask,
// of two validity times, of an undefined south-west corner and of its own
// field table.
#include <gtest/gtest.h>

#include <filesystem>

#include <cmath>
#include <functional>

#include "grib_files.hpp"
#include "layout/records.hpp"

using namespace ingesttest;
using c2m::layout::input_record;
using c2m::layout::input_surface_record;
using c2m::layout::InputUpper;
using testsupport::file_exists;
using testsupport::list_files;
using testsupport::read_file;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr int im = 12, jm = 8, lm = 5;
constexpr std::int64_t points = im * jm;

class Cases : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    make_case(dir_->path(), im, jm, 40.0, 0.0, 1.0, lm);
    grib_ = case_as_grib(dir_->path());
    input_ = read_file(*dir_ / "case.bin");
  }
  static void TearDownTestSuite() { delete dir_; }

  static std::vector<float> original(std::int64_t n) { return record(input_, points, n); }

  static ScratchDir* dir_;
  static std::string grib_, input_;
};

ScratchDir* Cases::dir_ = nullptr;
std::string Cases::grib_, Cases::input_;

std::function<bool(Message&)> without(std::function<bool(Message&)> unwanted) {
  return [unwanted](Message& m) { return !unwanted(m); };
}

std::function<bool(Message&)> named(std::vector<std::string> names, long level = -1) {
  return [names, level](Message& m) {
    const std::string n = m.get_string("shortName");
    return std::find(names.begin(), names.end(), n) != names.end() && (level < 0 || m.get_long("level") == level);
  };
}

bool surface_field(Message& m) { return m.get_string("typeOfLevel") != "isobaricInhPa"; }

// Every GRIB 2 message of BYTES made to claim 10000 times as many points
// along i (section 3: Ni and the number of points; section 5: the number
// of values), its data left as it is.
std::string claiming_more_points(const std::string& bytes) {
  return edit_sections(bytes, [](std::string& b, std::size_t pos, int section) {
    if (section == 3) {
      put_be32(b, pos + 30, be32(b, pos + 30) * 10000);
      put_be32(b, pos + 6, be32(b, pos + 6) * 10000);
    } else if (section == 5) {
      put_be32(b, pos + 5, be32(b, pos + 5) * 10000);
    }
  });
}

struct Refusal {
  const char* name;
  std::function<std::string(const std::string&)> make;
  std::vector<std::string> options;
  std::vector<std::string> said;
};

TEST_F(Cases, RefusedNamingTheCauseAndLeavingNoOutputDirectory) {
  const Refusal rows[] = {
      {"surface pressure absent", [](const std::string& b) { return rewrite(b, without(named({"sp"}))); }, {},
       {"required fields are absent: sp (surface pressure)", "the files hold z (129) on isobaricInhPa x5"}},
      {"soil layers 1 and 2 absent",
       [](const std::string& b) { return rewrite(b, without(named({"stl1", "swvl2"}))); }, {},
       {"stl1 (soil temperature of layer 1)", "swvl2 (soil moisture of layer 2)"}},
      {"two validity times",
       [](const std::string& b) {
         return b + rewrite(b, [](Message& m) { m.set("dataDate", 20261209L); return true; });
       },
       {}, {"valid at 2 times", "2026120806", "2026120906", "--time"}},
      {"a time the files do not hold", [](const std::string& b) { return b; }, {"--time", "2030010100"},
       {"no field of the files is valid at 2030010100", "2026120806"}},
      {"surface on another grid",
       [](const std::string& b) {
         return rewrite(b, [](Message& m) {
           if (surface_field(m)) {
             m.set("latitudeOfFirstGridPointInDegrees", 48.5);
             m.set("latitudeOfLastGridPointInDegrees", 41.5);
           }
           return true;
         });
       },
       {}, {"not all on one grid", "in.grib message 1 (z, 1000 hPa)", "latitudes 48.5 to 41.5"}},
      {"truncated", [](const std::string& b) { return b.substr(0, b.size() / 2); }, {},
       {"in.grib: message ", "it is truncated"}},
      {"neither GRIB nor netCDF", [](const std::string&) { return std::string("GRIP and some text"); }, {},
       {"in.grib: neither GRIB nor netCDF"}},
      {"a section longer than its message",
       [](const std::string& b) {
         std::string c = b;
         c[16] = c[17] = '\x7f';  // the length of section 1 of message 1
         return c;
       },
       {}, {"in.grib: message 1 (at byte 0)", "corrupt"}},
      {"more points claimed than the message holds", claiming_more_points, {},
       // Refused by whichever lie is met first: a bitmap of 96 bits for
       // the 960000 points, or 960000 values in a message of 96.
       {"in.grib: message ", "960000", ": it is corrupt"}},
      {"a level the files do not hold", [](const std::string& b) { return b; }, {"--levels", "1000,925"},
       {"--levels asks for levels that the files do not hold whole: 925 hPa", "the levels with z, t, u and v are"}},
      {"no complete level", [](const std::string& b) { return rewrite(b, without(named({"v"}))); }, {},
       {"no isobaric level holds geopotential", "1000 hPa (no v)"}},
  };
  for (const Refusal& row : rows) {
    ScratchDir work;
    write_file(work / "in.grib", row.make(grib_));
    std::vector<std::string> args = {"ingest"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.push_back("made/out");
    args.push_back("in.grib");
    const auto r = conv2model(work.path(), args);
    EXPECT_EQ(r.status, 2) << row.name;
    for (const std::string& s : row.said) EXPECT_NE(r.err.find(s), std::string::npos) << row.name << ": " << r.err;
    EXPECT_EQ(r.err.rfind("conv2model ingest: ", 0), 0u) << row.name << ": " << r.err;
    EXPECT_FALSE(file_exists(work / "made")) << row.name;
    EXPECT_TRUE(r.out.empty()) << row.name;
  }
}

TEST_F(Cases, AFailureLeavesAnExistingOutputDirectoryAsItWas) {
  ScratchDir work;
  write_file(work / "in.grib", rewrite(grib_, without(named({"sp"}))));
  write_file(work / "out/case.bin", "old case");
  write_file(work / "out/InputModelInf.txt", "old description");
  write_file(work / "out/notes", "mine");
  const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(list_files(work / "out"), (std::vector<std::string>{"InputModelInf.txt", "case.bin", "notes"}));
  EXPECT_EQ(read_file(work / "out/case.bin"), "old case");
  EXPECT_EQ(read_file(work / "out/InputModelInf.txt"), "old description");
}

TEST_F(Cases, ASuccessReplacesTheCaseWholeAndWarnsOfAnOlderConversion) {
  ScratchDir work;
  write_file(work / "in.grib", grib_);
  write_file(work / "out/case.bin", "old case");
  write_file(work / "out/case.bin.KVOwrk", "old model data");
  const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(list_files(work / "out"), (std::vector<std::string>{"InputModelInf.txt", "adate.txt", "case.bin",
                                                                "case.bin.KVOwrk", "ingest.txt"}));
  EXPECT_EQ(read_file(work / "out/case.bin").size(), input_.size());
  EXPECT_NE(r.out.find("case.bin.KVOwrk in out is from an earlier conversion"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("cd out && printf 'case.bin\\nnone\\n' | input_driver"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("conv2model convert out/case.bin"), std::string::npos) << r.out;
}

bool all_missing(const std::vector<float>& plane) {
  return std::all_of(plane.begin(), plane.end(), [](float v) { return v == -99999.0f; });
}

TEST_F(Cases, DeepSoilLayersAbsentAreMissingPlanesTheConverterFills) {
  ScratchDir work;
  write_file(work / "in.grib", rewrite(grib_, without(named({"stl3", "swvl3", "stl4", "swvl4"}))));
  auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string out = read_file(work / "out/case.bin");
  for (const int p : {9, 10, 11, 12}) EXPECT_TRUE(all_missing(record(out, points, input_surface_record(p, lm)))) << p;
  EXPECT_NE(r.out.find("stl4: none in the files; written as a missing plane"), std::string::npos) << r.out;
  r = conv2model(work.path(), {"convert", "out/case.bin"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("filling soil temp data"), std::string::npos) << r.out;
}

TEST_F(Cases, LandSeaMaskAbsentIsMadeFromTheSoilMoisture) {
  ScratchDir work;
  write_file(work / "in.grib", rewrite(grib_, without(named({"lsm"}))));
  const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto mask = record(read_file(work / "out/case.bin"), points, input_surface_record(1, lm));
  const auto soil = original(input_surface_record(6, lm));
  int land = 0;
  for (std::size_t k = 0; k < mask.size(); ++k) {
    EXPECT_EQ(mask[k], soil[k] == 9.999e20f ? 0.0f : 1.0f) << k;
    land += mask[k] == 1.0f;
  }
  EXPECT_GT(land, 0);
  EXPECT_LT(land, points);
  EXPECT_NE(r.out.find("lsm: none in the files; made 1 where the soil moisture of layer 1"), std::string::npos);
}

TEST_F(Cases, HumidityAbsentAtTheBottomIsAMissingLevelTheConverterPatches) {
  ScratchDir work;
  write_file(work / "in.grib", rewrite(grib_, without(named({"r", "q"}, 1000))));
  auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("the model file's q there is the converter's estimate"), std::string::npos) << r.out;
  const std::string out = read_file(work / "out/case.bin");
  EXPECT_TRUE(all_missing(record(out, points, input_record(InputUpper::rh, 1, lm))));
  EXPECT_TRUE(all_missing(record(out, points, input_record(InputUpper::q, 1, lm))));
  r = conv2model(work.path(), {"convert", "out/case.bin"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Calling RH patch."), std::string::npos) << r.out;
}

TEST_F(Cases, HumidityAbsentBetweenLevelsIsFilledLinearlyInLogPressure) {
  // Levels 1000 800 450 150 10 (the five of the thinned standard set):
  // 450 hPa, level 3, is filled from 800 and 150.
  ScratchDir work;
  write_file(work / "in.grib", rewrite(grib_, without(named({"r", "q"}, 450))));
  auto r = conv2model(work.path(), {"ingest", "--rh", "as-is", "--humidity", "physical", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("humidity at 450 hPa: none in the files; relative humidity filled linear in ln p: "
                       "800 hPa x 0.6563 + 150 hPa x 0.3437"),
            std::string::npos)
      << r.out;
  const auto filled = record(read_file(work / "out/case.bin"), points, input_record(InputUpper::rh, 3, lm));
  const auto below = original(input_record(InputUpper::rh, 2, lm));
  const auto above = original(input_record(InputUpper::rh, 4, lm));
  const float wb = std::log(450.0f / 150.0f) / std::log(800.0f / 150.0f);
  for (std::size_t k = 0; k < filled.size(); ++k)
    EXPECT_NEAR(filled[k], wb * below[k] + (1.0f - wb) * above[k], 1e-4f) << k;
  r = conv2model(work.path(), {"convert", "--quiet", "out/case.bin"});
  EXPECT_EQ(r.status, 0) << r.err;

  // Left missing, the conversion stops as it always has, and ingest, which
  // checks the case it made, says so and ends with the data-stop status.
  r = conv2model(work.path(), {"ingest", "--no-fill", "nofill", "in.grib"});
  ASSERT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("nofill/case.bin would not convert: the converter stops with"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("--no-fill leaves it missing; the conversion will stop"), std::string::npos) << r.out;
  r = conv2model(work.path(), {"convert", "nofill/case.bin"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("RH patch did not work.."), std::string::npos) << r.out;
}

TEST_F(Cases, OneOfTwoValidityTimesChosen) {
  ScratchDir work;
  write_file(work / "in.grib",
             grib_ + rewrite(grib_, [](Message& m) { m.set("dataTime", 1200L); return true; }));
  const auto r = conv2model(work.path(), {"ingest", "--quiet", "--time", "2026120812", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(work / "out/adate.txt"), "2026120812\n");
  EXPECT_EQ(read_file(work / "out/InputModelInf.txt").substr(0, 16), "ecmf_2026120812\n");
}

TEST_F(Cases, AnUndefinedSouthWestCornerIsWarnedOf) {
  ScratchDir work;
  write_file(work / "in.grib", rewrite(grib_, [](Message& m) {
               if (m.get_string("shortName") == "t" && m.get_long("level") == 800) {
                 auto v = m.values();
                 v[static_cast<std::size_t>((jm - 1) * im)] = static_cast<double>(9.999e20f);
                 m.set("bitmapPresent", 1L);
                 m.set_values(v);
               }
               return true;
             }));
  const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
  // The converter would stop on it: the case is kept, the stop told.
  ASSERT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("the converter stops with \"case.bin: Temperature data missing at level"), std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("(t at 800 hPa): its south-west corner is undefined, so the converter will take the "
                       "whole level as missing"),
            std::string::npos)
      << r.out;
  const auto t = record(read_file(work / "out/case.bin"), points, input_record(InputUpper::t, 2, lm));
  EXPECT_EQ(t[static_cast<std::size_t>((jm - 1) * im)], 9.999e20f);
}

TEST_F(Cases, AFieldTableOfTheUsersOwnComesFirst) {
  ScratchDir work;
  write_file(work / "in.grib", grib_);
  write_file(work / "mine.table", "# surface pressure wanted doubled\nsp 134 * 0.02\n");
  const auto r = conv2model(work.path(), {"ingest", "--table", "mine.table", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto sp = record(read_file(work / "out/case.bin"), points, input_surface_record(3, lm));
  const auto base = original(input_surface_record(3, lm));
  for (std::size_t k = 0; k < sp.size(); ++k) EXPECT_FLOAT_EQ(sp[k], 2.0f * base[k]);
  EXPECT_NE(r.out.find("x 0.02"), std::string::npos) << r.out;
}

TEST_F(Cases, AKindOfLevelTheTablesLackIsSaidInWords) {
  // A reserved type of surface: ecCodes has no name for it.
  ScratchDir work;
  write_file(work / "in.grib", rewrite(grib_, [](Message& m) {
               if (m.get_string("shortName") != "t") return false;
               m.set("typeOfFirstFixedSurface", 191L);
               return true;
             }));
  const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("t (130) on a level type the tables do not name"), std::string::npos) << r.err;
}

TEST_F(Cases, TheFilesOfATimeAreNamedByTheirBaseNamesUnlessTwoShareOne) {
  struct Row {
    const char *first, *second, *said;
  } rows[] = {
      {"gfs_one.grib2", "sub/gfs_two.grib2", "2026120806 (42 fields in gfs_one.grib2); 2026120812 (42 fields in gfs_two.grib2)"},
      {"a/in.grib", "b/in.grib", "2026120806 (42 fields in a/in.grib); 2026120812 (42 fields in b/in.grib)"},
  };
  for (const Row& row : rows) {
    ScratchDir work;
    std::filesystem::create_directories(work / "a");
    std::filesystem::create_directories(work / "b");
    std::filesystem::create_directories(work / "sub");
    write_file(work / row.first, grib_);
    write_file(work / row.second, rewrite(grib_, [](Message& m) { m.set("dataTime", 1200L); return true; }));
    const auto r = conv2model(work.path(), {"ingest", "out", row.first, row.second});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("[1]"), std::string::npos) << r.err;
  }
}

}  // namespace
