// conv2model export --netcdf as the tools users open the file with see it:
// xarray (coordinates, decoded time, every variable bit for bit against its
// record), cdo (the pressure axis and the time) and ncdump (attributes,
// storage, compression); and its failures, which leave whatever stood at
// the output name as it was.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <csignal>
#include <filesystem>
#include <limits>

#include "fileio/output_file.hpp"
#include "layout/records.hpp"
#include "model_data_cases.hpp"
#include "model_file.hpp"
#include "netcdf_file.hpp"
#include "support/open_stdin_run.hpp"
#include "support/scratch.hpp"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const std::string python = "/usr/bin/python3";  // Debian's, with xarray and netCDF4
const std::string cdo = "/usr/bin/cdo";
const std::string ncdump = "/usr/bin/ncdump";

bool has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

RunResult run(const std::string& program, const std::string& dir,
              const std::vector<std::string>& args, RunLimits limits = {30.0, -1}) {
  const TimedRun r = run_with_open_stdin(program, dir, args, limits);
  EXPECT_FALSE(r.timed_out) << program << " did not finish";
  return r.result;
}

// 7 x 5 points from 0.1 N, 180 W, by 2.5 degrees along i and 0.1 along j
// (a step no binary fraction holds: each latitude must be the double
// nearest to its decimal value, not a sum of steps); three levels, the
// lowest at 1013.25 hPa, the highest at 0.5 hPa.
md_test::CaseGrid test_grid() {
  md_test::CaseGrid g;
  g.im = 7;
  g.jm = 5;
  g.pressure_hpa = {1013.25f, 850.0f, 0.5f};
  g.lat1 = 100;
  g.lon1 = -180000;
  g.lat2 = 500;
  g.lon2 = -165000;
  g.di = 2500;
  g.dj = 100;
  return g;
}

// Every point distinct; the first row of the first two records holds what
// an export must pass through untouched.
float point_value(int n, int i, int j) {
  if (j == 1 && n <= 2) {
    const float specials[2][5] = {
        {std::bit_cast<float>(0x7fc12345u), std::numeric_limits<float>::infinity(),
         -std::numeric_limits<float>::infinity(), std::bit_cast<float>(0xffa00001u), 1.0f},
        {-0.0f, -99999.0f, 1e-40f, 9.999e20f, std::numeric_limits<float>::max()}};
    if (i <= 5) return specials[n - 1][i - 1];
  }
  return static_cast<float>(n * 1000 + j * 10 + i) + 0.125f;
}

// What CF and the model ask of each variable, in record order.
struct FieldExpectation {
  const char* name;
  bool upper;
  const char* standard_name;
  const char* units;
};
const FieldExpectation expected_fields[] = {
    {"u", true, "eastward_wind", "m s-1"},
    {"v", true, "northward_wind", "m s-1"},
    {"gh", true, "geopotential_height", "m"},
    {"q", true, "specific_humidity", "kg kg-1"},
    {"t", true, "air_temperature", "K"},
    {"lsm", false, "land_binary_mask", "1"},
    {"msl", false, "air_pressure_at_mean_sea_level", "hPa"},
    {"sp", false, "surface_air_pressure", "hPa"},
    {"orog", false, "surface_altitude", "m"},
    {"stl1", false, "soil_temperature", "K"},
    {"swvl1", false, "volume_fraction_of_condensed_water_in_soil", "1"},
    {"stl2", false, "soil_temperature", "K"},
    {"swvl2", false, "volume_fraction_of_condensed_water_in_soil", "1"},
    {"stl3", false, "soil_temperature", "K"},
    {"swvl3", false, "volume_fraction_of_condensed_water_in_soil", "1"},
    {"stl4", false, "soil_temperature", "K"},
    {"swvl4", false, "volume_fraction_of_condensed_water_in_soil", "1"},
};

std::string json_text(const std::string& s) {
  std::string q = "\"";
  for (const char c : s) q += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
  return q + "\"";
}

std::string json_numbers(const std::vector<double>& values) {
  std::string t = "[";
  for (const double v : values) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);  // shortest text that reads back
    t += (t.size() > 1 ? "," : "") + std::string(buf, r.ptr);
  }
  return t + "]";
}

// Runs netcdf_readback.py on NC against MODEL (the test grid); TIME is the
// ISO text of the time step or empty for none.  Returns its output.
std::string read_back(const std::string& dir, const std::string& nc, const std::string& model,
                      const std::string& time) {
  std::string x = "{\"nc\":" + json_text(nc) + ",\"model\":" + json_text(model) +
                  ",\"im\":7,\"jm\":5,\"lm\":3" +
                  ",\"plev\":" + json_numbers({101325, 85000, 50}) +
                  ",\"lat\":" + json_numbers({0.1, 0.2, 0.3, 0.4, 0.5}) +
                  ",\"lon\":" + json_numbers({-180, -177.5, -175, -172.5, -170, -167.5, -165}) +
                  ",\"time\":" + (time.empty() ? "null" : json_text(time)) + ",\"fields\":[";
  for (std::size_t f = 0; f < std::size(expected_fields); ++f) {
    const FieldExpectation& e = expected_fields[f];
    x += std::string(f ? "," : "") + "{\"name\":" + json_text(e.name) +
         ",\"upper\":" + (e.upper ? "true" : "false") +
         ",\"standard_name\":" + json_text(e.standard_name) + ",\"units\":" + json_text(e.units) +
         ",\"long_name\":" + json_text(std::string(c2m::layout::fields[f].long_name)) + "}";
  }
  x += "]}";
  const std::string expectations = dir + "/expected.json";
  write_file(expectations, x);
  const RunResult r = run(python, dir, {NETCDF_READBACK, expectations}, {60.0, -1});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "checked 17 variables")) << r.out << r.err;
  fs::remove(expectations);
  return r.out;
}

// A case directory holding the test grid's model data file, its grid
// description and, unless DATE is empty, a date file.
void write_model_case(const ScratchDir& dir, const std::string& date) {
  md_test::write_case(dir / "case.bin.KVOwrk", test_grid(), point_value);
  if (!date.empty()) write_file(dir / "adate.txt", date + "\n");
}

TEST(NetcdfExport, ReadBackByXarrayCdoAndNcdump) {
  struct Row {
    std::string what;
    std::string date_file;  // the word in adate.txt; empty: no date file
    std::vector<std::string> options;
    std::string time;       // as xarray decodes it; empty: no time axis
    std::string in_err;     // empty: nothing on standard error
    std::vector<std::string> in_dump;  // of ncdump -hs
  };
  const std::vector<Row> rows = {
      {"the date of the date file",
       "2024013106",
       {},
       "2024-01-31T06:00:00",
       "",
       {"float u(time, plev, lat, lon) ;", "float lsm(time, lat, lon) ;",
        "time:units = \"hours since 2024-01-31 06:00:00\" ;",
        "time:calendar = \"proleptic_gregorian\" ;", "time:standard_name = \"time\" ;",
        "u:_Storage = \"contiguous\" ;", "swvl4:_Storage = \"contiguous\" ;"}},
      {"--date over the date file, a day alone at 00 UTC",
       "2024013106",
       {"--date", "20240229"},
       "2024-02-29T00:00:00",
       "",
       {"time:units = \"hours since 2024-02-29 00:00:00\" ;"}},
      {"no date file: no time axis",
       "",
       {},
       "",
       "the netCDF file has no time axis (no date file adate.txt beside it)",
       {"float u(plev, lat, lon) ;", "float orog(lat, lon) ;"}},
      {"a date file without a date",
       "'none'",
       {},
       "",
       "the date file beside it holds \"none\", not a date",
       {"float t(plev, lat, lon) ;"}},
      {"deflated, a chunk a level's plane",
       "2024013106",
       {"--compress", "4"},
       "2024-01-31T06:00:00",
       "",
       {"u:_ChunkSizes = 1, 1, 5, 7 ;", "u:_DeflateLevel = 4 ;", "u:_Shuffle = \"true\" ;",
        "lsm:_ChunkSizes = 1, 5, 7 ;", "swvl4:_DeflateLevel = 4 ;"}},
      {"deflated without a date",
       "",
       {"--compress", "9"},
       "",
       "has no time axis",
       {"q:_ChunkSizes = 1, 5, 7 ;", "msl:_ChunkSizes = 5, 7 ;", "q:_DeflateLevel = 9 ;"}},
      {"--compress 0: contiguous",
       "2024013106",
       {"--compress", "0"},
       "2024-01-31T06:00:00",
       "",
       {"t:_Storage = \"contiguous\" ;"}},
  };
  const std::vector<std::string> every_dump = {
      ":_Format = \"netCDF-4 classic model\" ;",
      ":Conventions = \"CF-1.8\" ;",
      ":title = \"case.bin.KVOwrk: model initial data, 7 x 5 points, 3 levels\" ;",
      ":source = \"conv2model 0.",
      "Z: conv2model export case.bin.KVOwrk --netcdf out.nc",
      "plev:standard_name = \"air_pressure\" ;",
      "plev:units = \"Pa\" ;",
      "plev:positive = \"down\" ;",
      "lat:units = \"degrees_north\" ;",
      "lon:units = \"degrees_east\" ;",
      "u:_FillValue = -99999.f ;",
      "msl:units = \"hPa\" ;",
      "sp:units = \"hPa\" ;",
      "swvl1:units = \"1\" ;",
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDir dir;
    write_model_case(dir, row.date_file);
    std::vector<std::string> args = {"export", "case.bin.KVOwrk", "--netcdf", "out.nc"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const RunResult r = run(CONV2MODEL, dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    if (row.in_err.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_TRUE(has(r.err, row.in_err)) << r.err;
    }
    EXPECT_EQ(r.out, "");

    read_back(dir.path(), "out.nc", "case.bin.KVOwrk", row.time);

    const RunResult dump = run(ncdump, dir.path(), {"-hs", "out.nc"});
    ASSERT_EQ(dump.status, 0) << dump.err;
    for (const auto& piece : every_dump) EXPECT_TRUE(has(dump.out, piece)) << piece << "\n" << dump.out;
    for (const auto& piece : row.in_dump) EXPECT_TRUE(has(dump.out, piece)) << piece << "\n" << dump.out;
    EXPECT_EQ(has(dump.out, "time = 1 ;"), !row.time.empty()) << dump.out;

    const RunResult info = run(cdo, dir.path(), {"-s", "sinfo", "out.nc"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(has(info.out, "pressure")) << info.out;
    EXPECT_TRUE(has(info.out, "levels=3")) << info.out;
    EXPECT_TRUE(has(info.out, "plev : 101325 to 50 Pa")) << info.out;
    EXPECT_TRUE(has(info.out, "lat : 0.1 to 0.5 by 0.1 degrees_north")) << info.out;
    EXPECT_TRUE(has(info.out, "lon : -180 to -165 by 2.5 degrees_east")) << info.out;
    if (!row.time.empty()) {
      std::string stamp = row.time;
      stamp[10] = ' ';
      EXPECT_TRUE(has(info.out, stamp)) << info.out;
    }
    for (const auto& f : list_files(dir.path())) EXPECT_FALSE(has(f, ".partial-")) << f;
  }
}

// The descriptor and the netCDF file of one call come from the same run and
// tell the same date.
TEST(NetcdfExport, DescriptorAndNetcdfTogether) {
  ScratchDir dir;
  write_model_case(dir, "2026120818");
  const RunResult r = run(CONV2MODEL, dir.path(),
                          {"export", "case.bin.KVOwrk", "--ctl", "out.ctl", "--netcdf", "out.nc"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(read_file(dir / "out.ctl"), "tdef 1 linear 18z08dec2026 1dy\n"));
  read_back(dir.path(), "out.nc", "case.bin.KVOwrk", "2026-12-08T18:00:00");
}

// An earlier file at the name is replaced whole and keeps its permissions;
// a symlink there is replaced, its target left alone.
TEST(NetcdfExport, ReplacesAnEarlierFileKeepingItsPermissions) {
  ScratchDir dir;
  write_model_case(dir, "2024010100");
  write_file(dir / "old.nc", "an earlier export");
  fs::permissions(dir / "old.nc", fs::perms(0640));
  write_file(dir / "target", "the symlink's target");
  fs::create_symlink("target", dir / "link.nc");
  for (const std::string name : {"old.nc", "link.nc"}) {
    SCOPED_TRACE(name);
    const RunResult r = run(CONV2MODEL, dir.path(), {"export", "case.bin.KVOwrk", "--netcdf", name});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / name)));
    read_back(dir.path(), name, "case.bin.KVOwrk", "2024-01-01T00:00:00");
  }
  EXPECT_EQ(fs::status(dir / "old.nc").permissions(), fs::perms(0640));
  EXPECT_EQ(read_file(dir / "target"), "the symlink's target");
}

// The rows of a record go out in blocks (and, compressed, in chunks) of
// whatever the memory bound allows: a block of one row, of two rows (the
// last block shorter), or of the whole plane give the same values.
TEST(NetcdfExport, BlocksOfRowsKeepEveryValue) {
  struct Row {
    std::size_t block_bytes;
    int deflate_level;
    std::string chunks;  // of u in ncdump -hs; empty: contiguous
  };
  const Row rows[] = {
      {1, 0, ""}, {7 * 4 * 2, 0, ""}, {7 * 4 * 2, 2, "u:_ChunkSizes = 1, 1, 2, 7 ;"},
      {1, 1, "u:_ChunkSizes = 1, 1, 1, 7 ;"}, {std::size_t{16} << 20, 1, "u:_ChunkSizes = 1, 1, 5, 7 ;"},
  };
  ScratchDir dir;
  write_model_case(dir, "");
  const std::string data = dir / "case.bin.KVOwrk";
  const auto grid = c2m::layout::read_grid_description(data);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.block_bytes) + " bytes a block, deflate " + std::to_string(row.deflate_level));
    c2m::md::ModelFile file(data, grid);
    c2m::exporter::NetcdfOptions options;
    options.date = c2m::exporter::parse_case_date("2024010100");
    options.deflate_level = row.deflate_level;
    options.block_bytes = row.block_bytes;
    c2m::OutputFile out(dir / "blocks.nc");
    c2m::exporter::write_netcdf(file, out, options);
    out.commit();
    read_back(dir.path(), "blocks.nc", "case.bin.KVOwrk", "2024-01-01T00:00:00");
    const RunResult dump = run(ncdump, dir.path(), {"-hs", "blocks.nc"});
    EXPECT_TRUE(has(dump.out, row.chunks.empty() ? "u:_Storage = \"contiguous\" ;" : row.chunks)) << dump.out;
  }
}

TEST(NetcdfExport, RowsPerBlockStayWithinThePlane) {
  md_test::CaseGrid g;
  g.im = 1440;
  g.jm = 721;
  g.lat1 = -90000;  // a global grid of 0.25 degrees
  g.dj = 250;
  const auto grid = md_test::parsed(g);
  const std::pair<std::size_t, std::int64_t> cases[] = {
      {std::size_t{16} << 20, 721}, {1440 * 4 * 10, 10}, {1440 * 4 * 10 + 1439, 10}, {1, 1}, {0, 1},
      {std::numeric_limits<std::size_t>::max(), 721},
  };
  for (const auto& [bytes, rows] : cases) EXPECT_EQ(c2m::exporter::rows_per_block(grid, bytes), rows) << bytes;
}

TEST(NetcdfExport, FailuresLeaveTheEarlierFileAsItWas) {
  struct Row {
    std::string what;
    std::vector<std::string> args;  // after "export"
    std::vector<std::string> in_err;
    int status = 2;
    long file_size_limit = -1;
    bool ignore_xfsz = false;  // a file-size limit then shows as a refused write
  };
  const std::vector<Row> rows = {
      {"the converter's input given",
       {"case.bin", "--netcdf", "out.nc"},
       {"case.bin.gdsinfo: cannot open the grid description",
        "case.bin looks like the converter's input; its model data file is case.bin.KVOwrk"}},
      {"a grid description that is none",
       {"junk.KVOwrk", "--netcdf", "out.nc"},
       {"junk.KVOwrk.gdsinfo, line 1: expected the number of levels"}},
      {"a model data file of another size than its description",
       {"short.KVOwrk", "--netcdf", "out.nc"},
       {"short.KVOwrk: 3500 bytes, but its grid description", "it was cut short"}},
      {"onto the model data file",
       {"case.bin.KVOwrk", "--netcdf", "case.bin.KVOwrk"},
       {"case.bin.KVOwrk: is an input of this command"}},
      {"onto the grid description by another name",
       {"case.bin.KVOwrk", "--netcdf", "./case.bin.KVOwrk.gdsinfo"},
       {"is the same file as case.bin.KVOwrk.gdsinfo, an input of this command"}},
      {"onto the date file it reads",
       {"case.bin.KVOwrk", "--netcdf", "adate.txt"},
       {"adate.txt: is an input of this command"}},
      {"into a directory that is not there",
       {"case.bin.KVOwrk", "--netcdf", "missing/out.nc"},
       {"missing/out.nc: No such file or directory"}},
      {"onto a directory", {"case.bin.KVOwrk", "--netcdf", "sub"}, {"sub: ", "an output file cannot replace a directory"}},
      {"the descriptor's directory missing: neither is written",
       {"case.bin.KVOwrk", "--netcdf", "out.nc", "--ctl", "missing/out.ctl"},
       {"missing/out.ctl: No such file or directory"}},
      {"a write refused by the file-size limit",
       {"case.bin.KVOwrk", "--netcdf", "out.nc"},
       {"out.nc: cannot ", "NetCDF: HDF error (File too large)"},
       2,
       4096,
       true},
      {"stopped by the file-size limit",
       {"case.bin.KVOwrk", "--netcdf", "out.nc", "--compress", "1"},
       {"stopped by SIGXFSZ"},
       128 + SIGXFSZ,
       4096,
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDir dir;
    write_model_case(dir, "2024010100");
    write_file(dir / "case.bin", "the converter's input grid file");
    write_file(dir / "junk.KVOwrk", std::string(64, 'x'));
    write_file(dir / "junk.KVOwrk.gdsinfo", "a text that is not a grid description\n");
    fs::copy_file(dir / "case.bin.KVOwrk.gdsinfo", dir / "short.KVOwrk.gdsinfo");
    write_file(dir / "short.KVOwrk", read_file(dir / "case.bin.KVOwrk").substr(0, 25 * 140));
    fs::create_directory(dir / "sub");
    write_file(dir / "out.nc", "an earlier export");
    write_file(dir / "out.ctl", "an earlier descriptor");
    std::vector<std::pair<std::string, std::string>> before;
    for (const auto& f : list_files(dir.path())) before.emplace_back(f, read_file(dir / f));

    std::vector<std::string> args = {"export"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    std::string program = CONV2MODEL;
    if (row.ignore_xfsz) {
      // An ignored signal stays ignored across exec.
      args.insert(args.begin(), {"-c", "trap '' XFSZ; exec \"$0\" \"$@\"", CONV2MODEL});
      program = "/bin/sh";
    }
    const RunResult r = run(program, dir.path(), args, {30.0, row.file_size_limit});
    EXPECT_EQ(r.status, row.status) << r.err;
    for (const auto& piece : row.in_err) EXPECT_TRUE(has(r.err, piece)) << piece << "\n" << r.err;
    EXPECT_EQ(r.out, "");
    // Every file as it was, and no temporary file left.
    std::vector<std::string> names;
    for (const auto& [name, bytes] : before) {
      names.push_back(name);
      EXPECT_TRUE(read_file(dir / name) == bytes) << name << " changed";
    }
    EXPECT_EQ(list_files(dir.path()), names);
  }
}

}  // namespace
