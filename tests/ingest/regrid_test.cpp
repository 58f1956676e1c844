// Files on grids no case can have, from python-grib-doc: the command that
// the refusal prints is run as printed (CDO and grib_copy, which must be
// installed), and its output is a grid ingest takes.  Then the Lambert
// domain of eta.grb remapped onto a global grid, undefined outside North
// America: ingest checks the case it made, stops with the converter's
// reason and the area to cut, and that area makes a case that converts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grib_files.hpp"

using namespace ingesttest;
using testsupport::run_program;
using testsupport::RunResult;
using testsupport::ScratchDir;

namespace {

const std::string examples = GRIB_EXAMPLES;

RunResult shell(const std::string& dir, const std::string& command) {
  return run_program("/bin/sh", dir, "", {"-c", command});
}

// The command of a refusal: what follows "with CDO: ", up to the words
// after it.
std::string printed_command(const std::string& err) {
  const std::string intro = "with CDO: ";
  const auto at = err.find(intro);
  if (at == std::string::npos) return "";
  const auto from = at + intro.size();
  auto end = err.find_first_of("\n", from);
  for (const char* stop : {" (", "; "}) end = std::min(end, err.find(stop, from));
  return err.substr(from, end - from);
}

TEST(RegridAdvice, EachPrintedCommandMakesAGridIngestTakes) {
  struct Row {
    const char* file;
    const char* in_command;  // what the command must hold for this kind of grid
    const char* said;        // and the refusal besides
  } rows[] = {
      {"ecmwf_tigge.grb", "cdo remapbil,r360x181 -setgridtype,regular ", "reduced Gaussian"},
      {"eta.grb", "grib_copy ", "several fields in one message"},
      {"no-radius-shapeOfEarth-7.grb2", "cdo remapbil,r360x181 ", "Lambert conformal"},
      {"CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib", "cdo remapbil,r360x181 ", "polar stereographic"},
      {"safrica.grib2", "cdo remapbil,r360x181 ", "polar stereographic"},
      {"rotated_ll.grib1", "cdo remapbil,r360x181 ", "rotated latitude/longitude"},
      {"flux.grb", "cdo remapbil,r360x181 ", "regular Gaussian"},
      {"spherical_pressure_level.grib1", "cdo remapbil,r360x181 -sp2gp ", "spectral"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    ScratchDir dir;
    const RunResult refused = conv2model(dir.path(), {"ingest", "out", examples + "/" + row.file});
    ASSERT_EQ(refused.status, 2) << refused.err;
    EXPECT_NE(refused.err.find(row.said), std::string::npos) << refused.err;
    const std::string command = printed_command(refused.err);
    ASSERT_NE(command.find(row.in_command), std::string::npos) << refused.err;
    const RunResult made = shell(dir.path(), command);
    ASSERT_EQ(made.status, 0) << command << "\n" << made.err;
    // The output is the command's last word.
    const std::string output = command.substr(command.rfind(' ') + 1);
    const RunResult again = conv2model(dir.path(), {"ingest", "again", output});
    EXPECT_EQ(again.err.find("regular latitude/longitude grid"), std::string::npos) << command << "\n" << again.err;
  }
}

TEST(RegridAdvice, NoCommandWhereCdoCannotRemap) {
  // CDO reads a reduced latitude/longitude grid as a generic one without
  // coordinates, and neither -setgridtype,regular nor a remap takes it.
  ScratchDir dir;
  const RunResult r = conv2model(dir.path(), {"ingest", "out", examples + "/reduced_latlon_surface.grib2"});
  ASSERT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("reduced_ll (reduced latitude/longitude); CDO cannot remap this kind of grid"),
            std::string::npos)
      << r.err;
  EXPECT_NE(shell(dir.path(), "cdo -s remapbil,r360x181 -setgridtype,regular " + examples +
                                  "/reduced_latlon_surface.grib2 try.grib2")
                .status,
            0);
}

class RemappedLambert : public ::testing::Test {
 protected:
  // eta.grb split and remapped as the advice says, and soil for it: GFS's
  // soil and mask remapped to the same grid and dated as eta's fields
  // (eta.grb has none).
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    const std::string gfs = examples + "/gfs.t12z.pgrbf120.2p5deg.grib2";
    const RunResult r = shell(
        dir_->path(),
        "grib_copy " + examples + "/eta.grb eta_split.grb && cdo -s remapbil,r360x181 eta_split.grb eta_r.grb && "
        "cdo -s remapbil,r360x181 " + examples + "/eta.grb eta_unsplit_r.grb && "
        "grib_copy -w typeOfLevel=depthBelowLandLayer/surface,shortName=t/soilw/lsm " + gfs + " soil.grib2 && "
        "cdo -s remapbil,r360x181 soil.grib2 soil_r.grib2 && "
        "grib_set -s dataDate=20041208,dataTime=1200,forecastTime=24 soil_r.grib2 soil_eta.grib2");
    if (r.status != 0) throw std::runtime_error(r.err);
  }
  static void TearDownTestSuite() { delete dir_; }
  static ScratchDir* dir_;
};
ScratchDir* RemappedLambert::dir_ = nullptr;

TEST_F(RemappedLambert, ACaseThatWouldStopEndsWithTheAreaToCut) {
  const RunResult whole = conv2model(dir_->path(), {"ingest", "--quiet", "whole", "eta_r.grb", "soil_eta.grib2"});
  EXPECT_EQ(whole.status, 1) << whole.err;
  for (const char* said : {"whole/case.bin would not convert: the converter stops with \"case.bin: Height data "
                           "missing at level:",
                           "make the case again with --area 18,-135,58,-65", "the case is kept in whole",
                           "uvRelativeToGrid = 1", "need rotating to east and north"})
    EXPECT_NE(whole.err.find(said), std::string::npos) << said << "\n" << whole.err;
  EXPECT_TRUE(testsupport::file_exists(*dir_ / "whole/case.bin"));

  const RunResult cut = conv2model(dir_->path(), {"ingest", "--quiet", "--area", "18,-135,58,-65", "cut",
                                                  "eta_r.grb", "soil_eta.grib2"});
  ASSERT_EQ(cut.status, 0) << cut.err;
  EXPECT_EQ(conv2model(dir_->path(), {"convert", "--quiet", "cut/case.bin"}).status, 0);
}

TEST_F(RemappedLambert, WithoutTheSplitOneWindIsAbsentEverywhereAndTheCauseIsNamed) {
  const RunResult r = conv2model(dir_->path(), {"ingest", "out", "eta_unsplit_r.grb", "soil_eta.grib2"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("v is absent at every level of every file, while u is there"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("grib_copy"), std::string::npos) << r.err;
}

}  // namespace
