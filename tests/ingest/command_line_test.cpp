// ingest's command line read by its option table: every refusal in its
// exact words (the first fault of a line is the one named, a list's items
// in turn), and what a line that is right gives the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ingest.hpp"

namespace {

using c2m::ingest::parse_options;

std::string refusal(const std::vector<std::string>& args) {
  try {
    parse_options(args);
  } catch (const c2m::cli::UsageError& e) {
    return e.what();
  }
  return "";
}

const std::string plain_name =
    "--name wants a plain file name of letters, digits and . _ - + (at most 239 characters, not "
    "InputModelInf.txt, adate.txt or ingest.txt), not ";
const std::string one_word =
    "--label wants one word of at most 20 printable characters (the converter keeps 20 and shows what comes "
    "before a blank), not ";

TEST(IngestCommandLine, EachValueRefusedInItsOwnWordsWhereItStands) {
  const struct {
    std::vector<std::string> args;
    std::string refusal;
  } rows[] = {
      {{"--name"}, "--name needs a value"},
      {{"--name", "sub/case.bin", "out", "f.grib"}, plain_name + "\"sub/case.bin\""},
      {{"--name", "adate.txt", "out", "f.grib"}, plain_name + "\"adate.txt\""},
      {{"--name=", "out", "f.grib"}, plain_name + "\"\""},
      {{"--name", std::string(240, 'x'), "out", "f.grib"}, plain_name + "\"" + std::string(240, 'x') + "\""},
      // A list's items in turn: a number before its range, each before the next.
      {{"--levels", "1000,850,1000", "out", "f.grib"}, "--levels names 1000 hPa twice"},
      {{"--levels", "-5,x", "out", "f.grib"}, "--levels wants pressures in hPa above 0, not -5"},
      {{"--levels", "x,-5", "out", "f.grib"}, "--levels wants a number, not \"x\""},
      {{"--levels", "1000,,850", "out", "f.grib"}, "--levels wants a number, not \"\""},
      {{"--levels", "nan", "out", "f.grib"}, "--levels wants pressures in hPa above 0, not nan"},
      {{"--levels", "+5", "out", "f.grib"}, "--levels wants a number, not \"+5\""},
      {{"--area", "10,20,30", "out", "f.grib"}, "--area wants S,W,N,E in degrees, not \"10,20,30\""},
      {{"--area", "", "out", "f.grib"}, "--area wants S,W,N,E in degrees, not \"\""},
      {{"--area", "10,0,40,x", "out", "f.grib"}, "--area wants a number, not \"x\""},
      {{"--area", "50,0,40,10", "out", "f.grib"}, "--area wants -90 <= S <= N <= 90, not \"50,0,40,10\""},
      {{"--area", "nan,0,40,10", "out", "f.grib"}, "--area wants -90 <= S <= N <= 90, not \"nan,0,40,10\""},
      {{"--area", "10,0,40,500", "out", "f.grib"},
       "--area wants longitudes W and E between -360 and 360, not \"10,0,40,500\""},
      {{"--time", "2011131512", "out", "f.grib"}, "--time wants a validity time YYYYMMDDHH, not \"2011131512\""},
      {{"--time", "2011011512", "--time", "x", "out", "f.grib"}, "--time wants a validity time YYYYMMDDHH, not \"x\""},
      {{"--member", "+3", "out", "f.grib"}, "--member wants a whole number, not \"+3\""},
      {{"--member", "99999999999999999999", "out", "f.grib"},
       "--member wants a whole number, not \"99999999999999999999\""},
      {{"--member", "100001", "out", "f.grib"}, "--member wants a member number from 0, not 100001"},
      {{"--rh", "", "out", "f.grib"}, "--rh wants convert or as-is, not \"\""},
      {{"--centre", "ECMWF", "out", "f.grib"}, "--centre wants ecmwf, ncep or none, not \"ECMWF\""},
      {{"--label", "two words", "out", "f.grib"}, one_word + "\"two words\""},
      {{"--label", "abcdefghijklmnopqrstu", "out", "f.grib"}, one_word + "\"abcdefghijklmnopqrstu\""},
      {{"--table"}, "--table needs a value"},
      {{"--threads", "-1", "out", "f.grib"}, "--threads wants 1 to 256, not -1"},
      {{"--threads", "x", "out", "f.grib"}, "--threads wants a whole number, not \"x\""},
      // -j by any of its names is -j in its refusals, but a missing value
      // is named as it was typed.
      {{"--all-times", "-jx", "out", "f.grib"}, "-j wants a whole number, not \"x\""},
      {{"--all-times", "--jobs=x", "out", "f.grib"}, "-j wants a whole number, not \"x\""},
      {{"--all-times", "-j=x", "out", "f.grib"}, "-j wants a whole number, not \"x\""},
      {{"--all-times", "-jobs", "out", "f.grib"}, "-j wants a whole number, not \"obs\""},
      {{"--all-times", "-j300", "out", "f.grib"}, "-j wants 1 to 256 workers, not 300"},
      {{"--all-times", "-j", "0", "out", "f.grib"}, "-j wants 1 to 256 workers, not 0"},
      {{"--all-times", "--jobs"}, "--jobs needs a value"},
      {{"--all-times", "-j"}, "-j needs a value"},
      {{"--no-fill=1", "out", "f.grib"}, "unknown option --no-fill=1"},
      {{"-x", "out", "f.grib"}, "unknown option -x"},
      {{"--levels", "x", "--name", "a b", "out", "f.grib"}, "--levels wants a number, not \"x\""},
      {{"--bogus", "--name", "a b", "out", "f.grib"}, "unknown option --bogus"},
  };
  for (const auto& r : rows) EXPECT_EQ(refusal(r.args), r.refusal) << ::testing::PrintToString(r.args);
}

TEST(IngestCommandLine, OperandsAndOptionsTogetherAfter) {
  const struct {
    std::vector<std::string> args;
    std::string refusal;
  } rows[] = {
      {{}, "no output directory and no input file given"},
      {{"--name", "ok", "out"}, "no GRIB or netCDF file given after the output directory out"},
      {{"", "f.grib"}, "the output directory is an empty name"},
      {{"--", "--name", "out"}, ""},  // after "--", operands
      {{"--time", "2011011512", "--all-times", "--threads", "3", "out", "f.grib"},
       "--all-times makes a case of every validity time; --time chooses one: give one of them"},
      {{"--all-times", "--threads", "2", "out", "f.grib"},
       "--all-times shares its workers among the cases with -j N; --threads is for one case"},
      {{"--jobs", "2", "out", "f.grib"},
       "-j N goes with --all-times; the threads of one case are chosen with --threads"},
  };
  for (const auto& r : rows) EXPECT_EQ(refusal(r.args), r.refusal) << ::testing::PrintToString(r.args);
}

TEST(IngestCommandLine, WhatALineThatIsRightGivesTheRun) {
  const auto o = parse_options({"--member", "5", "--centre", "ncep", "--label", "abc", "--table", "t.txt",
                                "--threads", "3", "--name=a.bin", "--quiet", "--time", "201101151230", "out", "-",
                                "--", "-f.grib"});
  EXPECT_EQ(o.plan.time.member, 5);
  ASSERT_TRUE(o.centre.has_value());
  EXPECT_EQ(o.centre->number, 7);
  EXPECT_EQ(o.plan.label, "abc");
  EXPECT_EQ(o.table, "t.txt");
  EXPECT_EQ(o.threads, 3u);
  EXPECT_EQ(o.name, "a.bin");
  EXPECT_TRUE(o.quiet);
  ASSERT_TRUE(o.plan.time.time.has_value());
  EXPECT_EQ(o.plan.time.time->hhmm, 1230);
  EXPECT_EQ(o.outdir, "out");
  EXPECT_EQ(o.files, (std::vector<std::string>{"-", "-f.grib"}));
  EXPECT_FALSE(o.all_times);
  EXPECT_EQ(o.jobs, 0u);
  EXPECT_TRUE(o.plan.fill);

  const auto d = parse_options({"out", "f.grib"});  // the defaults
  EXPECT_EQ(d.name, "case.bin");
  EXPECT_FALSE(d.table || d.centre || d.plan.levels || d.plan.area || d.plan.time.time || d.plan.label);
  EXPECT_EQ(d.plan.rh, c2m::ingest::RhMode::convert);
  EXPECT_EQ(d.threads, 0u);
  EXPECT_FALSE(d.quiet);
}

}  // namespace
