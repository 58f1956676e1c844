// Hostile input files for conv2model ingest: GRIB messages whose headers
// claim more than the file holds or than any case can use, netCDF files
// that do the same, field tables that are not tables, and names that lead
// to FIFOs, devices and directories.  Each is refused in time with status
// 2, a diagnostic naming the file, the message, variable or line, and the
// cause, and OUTDIR is not made.  (More netCDF headers that lie are in
// netcdf_test's table of refusals.)
#include <gtest/gtest.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "grib_files.hpp"
#include "netcdf_files.hpp"
#include "support/open_stdin_run.hpp"

using namespace ingesttest;
using testsupport::file_exists;
using testsupport::read_file;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr int im = 12, jm = 8, lm = 3;

class Hostile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    make_case(dir_->path(), im, jm, 40.0, 0.0, 1.0, lm);
    grib_ = case_as_grib(dir_->path());
  }
  static void TearDownTestSuite() { delete dir_; }

  static ScratchDir* dir_;
  static std::string grib_;
};

ScratchDir* Hostile::dir_ = nullptr;
std::string Hostile::grib_;

// Every GRIB 2 message of BYTES made to claim a grid of NI x NJ points
// (section 3) and as many values (section 5), its data left as it is.
std::string claiming_grid(const std::string& bytes, std::uint32_t ni, std::uint32_t nj) {
  return edit_sections(bytes, [&](std::string& b, std::size_t pos, int section) {
    const std::uint32_t points = static_cast<std::uint32_t>(std::uint64_t{ni} * nj);
    if (section == 3) {
      put_be32(b, pos + 6, points);
      put_be32(b, pos + 30, ni);
      put_be32(b, pos + 34, nj);
    } else if (section == 5) {
      put_be32(b, pos + 5, points);
    }
  });
}

// BYTES with the temperature at the middle level given a bitmap (one
// point undefined), and that bitmap then cut CUT bytes short: section 6
// and the message made shorter to match, so that only the bitmap lies.
std::string bitmap_cut_short(const std::string& bytes, std::size_t cut) {
  std::string b = rewrite(bytes, [](Message& m) {
    if (m.get_string("shortName") == "t" && m.get_long("level") == 500) {
      auto v = m.values();
      v[3] = static_cast<double>(9.999e20f);
      m.set("bitmapPresent", 1L);
      m.set_values(v);
    }
    return true;
  });
  for (std::size_t at = 0; at + 16 <= b.size();) {
    std::uint64_t total = 0;
    for (std::size_t k = 8; k < 16; ++k) total = (total << 8) | static_cast<unsigned char>(b[at + k]);
    for (std::size_t pos = at + 16; pos + 5 < at + total - 4; pos += be32(b, pos)) {
      if (b[pos + 4] != 6 || b[pos + 5] != 0) continue;
      const std::uint32_t len = be32(b, pos);
      b.erase(pos + len - cut, cut);
      put_be32(b, pos, len - static_cast<std::uint32_t>(cut));
      total -= cut;
      for (std::size_t k = 0; k < 8; ++k) b[at + 15 - k] = static_cast<char>((total >> (8 * k)) & 0xff);
      return b;
    }
    at += total;
  }
  throw std::runtime_error("no bitmap made");
}

// The case as netCDF with its coordinate variable NAME given VALUES.
void netcdf_with_coordinate(const std::string& case_dir, const std::string& path, const char* name,
                            const std::vector<double>& values) {
  case_as_netcdf(case_dir, path, NcLayout{});
  int nc = 0, var = 0;
  ASSERT_EQ(nc_open(path.c_str(), NC_WRITE, &nc), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(nc, name, &var), NC_NOERR);
  ASSERT_EQ(nc_put_var_double(nc, var, values.data()), NC_NOERR);
  ASSERT_EQ(nc_close(nc), NC_NOERR);
}

// Every message of BYTES stating the increment KEY as VALUE degrees, its
// corners left as they are.
std::string stating(const std::string& bytes, const char* key, double value) {
  return rewrite(bytes, [&](Message& m) {
    m.set(key, value);
    return true;
  });
}

// The GRIB 1 messages of BYTES with a bitmap section passed to EDIT (the
// bytes and where the section starts), each message after the other.
std::string with_grib1_bitmap_section(const std::string& bytes,
                                      const std::function<void(std::string&, std::size_t)>& edit) {
  std::string out;
  for (std::string m : messages_of(bytes)) {
    auto len3 = [&](std::size_t at) {
      return static_cast<std::size_t>(static_cast<unsigned char>(m[at])) << 16 |
             static_cast<std::size_t>(static_cast<unsigned char>(m[at + 1])) << 8 |
             static_cast<unsigned char>(m[at + 2]);
    };
    const auto flags = static_cast<unsigned char>(m[8 + 7]);
    std::size_t at = 8 + len3(8);
    if (flags & 0x80) at += len3(at);
    if (flags & 0x40) edit(m, at);
    out += m;
  }
  return out;
}

struct Row {
  const char* name;
  // Writes the files of the row in the scratch directory: in.grib, and
  // whatever else ARGS name.
  std::function<void(const ScratchDir&, const std::string& grib)> make;
  std::vector<std::string> args;  // after "ingest"
  std::vector<std::string> said;
};

void grib(const ScratchDir& d, const std::string& bytes) { write_file(d / "in.grib", bytes); }

TEST_F(Hostile, RefusedInTimeNamingTheFileAndTheCause) {
  const std::vector<std::string> plain = {"out", "in.grib"};
  const std::vector<std::string> with_table = {"--table", "mine.table", "out", "in.grib"};
  const Row rows[] = {
      // GRIB headers that claim more than there is.
      {"a GRIB message claiming 2^31 points",
       [](const ScratchDir& d, const std::string& g) { grib(d, claiming_grid(g, 1u << 28, 8)); }, plain,
       {"in.grib: message 1", "claims a grid of 2147483648 points, more than the limit of 536870911 a plane"}},
      {"a GRIB message claiming 2^32 - 1 points, 65535 on a side",
       [](const ScratchDir& d, const std::string& g) { grib(d, claiming_grid(g, 65535, 65537)); }, plain,
       {"in.grib: message 1", "claims a grid of 4294967295 points, more than the limit of 536870911 a plane"}},
      {"a GRIB file truncated inside a message",
       [](const ScratchDir& d, const std::string& g) { grib(d, g.substr(0, g.size() - 10)); }, plain,
       {"in.grib: message ", "bytes, but the file ends", "it is truncated"}},
      {"a GRIB 2 message with a bitmap shorter than its grid",
       [](const ScratchDir& d, const std::string& g) { grib(d, bitmap_cut_short(g, 4)); }, plain,
       {"in.grib: message ", "its bitmap (section 6 at byte", "holds 64 bits where its grid has 96 points"}},
      {"a GRIB 2 message claiming 2^63 - 1 bytes",
       [](const ScratchDir& d, const std::string& g) {
         std::string b = g;
         b[8] = '\x7f';
         for (int k = 9; k < 16; ++k) b[static_cast<std::size_t>(k)] = '\xff';
         grib(d, b);
       },
       plain, {"in.grib: message 1 (at byte 0): the message claims a length of 9223372036854775807 bytes"}},
      {"a GRIB message of edition 3",
       [](const ScratchDir& d, const std::string& g) {
         std::string b = g;
         b[7] = 3;
         grib(d, b);
       },
       plain, {"in.grib: message 1 (at byte 0): GRIB edition 3, not 1 or 2"}},
      // Found by fuzzing: ecCodes 2.28 divides by zero working out the
      // validity time of a forecast step in a unit no table knows.
      {"a GRIB 1 message whose forecast time is in an unknown unit",
       [](const ScratchDir& d, const std::string&) {
         std::string b = case_as_grib(dir_->path(), true);
         b[8 + 17] = 69;
         grib(d, b);
       },
       plain, {"in.grib: message 1 (at byte 0): the unit of its forecast time (69, product section octet 18)"}},
      // Found by fuzzing: ecCodes 2.28 stops on an assertion reading a
      // GRIB 1 bitmap section of no length, or one naming a catalogued
      // bitmap instead of holding its own.
      {"a GRIB 1 bitmap section of no length",
       [](const ScratchDir& d, const std::string&) {
         grib(d, with_grib1_bitmap_section(case_as_grib(dir_->path(), true), [](std::string& b, std::size_t bms) {
           b[bms] = b[bms + 1] = b[bms + 2] = 0;
         }));
       },
       plain, {"in.grib: message ", ": its bitmap section at byte ", " claims 0 bytes", "it is corrupt"}},
      {"a GRIB 1 bitmap section naming bitmap 4 of a catalogue",
       [](const ScratchDir& d, const std::string&) {
         grib(d, with_grib1_bitmap_section(case_as_grib(dir_->path(), true),
                                           [](std::string& b, std::size_t bms) { b[bms + 5] = 4; }));
       },
       plain, {"in.grib: message ", ": its bitmap section names bitmap 4 of a catalogue instead of holding one"}},
      {"a GRIB 2 message whose forecast time is in an unknown unit",
       [](const ScratchDir& d, const std::string& g) {
         grib(d, edit_sections(g, [](std::string& b, std::size_t pos, int section) {
           if (section == 4) b[pos + 17] = 69;
         }));
       },
       plain, {"in.grib: message 1 (at byte 0): the unit of its forecast time (69, section 4)"}},
      // Grids that cannot be placed: the run description gives the corners
      // and increments in thousandths of a degree, and a case's columns go
      // east one step at a time.
      {"netCDF latitudes 1e-30 degrees apart",
       [](const ScratchDir& d, const std::string&) {
         std::vector<double> lat;
         for (int j = 0; j < jm; ++j) lat.push_back(1e-30 * (jm - 1 - j));
         netcdf_with_coordinate(dir_->path(), d / "in.nc", "latitude", lat);
       },
       {"out", "in.nc"}, {"in.nc: ", "latitude", "1e-30 degrees apart", "0 in thousandths of a degree"}},
      {"netCDF longitudes 0, 200, 400, ... (not one sequence round the earth)",
       [](const ScratchDir& d, const std::string&) {
         make_case(d / "four", 4, jm, 40.0, 0.0, 1.0, lm);
         netcdf_with_coordinate(d / "four", d / "in.nc", "longitude", {0, 200, 400, 600});
       },
       {"out", "in.nc"}, {"in.nc: ", "longitude (0, 200, 400, 600)", "not one monotonic sequence", "480"}},
      {"a GRIB grid whose increment along i disagrees with its first and last longitude",
       [](const ScratchDir& d, const std::string& g) { grib(d, stating(g, "iDirectionIncrementInDegrees", 30.0)); },
       plain, {"in.grib message 1 ", "increment of 30 degrees along i", "12 columns from longitude 0 to 11 are 1 "}},
      {"a GRIB grid whose increment along j disagrees with its first and last latitude",
       [](const ScratchDir& d, const std::string& g) { grib(d, stating(g, "jDirectionIncrementInDegrees", 0.5)); },
       plain, {"in.grib message 1 ", "increment of 0.5 degrees along j", "8 rows from latitude 47 to 40 are 1 "}},
      {"a GRIB grid whose columns are 0.0001 degrees apart",
       [](const ScratchDir& d, const std::string& g) {
         grib(d, rewrite(g, [](Message& m) {
           m.set("longitudeOfLastGridPointInDegrees", 0.0011);
           m.set("iDirectionIncrementInDegrees", 0.0001);
           return true;
         }));
       },
       plain, {"in.grib message 1 ", "12 columns from longitude 0 to 0.0011 are 1e-04 degrees apart",
               "0 in thousandths of a degree"}},
      // Names that lead elsewhere than to a file.
      {"a FIFO as the input file",
       [](const ScratchDir& d, const std::string&) { ASSERT_EQ(::mkfifo((d / "in.grib").c_str(), 0600), 0); },
       plain, {"in.grib: not a regular file"}},
      {"a character device as the input file",
       [](const ScratchDir& d, const std::string&) { ASSERT_EQ(::symlink("/dev/zero", (d / "in.grib").c_str()), 0); },
       plain, {"in.grib: not a regular file"}},
      {"a directory as the input file",
       [](const ScratchDir& d, const std::string&) { ASSERT_EQ(::mkdir((d / "in.grib").c_str(), 0700), 0); },
       plain, {"in.grib: a directory, not a GRIB or netCDF file"}},
      // Field tables that are not ones.
      {"a table line with a paramId that is not a number",
       [](const ScratchDir& d, const std::string& g) {
         grib(d, g);
         write_file(d / "mine.table", "# mine\nz 12x isobaricInhPa\n");
       },
       with_table, {"mine.table line 2: the paramId '12x' is not a whole number"}},
      {"a table that is a directory",
       [](const ScratchDir& d, const std::string& g) {
         grib(d, g);
         ASSERT_EQ(::mkdir((d / "mine.table").c_str(), 0700), 0);
       },
       with_table, {"mine.table: cannot read the field table: a directory, not a file"}},
      {"a table that is a FIFO",
       [](const ScratchDir& d, const std::string& g) {
         grib(d, g);
         ASSERT_EQ(::mkfifo((d / "mine.table").c_str(), 0600), 0);
       },
       with_table, {"mine.table: cannot read the field table: not a regular file"}},
      {"a table of 17 MiB",
       [](const ScratchDir& d, const std::string& g) {
         grib(d, g);
         write_file(d / "mine.table", "");
         ASSERT_EQ(::truncate((d / "mine.table").c_str(), 17 << 20), 0);
       },
       with_table, {"mine.table: 17825792 bytes, more than the limit of 16777216 bytes for the field table"}},
      // netCDF headers that lie.
      {"a netCDF variable whose dimensions claim more bytes than the file holds",
       [](const ScratchDir& d, const std::string&) {
         NcLayout l;
         l.format = NC_64BIT_OFFSET;
         case_as_netcdf(dir_->path(), d / "in.nc", l);
         const std::string b = read_file(d / "in.nc");
         write_file(d / "in.nc", b.substr(0, b.size() - 100));
       },
       {"out", "in.nc"}, {"in.nc: variable ", "bytes from byte", "more than the file of", "truncated"}},
      {"a netCDF time coordinate with unknown units",
       [](const ScratchDir& d, const std::string&) {
         NcLayout l;
         l.time_units = "fortnights since 2000-01-01";
         l.time_values = {3};
         case_as_netcdf(dir_->path(), d / "in.nc", l);
       },
       {"out", "in.nc"}, {"in.nc", "has the units 'fortnights since 2000-01-01'"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir work;
    row.make(work, grib_);
    std::vector<std::string> args = {"ingest"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    testsupport::RunLimits limits;
    limits.seconds = 60;
    const auto run = testsupport::run_with_open_stdin(CONV2MODEL, work.path(), args, limits);
    ASSERT_FALSE(run.timed_out) << "still running after 60 s";
    const auto& r = run.result;
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err.rfind("conv2model ingest: ", 0), 0u) << r.err;
    for (const std::string& s : row.said) EXPECT_NE(r.err.find(s), std::string::npos) << "no \"" << s << "\" in\n" << r.err;
    EXPECT_LT(r.err.size(), 1000u) << r.err;
    EXPECT_FALSE(file_exists(work / "out"));
  }
}

}  // namespace
