// A synthetic case written as netCDF, in both layouts ERA5 files have had
// and the variations of real files, ingested: the same input grid file as
// the GRIB route from the same values (bit for bit from 4-byte reals but
// for the pressures, which ERA5 states in Pa; within the packing's
// precision from 16-bit integers), mixed with GRIB, several times, CF
// standard names; and the refusals, hostile headers among them.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

#include "grib_files.hpp"
#include "layout/records.hpp"
#include "netcdf_files.hpp"

using namespace ingesttest;
using testsupport::file_exists;
using testsupport::read_file;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr int im = 20, jm = 12, lm = 6;
constexpr std::int64_t points = im * jm;
constexpr float undefined = 9.999e20f;
constexpr const char* date = "2026120806";

std::string grid_and_levels(const std::string& path) {
  const std::string t = read_file(path);
  return t.substr(t.find('\n') + 1);
}

void check(int status) {
  if (status != NC_NOERR) throw std::runtime_error(nc_strerror(status));
}

class Netcdf : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    // 35N to 40.5N, 5W to 4.5E: across the Greenwich meridian.
    make_case(dir_->path(), im, jm, 35.0, -5.0, 0.5, lm);
    grib_ = case_as_grib(dir_->path());
    write_file(*dir_ / "in.grib", grib_);
    // The GRIB route, with each way of making the humidity.
    for (const bool as_is : {true, false}) {
      std::vector<std::string> args = {"ingest", "--quiet"};
      if (as_is) args.insert(args.end(), {"--rh", "as-is", "--humidity", "physical"});
      args.insert(args.end(), {as_is ? "grib-as-is" : "grib-convert", "in.grib"});
      const auto r = conv2model(dir_->path(), args);
      if (r.status != 0) throw std::runtime_error(r.err);
    }
  }
  static void TearDownTestSuite() { delete dir_; }

  static std::string case_dir() { return dir_->path(); }
  static std::string grib_route(bool as_is) { return read_file(*dir_ / (as_is ? "grib-as-is/case.bin" : "grib-convert/case.bin")); }

  static ScratchDir* dir_;
  static std::string grib_;
};

ScratchDir* Netcdf::dir_ = nullptr;
std::string Netcdf::grib_;

// How closely a record must come back.
enum class Within {
  bits,      // bit for bit
  pressure,  // msl and sp, which pass through 4-byte reals in Pa: within two steps of a 4-byte real
  packing,   // half a step of 16-bit packing over the variable's range, and 4-byte rounding
  gravity,   // geopotential through metres and back: within 3e-7 of the value
};

// The largest difference of records A and B that passes; undefined points
// must be undefined in both, always.
float allowed(Within w, const std::vector<float>& a, std::int64_t record, float range) {
  const bool pressure = record == c2m::layout::input_surface_record(c2m::layout::sfc::msl, lm) ||
                        record == c2m::layout::input_surface_record(c2m::layout::sfc::sp, lm);
  float top = 0;
  for (const float v : a)
    if (v != undefined) top = std::max(top, std::fabs(v));
  switch (w) {
    case Within::bits: return 0;
    case Within::pressure: return pressure ? 2.5e-7f * top : 0.0f;
    case Within::packing: return range / 65533.0f * 0.5f + 2.5e-7f * top;
    case Within::gravity: return 3e-7f * top + (pressure ? 2.5e-7f * top : 0.0f);
  }
  return 0;
}

void expect_same_case(const std::string& expected, const std::string& got, Within w, const std::string& name) {
  ASSERT_EQ(got.size(), expected.size()) << name;
  const std::int64_t records = c2m::layout::input_record_count(lm);
  // The range of each variable over its levels, as the packing takes it.
  std::vector<float> range(static_cast<std::size_t>(records + 1), 0.0f);
  for (std::int64_t n = 1; n <= records; ++n) {
    const bool upper = n <= 6 * lm;
    const std::int64_t first = upper ? (n - 1) / lm * lm + 1 : n, last = upper ? first + lm - 1 : n;
    float lo = INFINITY, hi = -INFINITY;
    for (std::int64_t m = first; m <= last; ++m)
      for (const float v : record(expected, points, m))
        if (v != undefined) lo = std::min(lo, v), hi = std::max(hi, v);
    range[static_cast<std::size_t>(n)] = hi > lo ? hi - lo : 0.0f;
  }
  for (std::int64_t n = 1; n <= records; ++n) {
    const auto a = record(expected, points, n), b = record(got, points, n);
    const float tol = allowed(w, a, n, range[static_cast<std::size_t>(n)]);
    for (std::size_t k = 0; k < a.size(); ++k) {
      if (a[k] == undefined || b[k] == undefined) {
        ASSERT_EQ(b[k], a[k]) << name << ": record " << n << " point " << k << ": undefined points differ";
        continue;
      }
      if (tol == 0) ASSERT_EQ(std::bit_cast<std::uint32_t>(b[k]), std::bit_cast<std::uint32_t>(a[k]))
          << name << ": record " << n << " point " << k << ": " << b[k] << " for " << a[k];
      else ASSERT_LE(std::fabs(b[k] - a[k]), tol) << name << ": record " << n << " point " << k;
    }
  }
}

struct Variant {
  const char* name;
  NcLayout layout;
  Within within = Within::pressure;
  bool split = false;         // pressure levels and surface in two netCDF files
  bool grib_surface = false;  // the surface from the GRIB file
  std::vector<std::string> options = {};
  const char* report_has = "";
};

NcLayout packed() {
  NcLayout l;
  l.packed = true;
  l.longitudes_0_360 = true;
  return l;
}

template <class Edit>
NcLayout with(NcLayout l, Edit edit) {
  edit(l);
  return l;
}

TEST_F(Netcdf, TheSameInputGridFileAsTheGribRoute) {
  const Variant variants[] = {
      {"ERA5, newer layout (netCDF-4, 4-byte reals, seconds since 1970)", {}, Within::pressure, false, false, {},
       "netCDF-4, 18 variables, 48 fields"},
      {"ERA5, older layout (16-bit packed, hours since 1900, longitudes 0..360)", packed(), Within::packing, false,
       false, {}, "netCDF 64-bit offset"},
      {"pressure levels and surface in two files, as ERA5 delivers them",
       with(NcLayout{}, [](NcLayout& l) { l.longitudes_0_360 = true; }), Within::pressure, true},
      {"netCDF pressure levels, GRIB surface", {}, Within::bits, false, true},
      {"rows south to north", with(NcLayout{}, [](NcLayout& l) { l.rows_south_to_north = true; })},
      {"older layout, rows south to north", with(packed(), [](NcLayout& l) { l.rows_south_to_north = true; }),
       Within::packing},
      {"longitude before latitude", with(NcLayout{}, [](NcLayout& l) { l.lon_before_lat = true; })},
      {"level after the grid", with(NcLayout{}, [](NcLayout& l) { l.level_after_grid = true; })},
      {"levels in Pa", with(NcLayout{}, [](NcLayout& l) { l.levels_in_pa = true; })},
      {"a first dimension expver of length 1", with(NcLayout{}, [](NcLayout& l) { l.expver = true; })},
      {"classic format", with(NcLayout{}, [](NcLayout& l) { l.format = NC_CLASSIC_MODEL; }), Within::pressure,
       false, false, {}, "netCDF classic"},
      {"64-bit data format", with(NcLayout{}, [](NcLayout& l) { l.format = NC_64BIT_DATA; }), Within::pressure,
       false, false, {}, "netCDF 64-bit data"},
      {"CF standard names, soil layers by name in --table",
       with(NcLayout{}, [](NcLayout& l) { l.standard_names = true; }), Within::gravity, false, false,
       {"--table", "soil.table"}, "in.nc:x_z (156)"},
      {"humidity converted from q (the default)", {}, Within::pressure, false, false, {"--rh", "convert"}},
  };
  for (const Variant& v : variants) {
    ScratchDir work;
    write_file(work / "soil.table", soil_table());
    std::vector<std::string> args = {"ingest"};
    const bool as_is = std::find(v.options.begin(), v.options.end(), "convert") == v.options.end();
    if (as_is) args.insert(args.end(), {"--rh", "as-is", "--humidity", "physical"});
    args.insert(args.end(), v.options.begin(), v.options.end());
    args.push_back("out");
    if (v.split || v.grib_surface) {
      NcLayout upper = v.layout;
      upper.part = NcLayout::Part::upper;
      case_as_netcdf(case_dir(), work / "pl.nc", upper);
      args.push_back("pl.nc");
      if (v.grib_surface) {
        write_file(work / "sfc.grib", rewrite(grib_, [](Message& m) { return m.get_string("typeOfLevel") != "isobaricInhPa"; }));
        args.push_back("sfc.grib");
      } else {
        NcLayout surface = v.layout;
        surface.part = NcLayout::Part::surface;
        case_as_netcdf(case_dir(), work / "sfc.nc", surface);
        args.push_back("sfc.nc");
      }
    } else {
      case_as_netcdf(case_dir(), work / "in.nc", v.layout);
      args.push_back("in.nc");
    }
    const auto r = conv2model(work.path(), args);
    ASSERT_EQ(r.status, 0) << v.name << "\n" << r.err;
    expect_same_case(grib_route(as_is), read_file(work / "out/case.bin"), v.within, v.name);
    EXPECT_EQ(grid_and_levels(work / "out/InputModelInf.txt"), grid_and_levels(*dir_ / "grib-as-is/InputModelInf.txt"))
        << v.name;
    EXPECT_EQ(read_file(work / "out/adate.txt"), std::string(date) + "\n") << v.name;
    EXPECT_NE(r.out.find(v.report_has), std::string::npos) << v.name << "\n" << r.out;
  }
}

TEST_F(Netcdf, PackedFillValuesAndFloatNansAreUndefinedPoints) {
  // The soil fields of the case are undefined over the sea.
  const std::string expected = read_file(*dir_ / "case.bin");
  const std::int64_t swvl1 = c2m::layout::input_surface_record(c2m::layout::sfc::swvl1, lm);
  std::size_t undefined_points = 0;
  for (const float v : record(expected, points, swvl1)) undefined_points += v == undefined;
  ASSERT_GT(undefined_points, 10u);
  for (const bool is_packed : {true, false}) {
    ScratchDir work;
    case_as_netcdf(case_dir(), work / "in.nc", is_packed ? packed() : NcLayout{});
    const auto r = conv2model(work.path(), {"ingest", "--quiet", "out", "in.nc"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string got = read_file(work / "out/case.bin");
    for (std::int64_t n = 1; n <= c2m::layout::input_record_count(lm); ++n) {
      const auto a = record(expected, points, n), b = record(got, points, n);
      for (std::size_t k = 0; k < a.size(); ++k)
        ASSERT_EQ(a[k] == undefined, b[k] == undefined) << (is_packed ? "packed" : "reals") << " record " << n << " point " << k;
    }
  }
}

TEST_F(Netcdf, SeveralTimesOneChosenAndInvariantFieldsAtEveryTime) {
  ScratchDir work;
  NcLayout upper;
  upper.part = NcLayout::Part::upper;
  upper.dates = {"2026120800", date, "2026120812"};
  case_as_netcdf(case_dir(), work / "pl.nc", upper);
  NcLayout invariant;
  invariant.part = NcLayout::Part::surface;
  invariant.no_time = true;
  case_as_netcdf(case_dir(), work / "sfc.nc", invariant);

  auto r = conv2model(work.path(), {"ingest", "out", "pl.nc", "sfc.nc"});
  EXPECT_EQ(r.status, 2);
  for (const char* part : {"valid at 3 times", "2026120800", "2026120806", "2026120812", "--time"})
    EXPECT_NE(r.err.find(part), std::string::npos) << part << "\n" << r.err;
  EXPECT_FALSE(file_exists(work / "out"));

  r = conv2model(work.path(), {"ingest", "--quiet", "--rh", "as-is", "--humidity", "physical", "--time", date, "out", "pl.nc", "sfc.nc"});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_same_case(grib_route(true), read_file(work / "out/case.bin"), Within::pressure, "several times");

  // An invariant file alone states no time, unless --time does.
  r = conv2model(work.path(), {"ingest", "--quiet", "alone", "sfc.nc"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("sfc.nc: its variables have no time axis"), std::string::npos) << r.err;
}

TEST_F(Netcdf, TheCentreOfRelativeHumidityFromTheAttributesOrCentre) {
  // Without q, relative humidity comes from r, over the centre's mixture
  // of water and ice.  The older layout names no institution.
  struct Row {
    const char* name;
    bool older;
    std::vector<std::string> options;
    const char* said;
  };
  const Row rows[] = {
      {"newer layout: institution ECMWF", false, {}, "ECMWF mixed phase to over water"},
      {"older layout: no institution", true, {}, "taken as over water, unchanged"},
      {"older layout, --centre ecmwf", true, {"--centre", "ecmwf"}, "ECMWF mixed phase to over water"},
      {"newer layout, --centre ncep", false, {"--centre", "ncep"}, "NCEP mixed phase to over water"},
      {"newer layout, --centre none", false, {"--centre", "none"}, "taken as over water, unchanged"},
  };
  for (const Row& row : rows) {
    ScratchDir work;
    NcLayout l = row.older ? packed() : NcLayout{};
    l.leave_out = {"q"};
    case_as_netcdf(case_dir(), work / "in.nc", l);
    std::vector<std::string> args = {"ingest"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.insert(args.end(), {"out", "in.nc"});
    const auto r = conv2model(work.path(), args);
    ASSERT_EQ(r.status, 0) << row.name << "\n" << r.err;
    EXPECT_NE(r.out.find(row.said), std::string::npos) << row.name << "\n" << r.out;
  }
  ScratchDir work;
  EXPECT_EQ(conv2model(work.path(), {"ingest", "--centre", "dwd", "out", "in.nc"}).status, 2);
}

TEST_F(Netcdf, TimeCoordinatesInTheirUnitsAndCalendars) {
  struct Row {
    const char* units;
    double value;
    const char* calendar;
    const char* adate;  // empty: refused, saying SAID
    const char* said = "";
  };
  const Row rows[] = {
      {"days since 2026-12-01", 7.25, "standard", "2026120806"},
      {"minutes since 2026-12-08T00:00:00Z", 360, "gregorian", "2026120806"},
      {"hours since 2026-12-08 03:00:00 -03:00", 0, "proleptic_gregorian", "2026120806"},
      {"seconds since 1970-01-01 00:00:00 UTC", 1796709600, "", "2026120806"},
      {"hours since 1-1-1 00:00:0.0", 17758974, "proleptic_gregorian", "2026120806"},
      {"fortnights since 2000-01-01", 3, "standard", "", "has the units 'fortnights since 2000-01-01'"},
      {"hours", 3, "standard", "", "not seconds, minutes, hours or days since a date"},
      {"hours since 2026-13-01", 3, "standard", "", "has the units 'hours since 2026-13-01'"},
      {"hours since 2000-01-01", 3, "noleap", "", "calendar 'noleap'"},
      {"days since 1500-01-01", 200000, "standard", "", "before 1582-10-15"},
      {"days since 2000-01-01", 1e300, "standard", "", "far outside years 1 to 9999"},
  };
  for (const Row& row : rows) {
    ScratchDir work;
    NcLayout l;
    l.time_units = row.units;
    l.time_values = {row.value};
    l.calendar = row.calendar;
    case_as_netcdf(case_dir(), work / "in.nc", l);
    const auto r = conv2model(work.path(), {"ingest", "--quiet", "out", "in.nc"});
    if (*row.adate) {
      ASSERT_EQ(r.status, 0) << row.units << "\n" << r.err;
      EXPECT_EQ(read_file(work / "out/adate.txt"), std::string(row.adate) + "\n") << row.units;
    } else {
      EXPECT_EQ(r.status, 2) << row.units;
      EXPECT_NE(r.err.find(row.said), std::string::npos) << row.units << "\n" << r.err;
      EXPECT_NE(r.err.find("in.nc: "), std::string::npos) << r.err;
      EXPECT_FALSE(file_exists(work / "out")) << row.units;
    }
  }
}

// Small files made directly, for what the case writer cannot make.
struct Tiny {
  int mode = NC_CLASSIC_MODEL;
  std::size_t nlat = 3, nlon = 4, nlevel = 0, ntime = 1;
  std::vector<std::string> vars = {"t2m"};  // on (time, [level,] latitude, longitude)
  bool write_data = true;
};

void tiny(const std::string& path, const Tiny& t) {
  int nc = -1, lat = -1, lon = -1, lev = -1, tim = -1, v = -1;
  check(nc_create(path.c_str(), t.mode | NC_CLOBBER, &nc));
  check(nc_def_dim(nc, "time", t.ntime, &tim));
  if (t.nlevel) check(nc_def_dim(nc, "level", t.nlevel, &lev));
  check(nc_def_dim(nc, "latitude", t.nlat, &lat));
  check(nc_def_dim(nc, "longitude", t.nlon, &lon));
  int tv = -1, lav = -1, lov = -1, lev_v = -1;
  check(nc_def_var(nc, "time", NC_DOUBLE, 1, &tim, &tv));
  check(nc_put_att_text(nc, tv, "units", 22, "hours since 2026-12-08"));
  check(nc_def_var(nc, "latitude", NC_DOUBLE, 1, &lat, &lav));
  check(nc_put_att_text(nc, lav, "units", 13, "degrees_north"));
  check(nc_def_var(nc, "longitude", NC_DOUBLE, 1, &lon, &lov));
  check(nc_put_att_text(nc, lov, "units", 12, "degrees_east"));
  if (t.nlevel) {
    check(nc_def_var(nc, "level", NC_DOUBLE, 1, &lev, &lev_v));
    check(nc_put_att_text(nc, lev_v, "units", 3, "hPa"));
  }
  std::vector<int> dims = {tim};
  if (t.nlevel) dims.push_back(lev);
  dims.insert(dims.end(), {lat, lon});
  for (const std::string& name : t.vars)
    check(nc_def_var(nc, name.c_str(), NC_FLOAT, static_cast<int>(dims.size()), dims.data(), &v));
  check(nc_enddef(nc));
  if (t.write_data) {
    std::vector<double> lats(t.nlat), lons(t.nlon), levels(t.nlevel), times(t.ntime);
    for (std::size_t k = 0; k < t.nlat; ++k) lats[k] = 50.0 - static_cast<double>(k);
    for (std::size_t k = 0; k < t.nlon; ++k) lons[k] = static_cast<double>(k);
    for (std::size_t k = 0; k < t.nlevel; ++k) levels[k] = 1000.0 - static_cast<double>(k) * 1e-5;
    for (std::size_t k = 0; k < t.ntime; ++k) times[k] = static_cast<double>(k);
    check(nc_put_var_double(nc, lav, lats.data()));
    check(nc_put_var_double(nc, lov, lons.data()));
    check(nc_put_var_double(nc, tv, times.data()));
    if (t.nlevel) check(nc_put_var_double(nc, lev_v, levels.data()));
    std::vector<float> data(t.ntime * std::max<std::size_t>(t.nlevel, 1) * t.nlat * t.nlon, 280.0f);
    for (const std::string& name : t.vars) {
      check(nc_inq_varid(nc, name.c_str(), &v));
      check(nc_put_var_float(nc, v, data.data()));
    }
  }
  check(nc_close(nc));
}

// The byte at which the length of dimension NAME is stated in a classic
// header (its name, padded, and then its length).
std::size_t dimension_length_at(const std::string& bytes, const std::string& name) {
  std::string marker(4, '\0');
  for (int k = 0; k < 4; ++k) marker[static_cast<std::size_t>(k)] = static_cast<char>((name.size() >> (24 - 8 * k)) & 0xff);
  const std::size_t at = bytes.find(marker + name);
  if (at == std::string::npos) throw std::runtime_error("no dimension " + name);
  return at + 4 + (name.size() + 3) / 4 * 4;
}

void put_be32(std::string& b, std::size_t at, std::uint32_t v) {
  for (std::size_t k = 0; k < 4; ++k) b[at + k] = static_cast<char>((v >> (24 - 8 * k)) & 0xff);
}

struct Refusal {
  const char* name;
  std::function<void(const std::string& dir)> make;  // writes in.nc (and more) in DIR
  std::vector<std::string> said;
  std::vector<std::string> files = {"in.nc"};
};

TEST_F(Netcdf, RefusedNamingTheFileTheVariableAndTheCause) {
  const Refusal rows[] = {
      {"none of the variables a case needs",
       [](const std::string& d) { tiny(d + "/in.nc", Tiny{NC_CLASSIC_MODEL, 3, 4, 0, 1, {"t2m", "d2m"}}); },
       {"no field of the files is one that the field table takes", "t2m (no known parameter) on surface",
        "d2m (no known parameter)"}},
      {"a variable on a different grid",
       [&](const std::string& d) {
         NcLayout upper;
         upper.part = NcLayout::Part::upper;
         case_as_netcdf(case_dir(), d + "/in.nc", upper);
         ScratchDir other;
         make_case(other.path(), im, jm, 36.0, -5.0, 0.5, lm);
         NcLayout surface;
         surface.part = NcLayout::Part::surface;
         case_as_netcdf(other.path(), d + "/sfc.nc", surface);
       },
       {"the fields are not all on one grid", "in.nc variable z (1000 hPa, 2026-12-08 06:00)",
        "sfc.nc variable", "latitudes 41.5 to 36"},
       {"in.nc", "sfc.nc"}},
      {"unevenly spaced latitudes",
       [](const std::string& d) {
         tiny(d + "/in.nc", Tiny{NC_CLASSIC_MODEL, 3, 4, 0, 1, {"msl"}});
         int nc = -1, v = -1;
         check(nc_open((d + "/in.nc").c_str(), NC_WRITE, &nc));
         check(nc_inq_varid(nc, "latitude", &v));
         const std::size_t at = 2;
         const double lat = 47.5;
         check(nc_put_var1_double(nc, v, &at, &lat));
         check(nc_close(nc));
       },
       {"in.nc variable msl", "unevenly spaced latitudes"}},
      {"a dimension claiming more rows than the file holds",
       [](const std::string& d) {
         tiny(d + "/in.nc", Tiny{NC_CLASSIC_MODEL, 3, 4, 0, 1, {"msl"}});
         std::string b = read_file(d + "/in.nc");
         put_be32(b, dimension_length_at(b, "latitude"), 100000);
         write_file(d + "/in.nc", b);
       },
       {"in.nc: variable latitude claims 800000 bytes from byte", "more than the file of"}},
      {"data cut off", [](const std::string& d) {
         tiny(d + "/in.nc", Tiny{NC_64BIT_OFFSET, 30, 40, 0, 1, {"msl", "sp"}});
         const std::string b = read_file(d + "/in.nc");
         write_file(d + "/in.nc", b.substr(0, b.size() - 100));
       },
       {"in.nc: variable sp claims 4800 bytes from byte", "more than the file of", "truncated"}},
      {"a netCDF-4 variable of 20000 x 20000 points never written",
       [](const std::string& d) { tiny(d + "/in.nc", Tiny{NC_NETCDF4, 20000, 20000, 0, 1, {"msl"}, false}); },
       {"in.nc: variable msl claims 1 x 20000 x 20000 values of 4 bytes (1600000000 bytes)", "more than the file of"}},
      {"more levels than the limit",
       [](const std::string& d) { tiny(d + "/in.nc", Tiny{NC_64BIT_OFFSET, 1, 1, 100001, 1, {"t"}}); },
       {"in.nc: dimension level claims 100001 levels, more than the limit of 100000"}},
      {"more times than the limit",
       [](const std::string& d) { tiny(d + "/in.nc", Tiny{NC_64BIT_OFFSET, 1, 1, 0, 100001, {"msl"}}); },
       {"in.nc: dimension time claims 100001 times, more than the limit of 100000"}},
      {"a classic header of nonsense",
       [](const std::string& d) { write_file(d + "/in.nc", std::string("CDF\001 not really a netCDF file")); },
       {"in.nc: netCDF header", "corrupt"}},
      {"an HDF5 mark and nothing else",
       [](const std::string& d) { write_file(d + "/in.nc", std::string("\x89HDF\r\n\x1a\n and then nothing")); },
       {"in.nc: cannot be read as netCDF"}},
      {"a netCDF-4 file on which the HDF5 library crashes (1.10.8, freeing a link table it reads)",
       [](const std::string& d) {
         write_file(d + "/in.nc", read_file(NETCDF_CORPUS "/regression_hdf5_crash_iterating_dense_links"));
       },
       {"in.nc: "}},
      {"neither GRIB nor netCDF",
       [](const std::string& d) { write_file(d + "/in.nc", std::string("just some text\n")); },
       {"in.nc: neither GRIB nor netCDF"}},
  };
  for (const Refusal& row : rows) {
    ScratchDir work;
    row.make(work.path());
    std::vector<std::string> args = {"ingest", "out"};
    args.insert(args.end(), row.files.begin(), row.files.end());
    const auto r = conv2model(work.path(), args);
    EXPECT_EQ(r.status, 2) << row.name << "\n" << r.err;
    for (const std::string& part : row.said)
      EXPECT_NE(r.err.find(part), std::string::npos) << row.name << ": no \"" << part << "\" in\n" << r.err;
    EXPECT_FALSE(file_exists(work / "out")) << row.name;
  }
}

}  // namespace
