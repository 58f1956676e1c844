// Many cases from files of many validity times (ingest --all-times): each
// case directory the same, file for file and byte for byte, as an ingest
// of its time alone; -j 1 and -j 2 the same; a time that cannot be made
// reported while the others are made; the progress on standard error; the
// sharing of the cores among the cases.
#include <gtest/gtest.h>

#include <cstdio>

#include "case/all_times.hpp"
#include "estab/estab.hpp"
#include "grib_files.hpp"
#include "ingest.hpp"
#include "netcdf_files.hpp"
#include "plan/field_table.hpp"
#include "source/grib_source.hpp"
#include "support/in_process.hpp"

using namespace ingesttest;
using testsupport::contains;
using testsupport::file_exists;
using testsupport::list_files;
using testsupport::read_file;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr int im = 12, jm = 8, lm = 5;

// The synthetic case of 2026-12-08 06 UTC as GRIB, and the same fields
// at other times.
class AllTimes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    make_case(dir_->path(), im, jm, 40.0, 0.0, 1.0, lm);
    grib_ = case_as_grib(dir_->path());
  }
  static void TearDownTestSuite() { delete dir_; }

  // The case's messages made valid at DATE, TIME (HHMM).
  static std::string at(long date, long time, const std::function<bool(Message&)>& keep = nullptr) {
    return rewrite(grib_, [&](Message& m) {
      m.set("dataDate", date);
      m.set("dataTime", time);
      return keep ? keep(m) : true;
    });
  }

  // The case as a netCDF file of the newer layout (or the older, packed
  // one), of the fields PART, at DATES.
  static std::string netcdf(std::vector<std::string> dates, bool packed = false,
                            NcLayout::Part part = NcLayout::Part::both) {
    NcLayout layout;
    layout.dates = std::move(dates);
    layout.packed = packed;
    layout.part = part;
    const std::string path = *dir_ / "case.nc";
    case_as_netcdf(dir_->path(), path, layout);
    return read_file(path);
  }

  static ScratchDir* dir_;
  static std::string grib_;
};

ScratchDir* AllTimes::dir_ = nullptr;
std::string AllTimes::grib_;

bool upper_air(Message& m) { return m.get_string("typeOfLevel") == "isobaricInhPa"; }
bool surface(Message& m) { return !upper_air(m); }

// Every file below DIR, by its name relative to DIR, and its bytes.
std::map<std::string, std::string> tree(const std::string& dir) {
  std::map<std::string, std::string> t;
  for (const std::string& f : list_files(dir)) t[f] = read_file(dir + "/" + f);
  return t;
}

void expect_same_trees(const std::string& a, const std::string& b, const std::string& what) {
  const auto ta = tree(a), tb = tree(b);
  std::vector<std::string> na, nb;
  for (const auto& [n, bytes] : ta) na.push_back(n);
  for (const auto& [n, bytes] : tb) nb.push_back(n);
  ASSERT_EQ(na, nb) << what;
  for (const auto& [n, bytes] : ta) EXPECT_TRUE(bytes == tb.at(n)) << what << ": " << n << " differs";
}

struct Files {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // name, bytes
  std::vector<std::string> times;                          // the case directories expected
  std::vector<std::string> options;
};

TEST_F(AllTimes, EachCaseIsTheSingleTimeIngestOfItsTimeAndTheWorkersDoNotMatter) {
  const std::string four = at(20261208, 0) + grib_ + at(20261208, 1200) + at(20261209, 0);
  const Files rows[] = {
      {"one file of four times", {{"in.grib", four}}, {"2026120800", "2026120806", "2026120812", "2026120900"}, {}},
      {"pressure levels and surface in two files, in another order",
       {{"pl.grib", rewrite(at(20261209, 0), upper_air) + rewrite(grib_, upper_air)},
        {"sfc.grib", rewrite(grib_, surface) + rewrite(at(20261209, 0), surface)}},
       {"2026120806", "2026120900"},
       {"--rh", "as-is", "--name", "a.bin", "--area", "42,2,46,8"}},
      {"a time off the hour, and a time already on its own",
       {{"in.grib", at(20261208, 630) + grib_}}, {"2026120806", "202612080630"}, {}},
      {"a netCDF file of three times",
       {{"in.nc", netcdf({"2026120800", "2026120806", "2026120812"})}},
       {"2026120800", "2026120806", "2026120812"}, {}},
      {"packed netCDF pressure levels of two times beside the surface as GRIB",
       {{"pl.nc", netcdf({"2026120806", "2026120900"}, true, NcLayout::Part::upper)},
        {"sfc.grib", rewrite(grib_, surface) + rewrite(at(20261209, 0), surface)}},
       {"2026120806", "2026120900"}, {}},
  };
  for (const Files& row : rows) {
    // The same relative names in every working directory, so that the
    // reports (which name OUTDIR and the files) can be the same too.
    ScratchDir one, two, single;
    for (const auto* w : {&one, &two, &single})
      for (const auto& [name, bytes] : row.files) write_file(*w / name, bytes);
    auto args = [&](std::vector<std::string> a) {
      a.insert(a.end(), row.options.begin(), row.options.end());
      return a;
    };
    std::vector<std::string> files;
    for (const auto& [name, bytes] : row.files) files.push_back(name);

    for (const auto& [work, jobs] : {std::pair{&one, "1"}, std::pair{&two, "2"}}) {
      auto a = args({"ingest", "--all-times", "-j", jobs});
      a.push_back("out");
      a.insert(a.end(), files.begin(), files.end());
      const auto r = conv2model(work->path(), a);
      ASSERT_EQ(r.status, 0) << row.name << ": " << r.err;
      for (const std::string& t : row.times)
        EXPECT_TRUE(contains(r.out, "  " + t + "  made      out/" + t + "\n")) << row.name << ": " << r.out;
    }
    for (const std::string& t : row.times) {
      auto a = args({"ingest", "--quiet", "--time", t});
      a.push_back("out/" + t);
      a.insert(a.end(), files.begin(), files.end());
      const auto r = conv2model(single.path(), a);
      ASSERT_EQ(r.status, 0) << row.name << " " << t << ": " << r.err;
    }
    expect_same_trees(one / "out", single / "out", std::string(row.name) + ", -j 1 against --time");
    expect_same_trees(two / "out", single / "out", std::string(row.name) + ", -j 2 against --time");
    std::vector<std::string> dirs;
    for (const std::string& f : list_files(one / "out")) {
      const std::string d = f.substr(0, f.find('/'));
      if (dirs.empty() || dirs.back() != d) dirs.push_back(d);
    }
    EXPECT_EQ(dirs, row.times) << row.name;
  }
}

// Every GRIB 2 message of BYTES made to claim 10000 times as many values
// (section 5) as it packs: its headers read as they did, its values not.
std::string claiming_more_values(const std::string& bytes) {
  return edit_sections(bytes, [](std::string& b, std::size_t pos, int section) {
    if (section == 5) put_be32(b, pos + 5, be32(b, pos + 5) * 10000);
  });
}

struct Failing {
  const char* name;
  std::string bytes;
  std::string failed, cause;
};

TEST_F(AllTimes, ATimeThatCannotBeMadeIsReportedAndTheOthersAreMade) {
  const Failing rows[] = {
      {"surface pressure missing at one time",
       grib_ + at(20261208, 1200, [](Message& m) { return m.get_string("shortName") != "sp"; }) +
           at(20261209, 0),
       "2026120812", "required fields are absent: sp (surface pressure)"},
      {"the values of one time corrupt",
       grib_ + claiming_more_values(at(20261208, 1200)) + at(20261209, 0), "2026120812",
       "cannot hold: it is corrupt"},
  };
  for (const Failing& row : rows) {
    ScratchDir work;
    write_file(work / "in.grib", row.bytes);
    const auto r = conv2model(work.path(), {"ingest", "--all-times", "-j", "2", "out", "in.grib"});
    EXPECT_EQ(r.status, 2) << row.name;
    EXPECT_TRUE(contains(r.err, "] " + row.failed + ": not made: ")) << row.name << ": " << r.err;
    EXPECT_TRUE(contains(r.err, row.cause)) << row.name << ": " << r.err;
    EXPECT_TRUE(contains(r.err, "conv2model ingest: 1 of 3 validity times could not be made into cases: " +
                                    row.failed + "\n"))
        << row.name << ": " << r.err;
    EXPECT_TRUE(contains(r.out, "3 validity times in 1 file; 2 cases made in out, 1 not made\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "  " + row.failed + "  not made  ")) << row.name << ": " << r.out;
    EXPECT_FALSE(file_exists(work / ("out/" + row.failed))) << row.name;
    for (const char* t : {"2026120806", "2026120900"})
      EXPECT_TRUE(file_exists(work / (std::string("out/") + t + "/case.bin"))) << row.name << " " << t;
  }
}

// The lines of TEXT longer than LIMIT characters.
std::vector<std::string> longer_than(const std::string& text, std::size_t limit) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
    if (nl - at > limit) lines.push_back(text.substr(at, nl - at));
  return lines;
}

TEST_F(AllTimes, AFailedTimeIsToldByItsOwnFieldsAndTheSummaryStaysShort) {
  // Three times of 5 levels; the second without temperature: its refusal
  // lists the fields of that time (5 levels of z), not of all three (15).
  ScratchDir work;
  write_file(work / "in.grib", grib_ + at(20261208, 1200, [](Message& m) { return m.get_string("shortName") != "t"; }) +
                                   at(20261209, 0));
  const auto r = conv2model(work.path(), {"ingest", "--all-times", "out", "in.grib"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_TRUE(contains(r.err, "2026120812: not made: no isobaric level holds")) << r.err;
  EXPECT_TRUE(contains(r.err, "z (129) on isobaricInhPa x5")) << r.err;
  EXPECT_FALSE(contains(r.err, "x15")) << r.err;
  EXPECT_EQ(longer_than(r.out, 199), std::vector<std::string>{}) << r.out;
  EXPECT_TRUE(contains(r.out, "  2026120812  not made  no isobaric level holds")) << r.out;
  EXPECT_TRUE(contains(r.out, "(the whole reason is on standard error)\n")) << r.out;
}

struct Written {
  const char* name;
  std::vector<std::pair<long, long>> times;  // dataDate, dataTime
  std::vector<std::string> lines;            // of the summary
  std::vector<std::pair<std::string, std::string>> dates;  // case directory, its adate.txt
};

TEST_F(AllTimes, TimesArePrintedAsTheyAreWritten) {
  const Written rows[] = {
      {"year 202 at 01:01 and year 20201 at 01:00, once both 20201010101",
       {{2020101, 101}, {202010101, 100}},
       {"  020201010101  made      out/020201010101\n", "  20201010101  made      out/20201010101\n"},
       {{"020201010101", "0202010101\n"}, {"20201010101", "20201010101\n"}}},
      {"years 1 and 99", {{10101, 600}, {990101, 0}},
       {"  0001010106  made      out/0001010106\n", "  0099010100  made      out/0099010100\n"},
       {{"0099010100", "0099010100\n"}}},
  };
  for (const Written& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir work;
    std::string bytes;
    for (const auto& [date, time] : row.times) bytes += at(date, time);
    write_file(work / "in.grib", bytes);
    const auto r = conv2model(work.path(), {"ingest", "--all-times", "out", "in.grib"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const std::string& l : row.lines) EXPECT_TRUE(contains(r.out, l)) << l << " not in\n" << r.out;
    for (const auto& [dir, date] : row.dates) {
      ASSERT_TRUE(file_exists(work / ("out/" + dir + "/adate.txt"))) << dir;
      EXPECT_EQ(read_file(work / ("out/" + dir + "/adate.txt")), date);
    }
  }
  // A time asked for is named as it was asked.
  ScratchDir work;
  write_file(work / "in.grib", grib_);
  const auto r = conv2model(work.path(), {"ingest", "--time", "0000010100", "out", "in.grib"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(contains(r.err, "no field of the files is valid at 0000010100 (--time)")) << r.err;
}

TEST_F(AllTimes, NothingMadeLeavesNoOutputDirectory) {
  ScratchDir work;
  write_file(work / "in.grib",
             rewrite(grib_ + at(20261209, 0), [](Message& m) { return m.get_string("shortName") != "sp"; }));
  const auto r = conv2model(work.path(), {"ingest", "--all-times", "made/out", "in.grib"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(contains(r.err, "2 of 2 validity times could not be made into cases: 2026120806, 2026120900"))
      << r.err;
  EXPECT_FALSE(file_exists(work / "made"));
}

TEST_F(AllTimes, ProgressIsALinePerFinishedCaseWhenStandardErrorIsNotATerminal) {
  ScratchDir work;
  write_file(work / "in.grib", grib_ + at(20261209, 0) + at(20261210, 0));  // 06, 00, 00 UTC
  auto r = conv2model(work.path(), {"ingest", "--all-times", "-j", "2", "out", "in.grib"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; (nl = r.err.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(r.err.substr(at, nl - at));
  ASSERT_EQ(lines.size(), 3u) << r.err;
  std::vector<std::string> seen;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string head = "conv2model ingest: [" + std::to_string(k + 1) + "/3] ";
    ASSERT_EQ(lines[k].rfind(head, 0), 0u) << lines[k];
    const std::string t = lines[k].substr(head.size(), 10);
    EXPECT_EQ(lines[k], head + t + ": made in out/" + t);
    seen.push_back(t);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"2026120806", "2026120900", "2026121000"}));
  // --quiet: nothing when everything was made.
  r = conv2model(work.path(), {"ingest", "--all-times", "--quiet", "out", "in.grib"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
}

TEST_F(AllTimes, ProgressOnATerminalIsACountKeptInPlace) {
  ScratchDir work;
  write_file(work / "in.grib", grib_ + at(20261209, 0, [](Message& m) { return m.get_string("shortName") != "sp"; }));
  estab::es_ini();
  c2m::ingest::Sources sources;
  sources.push_back(std::make_unique<c2m::ingest::GribSource>(work / "in.grib", 0));
  c2m::ingest::AllTimesOptions o;
  o.outdir = work / "out";
  o.terminal = true;
  testsupport::TextStream out, err;
  EXPECT_EQ(c2m::ingest::ingest_all_times(o, sources, c2m::ingest::FieldTable::built_in(), out.get(), err.get()), 2);
  const std::string e = err.contents();
  EXPECT_TRUE(contains(e, "\r\033[Kconv2model ingest: 0 of 2 cases [..............................]")) << e;
  EXPECT_TRUE(contains(e, "\r\033[Kconv2model ingest: [2/2] 2026120900: not made: required fields are absent"))
      << e;
  EXPECT_TRUE(contains(e, "\r\033[Kconv2model ingest: 2 of 2 cases [##############################] 1 failed\n"))
      << e;
}

struct Changed {
  const char* name;
  std::function<void(Message&)> change;  // to the messages of the second time
};

TEST_F(AllTimes, EachMessageHasItsOwnParameterThoughTheTimesRepeatTheirDefinitions) {
  const Changed rows[] = {
      {"only the time", [](Message&) {}},
      {"another parameter number",
       [](Message& m) {
         if (m.get_string("shortName") == "t") m.set("parameterNumber", 2L);
       }},
      {"another kind of level",
       [](Message& m) {
         if (m.get_string("shortName") == "sp") m.set("typeOfFirstFixedSurface", 101L);
       }},
      {"another generating process",
       [](Message& m) {
         if (m.get_string("shortName") == "u") m.set("typeOfGeneratingProcess", 4L);
       }},
  };
  for (const Changed& row : rows) {
    ScratchDir work;
    const std::string bytes = grib_ + at(20261209, 0, [&](Message& m) {
      row.change(m);
      return true;
    });
    write_file(work / "in.grib", bytes);
    std::vector<long> want;
    rewrite(bytes, [&](Message& m) {
      want.push_back(m.get_long("paramId"));
      return false;
    });
    const c2m::ingest::GribSource src(work / "in.grib", 0, 2);
    ASSERT_EQ(src.fields().size(), want.size()) << row.name;
    for (std::size_t k = 0; k < want.size(); ++k)
      EXPECT_EQ(src.fields()[k].param_id, want[k]) << row.name << ": message " << k + 1;
  }
}

TEST(AllTimesParts, TheCoresAreSharedAmongTheCasesMadeAtOnce) {
  struct Row {
    unsigned cores;
    std::size_t cases;
    std::vector<unsigned> share;
  };
  const Row rows[] = {
      {1, 24, {1}},        {2, 24, {1, 1}},  {2, 1, {2}},          {3, 2, {2, 1}},
      {8, 0, {8}},         {0, 5, {1}},      {16, 24, std::vector<unsigned>(8, 2)},
      {12, 24, {2, 2, 2, 2, 1, 1, 1, 1}},
  };
  for (const Row& r : rows)
    EXPECT_EQ(c2m::ingest::share_cores(r.cores, r.cases), r.share) << r.cores << " cores, " << r.cases << " cases";
}

TEST(AllTimesParts, CommandLine) {
  using c2m::ingest::parse_options;
  const std::vector<std::vector<std::string>> bad = {
      {"--all-times", "--time", "2026120800", "out", "f.grib"},
      {"--all-times", "--threads", "2", "out", "f.grib"},
      {"-j", "2", "out", "f.grib"},
      {"--all-times", "-j", "0", "out", "f.grib"},
      {"--all-times", "-jx", "out", "f.grib"},
  };
  for (const auto& args : bad)
    EXPECT_THROW(parse_options(args), c2m::cli::UsageError) << ::testing::PrintToString(args);
  for (const auto& args : std::vector<std::vector<std::string>>{{"--all-times", "-j3", "out", "f.grib"},
                                                                {"--all-times", "--jobs=3", "out", "f.grib"}}) {
    const auto o = parse_options(args);
    EXPECT_TRUE(o.all_times);
    EXPECT_EQ(o.jobs, 3u);
  }
}

}  // namespace
