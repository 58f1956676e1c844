// conv2model as a user runs it: every subcommand's command line, as rows of
// arguments, expected pieces of output and exit status.  Standard input is
// a pipe left open and empty: a program that reads it would wait, and is
// caught by the time limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "frontdoor_run.hpp"

namespace fs = std::filesystem;
using namespace testsupport;
using namespace frontdoor;

namespace {

// The function, before the namespace c2m of the project.
using frontdoor::c2m;

TEST(FrontDoor, HelpAndVersionAnswerAtOnce) {
  struct Row {
    std::string program;
    std::vector<std::string> args;
    std::vector<std::string> pieces;  // in standard output
  };
  std::vector<Row> rows = {
      {CONV2MODEL, {"--help"}, {"usage: conv2model SUBCOMMAND", "synth", "plot", "Exit status"}},
      {CONV2MODEL, {"-h"}, {"usage: conv2model SUBCOMMAND"}},
      {CONV2MODEL, {"help", "plot"}, {"usage: conv2model plot"}},
      {CONV2MODEL, {"--version"}, {"conv2model 0."}},
      {CONV2MODEL, {"help", "--man"}, {".TH CONV2MODEL 1", ".SS convert", "\\-\\-var NAME"}},
      {INPUT_DRIVER, {"--help"}, {"usage: printf 'INPUT\\nnone\\n' | input_driver", "Exit status"}},
      {INPUT_DRIVER, {"--version"}, {"input_driver 0."}},
  };
  for (const auto& name : subcommand_names) {
    rows.push_back({CONV2MODEL, {name, "--help"},
                    {"usage: conv2model " + name, "  -h, --help", "Example", "Exit status: 0"}});
    // --help wins over anything else on the line, even a bad option.
    rows.push_back({CONV2MODEL, {name, "--bogus", "-h"}, {"usage: conv2model " + name}});
  }
  ScratchDir dir;
  for (const auto& row : rows) {
    std::string trace = row.program;
    for (const auto& a : row.args) trace += " " + a;
    SCOPED_TRACE(trace);
    const TimedRun r = run_with_open_stdin(row.program, dir.path(), row.args, {5.0, -1});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.result.status, 0);
    EXPECT_EQ(r.result.err, "");
    for (const auto& p : row.pieces) EXPECT_TRUE(has(r.result.out, p)) << r.result.out;
  }
  EXPECT_TRUE(list_files(dir.path()).empty());
}

TEST(FrontDoor, BadCommandLinesAreRefusedWithStatus2) {
  ScratchDir dir;
  const std::string long_input(240, 'x');
  struct Row {
    std::vector<std::string> args;
    std::string in_err;
  };
  std::vector<Row> rows = {
      {{}, "no subcommand given"},
      {{"frobnicate"}, "no subcommand 'frobnicate'"},
      {{"help", "frobnicate"}, "no subcommand 'frobnicate'"},
      {{"synth"}, "no output directory given"},
      {{"synth", "d", "--res", "0"}, "--res must be above 0"},
      {{"synth", "d", "--grib1"}, "--grib1 and --packing go with --grib FILE"},
      {{"synth", "d", "--grib", "g", "--packing", "jpeg"}, "--packing is grid_simple"},
      {{"convert"}, "no input grid file given"},
      {{"convert", "a", "b"}, "one input grid file at a time"},
      {{"convert", "a b"}, "holds a blank"},
      {{"convert", long_input}, "240 characters: the output names allow at most 239"},
      {{"info"}, "no model data file given"},
      {{"info", "--var", "temp", "f"}, "--var: no field \"temp\"; the fields are u v gh q t lsm"},
      {{"info", "--level", "high", "f"}, "--level wants levels in hPa"},
      {{"info", "--record", "x", "f"}, "--record wants a whole number"},
      {{"info", "--record", "3", "--var", "t", "f"}, "takes neither --var nor --level"},
      {{"plot", "f", "--var", "t"}, "say where the picture goes: -o OUT.png"},
      {{"plot", "f", "-o", "p.png"}, "say which record to draw"},
      {{"plot", "f", "--record", "1", "--var", "t", "-o", "p.png"}, "say which record to draw"},
      {{"plot", "f", "--record", "1", "--level", "850", "-o", "p.png"}, "--level goes with --var"},
      {{"plot", "f", "--var", "t,q", "-o", "p.png"}, "one field per picture"},
      {{"plot", "f", "--var", "t", "-o", "p.png", "--width", "5"}, "--width wants from 16 to 32767"},
      {{"plot", "f", "--var", "t", "-o", "p.png", "--range", "5,1"}, "MIN below MAX"},
      {{"plot", "f", "--var", "t", "-o", "p.png", "--range", "1"}, "--range wants MIN,MAX"},
      {{"plot", "f", "--var", "t", "-o", "t850.jpg"}, "-o t850.jpg: the picture is PNG, and its name must end in .png"},
      {{"plot", "f", "--var", "t", "-o", "t850"}, "-o t850: the picture is PNG"},
      {{"plot", "f", "--var", "t", "-o", "t850.png.txt"}, "its name must end in .png (or .PNG)"},
      {{"plot", "f", "--var", "t", "-o", "png"}, "-o png: the picture is PNG"},
      {{"export", "f"}, "say what to export: --ctl OUT.ctl"},
      {{"export", "f", "--ctl", "x.ctl", "--date", "2024"}, "--date wants YYYYMMDDHH"},
      {{"export", "f"}, "or --netcdf OUT.nc"},
      {{"export", "f", "--netcdf", ""}, "--netcdf needs a file name"},
      {{"export", "f", "--netcdf", "-"}, "--netcdf writes a file, not standard output"},
      {{"export", "f", "--netcdf", "x.nc", "--ctl", "./x.nc"}, "--ctl and --netcdf name the same file"},
      {{"export", "f", "--ctl", "x.ctl", "--compress", "1"}, "--compress goes with --netcdf OUT.nc"},
      {{"export", "f", "--netcdf", "x.nc", "--compress", "10"}, "--compress wants a level from 0 to 9"},
      {{"export", "f", "--netcdf", "x.nc", "--compress", "-1"}, "--compress wants a level from 0 to 9"},
      {{"export", "f", "--netcdf", "x.nc", "--compress", "fast"}, "--compress wants a whole number"},
      {{"export", "f", "--netcdf", "x.nc", "--date", "2023022900"}, "--date wants YYYYMMDDHH"},
      {{"fetch", "out"}, "give the cycle: --cycle YYYYMMDDHH, or --cycles"},
      {{"fetch", "--cycle", "2024011500"}, "no output directory given"},
      {{"fetch", "--cycle", "2024011500", "a", "b"}, "give one OUTDIR"},
      {{"fetch", "--cycle", "2024011500", "--cycles", "2024011500/2024011600/6h", "o"}, "give the cycle"},
      {{"fetch", "--cycle", "2024011503", "o"}, "--cycle wants YYYYMMDDHH, a date and the hour 00, 06, 12 or 18"},
      {{"fetch", "--cycle", "2023022900", "o"}, "--cycle wants YYYYMMDDHH"},
      {{"fetch", "--cycles", "2024011500/2024011400/6h", "o"}, "--cycles has LAST before FIRST"},
      {{"fetch", "--cycles", "2024011500/2024011600/4h", "o"}, "--cycles wants EVERY in hours, a multiple of 6"},
      {{"fetch", "--cycle", "2024011500", "--source", "icon", "o"}, "--source wants gfs or ifs"},
      {{"fetch", "--cycle", "2024011500", "--source", "ifs", "--res", "1", "o"}, "--res 1: ifs publishes 0.25"},
      {{"fetch", "--cycle", "2024011500", "--root", "ftp://x", "o"}, "--root wants an http://, https:// or file:///"},
      {{"fetch", "--cycle", "2024011500", "--force", "o"}, "--force goes with --cycles"},
      {{"fetch", "--cycle", "2024011500", "--cache", "c", "--no-cache", "o"}, "give one of them"},
      {{"fetch", "--cycle", "2024011500", "-j", "0", "o"}, "-j wants from 1 to 64 transfers"},
      {{"fetch", "--cycle", "2024011500", "--retry-wait", "nan", "o"}, "--retry-wait wants seconds"},
      {{"fetch", "--cycle", "2024011500", "--area", "1,2,3", "o"}, "--area wants S,W,N,E"},
      {{"fetch", "--cycle", "2024011500", "--name", "adate.txt", "o"}, "--name wants a plain file name"},
  };
  for (const auto& name : subcommand_names) rows.push_back({{name, "--bogus", "x"}, "unknown option"});
  for (const auto& row : rows) {
    std::string trace;
    for (const auto& a : row.args) trace += " " + a;
    SCOPED_TRACE(trace);
    const RunResult r = c2m(dir.path(), row.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r.err, row.in_err)) << r.err;
    EXPECT_EQ(r.out, "");
    if (!row.args.empty() && row.args[0] != "frobnicate" && row.args[0] != "help") {
      EXPECT_TRUE(has(r.err, "usage: conv2model")) << r.err;
    }
  }
  EXPECT_TRUE(list_files(dir.path()).empty());
}

// convert is input_driver with a command line: the same log, status,
// diagnostics and files on every stored case.
class ConvertLikeInputDriver : public ::testing::TestWithParam<std::string> {};

TEST_P(ConvertLikeInputDriver, SameRunByteForByte) {
  const std::string golden = std::string(GOLDEN_DIR) + "/" + GetParam();
  ScratchDir a, b;
  fs::copy(golden + "/case", a.path(), fs::copy_options::recursive);
  fs::copy(golden + "/case", b / "work", fs::copy_options::recursive);
  const std::string stdin_text = read_file(a / "stdin.txt");
  const std::string input = words_of(lines_of(stdin_text).at(0)).at(0);  // cut at the blank
  const auto before = list_files(a.path());

  const RunResult driver = run_program(INPUT_DRIVER, a.path(), stdin_text);
  // From the directory above, as a user would name the case: the run
  // description is found beside the input grid file, or where --dir says.
  const bool beside = fs::path(input).parent_path().empty();
  std::vector<std::string> args = {"convert"};
  if (!beside) args.insert(args.end(), {"--dir", "work"});
  args.push_back("work/" + input);
  const RunResult front = c2m(b.path(), args);

  EXPECT_EQ(front.status, driver.status);
  EXPECT_EQ(std::to_string(driver.status) + "\n", read_file(golden + "/expected/status"));
  EXPECT_EQ(front.out, driver.out);
  std::string err = driver.err;
  for (std::size_t at; (at = err.find("input_driver: ")) != std::string::npos;)
    err.replace(at, 14, "conv2model convert: ");
  EXPECT_EQ(front.err, err);
  std::vector<std::string> made;
  for (const auto& f : list_files(a.path()))
    if (std::find(before.begin(), before.end(), f) == before.end()) made.push_back(f);
  std::vector<std::string> made_b;
  for (const auto& f : list_files(b / "work"))
    if (std::find(before.begin(), before.end(), f) == before.end()) made_b.push_back(f);
  EXPECT_EQ(made_b, made);
  for (const auto& f : made) EXPECT_EQ(read_file(b / ("work/" + f)), read_file(a / f)) << f;
}

INSTANTIATE_TEST_SUITE_P(Golden, ConvertLikeInputDriver,
                         ::testing::Values("free_format", "full_7x5x4", "path_with_blank",
                                           "rh_patch", "short_input", "soil_fill",
                                           "special_values", "stop_temperature"));

// synth's GRIB goes back through ingest: bit for bit with IEEE packing,
// and as a case that converts in either edition.
TEST(FrontDoor, SynthAsGribComesBackThroughIngest) {
  struct Row {
    std::vector<std::string> grib_options;
    std::vector<std::string> ingest_options;
    bool same_bits;
  };
  const Row rows[] = {
      {{"--packing", "grid_ieee"}, {"--rh", "as-is", "--humidity", "physical"}, true},
      {{}, {}, false},
      {{"--grib1"}, {}, false},
  };
  for (const Row& row : rows) {
    ScratchDir dir;
    std::vector<std::string> synth = {"synth", "case", "--im", "12", "--jm", "8", "--lm", "4",
                                      "--res", "2", "--grib", "case.grib"};
    synth.insert(synth.end(), row.grib_options.begin(), row.grib_options.end());
    const RunResult s = c2m(dir.path(), synth);
    ASSERT_EQ(s.status, 0) << s.err;
    std::vector<std::string> ingest = {"ingest", "--quiet"};
    ingest.insert(ingest.end(), row.ingest_options.begin(), row.ingest_options.end());
    ingest.insert(ingest.end(), {"back", "case.grib"});
    const RunResult i = c2m(dir.path(), ingest);
    ASSERT_EQ(i.status, 0) << i.err;
    if (row.same_bits) {
      EXPECT_EQ(read_file(dir / "back/case.bin"), read_file(dir / "case/case.bin"));
    }
    EXPECT_EQ(c2m(dir.path(), {"convert", "--quiet", "back/case.bin"}).status, 0);
  }
}

TEST(FrontDoor, ConvertCheckAndQuiet) {
  struct Row {
    std::string golden;
    std::vector<std::string> options;
    int status;
    bool writes;
    std::string in_out, in_err;
    std::string verdict = "";  // with --check: the last line of standard output
  };
  const Row rows[] = {
      {"full_7x5x4", {"--check"}, 0, false, "Check for any missing data", "", "case.bin: would convert"},
      {"stop_temperature", {"--check"}, 1, false, "", "conv2model convert: case.bin: Temperature data missing",
       "case.bin: would stop: Temperature data missing at level:    700.000000     (data stop, no output written)"},
      {"short_input", {"--check"}, 2, false, "", "conv2model convert: ",
       "case.bin: would stop: the file ends inside record 24: expected 48 bytes, found 0"},
      {"full_7x5x4", {"--quiet"}, 0, true, "", ""},
      {"full_7x5x4", {"--quiet", "--check"}, 0, false, "", "", "case.bin: would convert"},
      {"stop_temperature", {"--quiet"}, 1, false, "", "conv2model convert: "},
  };
  for (const auto& row : rows) {
    std::string trace = row.golden;
    for (const auto& o : row.options) trace += " " + o;
    SCOPED_TRACE(trace);
    ScratchDir dir;
    fs::copy(std::string(GOLDEN_DIR) + "/" + row.golden + "/case", dir.path(), fs::copy_options::recursive);
    const auto before = list_files(dir.path());
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.push_back("case.bin");
    const RunResult r = c2m(dir.path(), args);
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_EQ(list_files(dir.path()).size() > before.size(), row.writes);
    const bool quiet = std::find(row.options.begin(), row.options.end(), "--quiet") != row.options.end();
    // Quiet, the verdict of a check is all of standard output.
    if (quiet) {
      EXPECT_EQ(r.out, row.verdict.empty() ? "" : row.verdict + "\n");
    }
    if (!row.verdict.empty()) {
      const auto lines = lines_of(r.out);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back(), row.verdict) << r.out;
      EXPECT_FALSE(has(r.err, "would")) << r.err;
    }
    if (!row.in_out.empty()) {
      EXPECT_TRUE(has(r.out, row.in_out)) << r.out;
    }
    if (!row.in_err.empty()) {
      EXPECT_TRUE(has(r.err, row.in_err)) << r.err;
    }
  }
}

TEST(FrontDoor, InfoSelectsAndReadsBackAsCsv) {
  ScratchDir dir;
  const std::string data = small_case(dir);
  struct Row {
    std::vector<std::string> options;
    std::vector<std::string> records;  // the first word of each record line
  };
  const Row rows[] = {
      {{"--var", "t", "--level", "700"}, {"18"}},
      {{"--var", "t,u"}, {"1", "2", "3", "4", "17", "18", "19", "20"}},
      {{"--level", "1000"}, {"1", "5", "9", "13", "17"}},
      {{"--var", "orog,u", "--level", "sfc,250"}, {"3", "24"}},
      {{"--record", "32,1"}, {"1", "32"}},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {"info"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.push_back(data);
    const RunResult r = c2m(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2 + row.records.size()) << r.out;
    for (std::size_t n = 0; n < row.records.size(); ++n) EXPECT_EQ(words_of(lines[2 + n]).at(0), row.records[n]);
  }
  const RunResult none = c2m(dir.path(), {"info", "--level", "925", data});
  EXPECT_EQ(none.status, 2);
  EXPECT_TRUE(has(none.err, "there is no level 925 hPa; the levels are 1000 700 250 10 and sfc")) << none.err;

  const RunResult csv = c2m(dir.path(), {"info", "--csv", data});
  ASSERT_EQ(csv.status, 0) << csv.err;
  const auto rows_csv = lines_of(csv.out);
  ASSERT_EQ(rows_csv.size(), 1u + 32u);
  EXPECT_EQ(rows_csv[0], "record,offset,name,level_hpa,min,max,mean,stddev,valid,missing,nan,inf,long_name,units");
  const std::vector<std::string> names = {"u", "v", "gh", "q", "t"};
  for (int n = 1; n <= 32; ++n) {
    std::vector<std::string> cells;
    std::stringstream in(rows_csv[static_cast<std::size_t>(n)]);
    for (std::string c; std::getline(in, c, ',');) cells.push_back(c);
    ASSERT_GE(cells.size(), 13u) << rows_csv[static_cast<std::size_t>(n)];
    EXPECT_EQ(std::stoi(cells[0]), n);
    EXPECT_EQ(std::stoll(cells[1]), (n - 1) * 12LL * 8 * 4);
    if (n <= 20) {
      EXPECT_EQ(cells[2], names[static_cast<std::size_t>((n - 1) / 4)]);
      EXPECT_EQ(std::stof(cells[3]), (std::vector<float>{1000, 700, 250, 10})[static_cast<std::size_t>((n - 1) % 4)]);
    } else {
      EXPECT_EQ(cells[3], "");
    }
    EXPECT_LE(std::stod(cells[4]), std::stod(cells[6]));  // min <= mean <= max
    EXPECT_LE(std::stod(cells[6]), std::stod(cells[5]));
    EXPECT_EQ(std::stoll(cells[8]) + std::stoll(cells[9]) + std::stoll(cells[10]) + std::stoll(cells[11]), 96);
  }

  // A file cut short: its whole records are listed, then it is refused.
  fs::resize_file(data, 384 * 5 + 100);
  const RunResult cut = c2m(dir.path(), {"info", data});
  EXPECT_EQ(cut.status, 2);
  EXPECT_EQ(lines_of(cut.out).size(), 2u + 5u);
  EXPECT_TRUE(has(cut.err, "2020 bytes, but its grid description")) << cut.err;
  EXPECT_TRUE(has(cut.err, "cut short")) << cut.err;
}

TEST(FrontDoor, ExportTakesTheDateOfTheCase) {
  ScratchDir dir;
  const std::string data = small_case(dir);  // adate.txt beside it: 2026120800
  struct Row {
    std::vector<std::string> extra;
    std::string date_file;  // written beside the data first; "-" for none
    std::string tdef, in_err;
  };
  const Row rows[] = {
      {{}, "", "tdef 1 linear 00z08dec2026 1dy", ""},
      {{"--date", "2024010106"}, "", "tdef 1 linear 06z01jan2024 1dy", ""},
      {{}, "'2024022912'\n", "tdef 1 linear 12z29feb2024 1dy", ""},
      {{}, "today\n", "tdef 1 linear 00z01jan2000 1dy", "holds \"today\", not a date"},
      {{}, "-", "tdef 1 linear 00z01jan2000 1dy", "no date file adate.txt beside it"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.tdef);
    if (row.date_file == "-") fs::remove(dir / "case/adate.txt");
    else if (!row.date_file.empty()) write_file(dir / "case/adate.txt", row.date_file);
    std::vector<std::string> args = {"export", data, "--ctl", dir / "case/case.ctl"};
    args.insert(args.end(), row.extra.begin(), row.extra.end());
    const RunResult r = c2m(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string ctl = read_file(dir / "case/case.ctl");
    EXPECT_TRUE(has(ctl, "dset ^case.bin.KVOwrk\n")) << ctl;
    EXPECT_TRUE(has(ctl, row.tdef + "\n")) << ctl;
    EXPECT_EQ(has(ctl, "placeholder"), !row.in_err.empty());
    if (row.in_err.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_TRUE(has(r.err, row.in_err)) << r.err;
    }
  }
  // Elsewhere than beside the data, the descriptor names it by its whole path.
  ASSERT_EQ(c2m(dir.path(), {"export", data, "--ctl", "elsewhere.ctl", "--date", "20240101"}).status, 0);
  EXPECT_TRUE(has(read_file(dir / "elsewhere.ctl"), "dset " + fs::absolute(data).lexically_normal().string() + "\n"));
  const RunResult out = c2m(dir.path(), {"export", data, "--ctl", "-", "--date", "20240101"});
  EXPECT_EQ(out.status, 0);
  EXPECT_EQ(out.out.rfind("dset ^case.bin.KVOwrk\n", 0), 0u);
  EXPECT_TRUE(has(out.out, "\nu        4 99 zonal wind [m s-1]\n")) << out.out;
}

}  // namespace
