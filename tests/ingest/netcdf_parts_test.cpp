// The parts of the netCDF reading, in process: the formats told from the
// first bytes, the classic header read and checked before libnetcdf sees
// it (what libnetcdf wrote, and corruptions of it), and nc:NAME entries of
// the field table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netcdf.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "plan/field_table.hpp"
#include "source/netcdf_classic.hpp"
#include "source/netcdf_source.hpp"
#include "support/scratch.hpp"
#include "textio/errors.hpp"

using namespace c2m::ingest;
using testsupport::read_file;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

void check(int status) {
  if (status != NC_NOERR) throw std::runtime_error(nc_strerror(status));
}

TEST(NetcdfFormat, ToldFromTheFirstBytes) {
  const std::pair<std::string, std::optional<NetcdfFormat>> rows[] = {
      {std::string("CDF\x01", 4), NetcdfFormat::classic},
      {std::string("CDF\x02", 4), NetcdfFormat::offset64},
      {std::string("CDF\x05", 4), NetcdfFormat::data64},
      {std::string("\x89HDF\r\n\x1a\n", 8), NetcdfFormat::hdf5},
      {std::string("CDF\x03", 4), std::nullopt},
      {std::string("CD", 2), std::nullopt},
      {std::string("\x89HDF\r\n", 6), std::nullopt},
      {"GRIB", std::nullopt},
  };
  for (const auto& [head, format] : rows)
    EXPECT_EQ(netcdf_format(reinterpret_cast<const unsigned char*>(head.data()), head.size()), format) << head;
}

// A file of a record dimension time (3 records), lat (2) and a global
// attribute; variables x(time, lat) float, y(time) short (two record
// variables, so records are padded), lat(lat) double, and a scalar s int
// with an attribute of 5 characters.
std::string small_file(const std::string& path, int mode) {
  int nc = -1, t = -1, l = -1, x = -1, y = -1, lat = -1, s = -1;
  check(nc_create(path.c_str(), mode | NC_CLOBBER, &nc));
  check(nc_def_dim(nc, "time", NC_UNLIMITED, &t));
  check(nc_def_dim(nc, "lat", 2, &l));
  check(nc_put_att_text(nc, NC_GLOBAL, "title", 3, "abc"));
  const int xd[2] = {t, l};
  check(nc_def_var(nc, "x", NC_FLOAT, 2, xd, &x));
  check(nc_def_var(nc, "y", NC_SHORT, 1, &t, &y));
  check(nc_def_var(nc, "lat", NC_DOUBLE, 1, &l, &lat));
  check(nc_def_var(nc, "s", NC_INT, 0, nullptr, &s));
  check(nc_put_att_text(nc, s, "units", 5, "hello"));
  check(nc_enddef(nc));
  const float xs[6] = {1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f};
  const short ys[3] = {7, 8, 9};
  const double lats[2] = {10.25, 20.5};
  const int sv = 42;
  const std::size_t start[2] = {0, 0}, count[2] = {3, 2};
  check(nc_put_vara_float(nc, x, start, count, xs));
  check(nc_put_vara_short(nc, y, start, count, ys));
  check(nc_put_var_double(nc, lat, lats));
  check(nc_put_var_int(nc, s, &sv));
  check(nc_close(nc));
  return read_file(path);
}

ClassicHeader header_of(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  return read_classic_header(path, fd, static_cast<std::int64_t>(::lseek(fd, 0, SEEK_END)));
}

std::uint64_t be(const std::string& b, std::int64_t at, int n) {
  std::uint64_t v = 0;
  for (int k = 0; k < n; ++k) v = (v << 8) | static_cast<unsigned char>(b[static_cast<std::size_t>(at + k)]);
  return v;
}

TEST(ClassicHeader, ReadsWhatLibnetcdfWroteInEachFormat) {
  for (const auto& [mode, version] : {std::pair{NC_CLASSIC_MODEL, 1}, {NC_64BIT_OFFSET, 2}, {NC_64BIT_DATA, 5}}) {
    ScratchDir dir;
    const std::string path = dir / "f.nc";
    const std::string bytes = small_file(path, mode);
    const ClassicHeader h = header_of(path);
    EXPECT_EQ(h.version, version);
    EXPECT_EQ(h.records, 3);
    ASSERT_EQ(h.dims.size(), 2u);
    EXPECT_EQ(h.dims[0].name, "time");
    EXPECT_TRUE(h.dims[0].record);
    EXPECT_EQ(h.dims[1].name, "lat");
    EXPECT_EQ(h.dims[1].length, 2);
    ASSERT_EQ(h.vars.size(), 4u);
    const ClassicVariable &x = h.vars[0], &y = h.vars[1], &lat = h.vars[2], &s = h.vars[3];
    EXPECT_EQ(x.name, "x");
    EXPECT_TRUE(x.record);
    EXPECT_EQ(x.bytes, 8);
    EXPECT_EQ(y.bytes, 2);
    EXPECT_EQ(lat.bytes, 16);
    EXPECT_EQ(s.bytes, 4);
    EXPECT_FALSE(s.record);
    EXPECT_LE(h.header_bytes, lat.begin);
    // Each variable's first value where its begin says (big-endian).
    float x0 = 0;
    const auto xb = static_cast<std::uint32_t>(be(bytes, x.begin, 4));
    std::memcpy(&x0, &xb, 4);
    EXPECT_EQ(x0, 1.5f) << version;
    EXPECT_EQ(be(bytes, y.begin, 2), 7u) << version;
    EXPECT_EQ(be(bytes, s.begin, 4), 42u) << version;
    // The third record of y: records hold x (8 bytes) and y (2, padded to 4).
    EXPECT_EQ(be(bytes, y.begin + 2 * 12, 2), 9u) << version;
  }
}

struct Corruption {
  const char* name;
  std::function<void(std::string&)> edit;  // of a CDF-1 file of small_file()
  const char* said;
  bool short_file = false;
  bool size = false;
};

void put(std::string& b, std::size_t at, std::uint32_t v) {
  for (std::size_t k = 0; k < 4; ++k) b[at + k] = static_cast<char>((v >> (24 - 8 * k)) & 0xff);
}

TEST(ClassicHeader, CorruptHeadersAreRefusedBeforeAnythingIsAllocated) {
  // CDF-1: magic 0, records 4, dimension tag 8, count 12, "time" 16..27
  // (length 24), "lat" 28..39 (length 36), attributes tag 40, count 44,
  // title: name 48..59, type 60, count 64, "abc" 68; variables tag 72,
  // count 76, variable x: name 80..87, rank 88, dimids 92 and 96,
  // attributes 100 and 104, type 108, size 112, begin 116.
  ScratchDir dir;
  const std::string good = small_file(dir / "f.nc", NC_CLASSIC_MODEL);
  ASSERT_EQ(be(good, 12, 4), 2u);
  ASSERT_EQ(good.substr(20, 4), "time");
  ASSERT_EQ(be(good, 76, 4), 4u);
  ASSERT_EQ(be(good, 108, 4), 5u);
  const Corruption rows[] = {
      {"cut inside the header", [](std::string& b) { b.resize(50); }, "the number of attributes is 1, more than the 2 bytes left", true},
      {"cut inside the number of records", [](std::string& b) { b.resize(6); }, "the netCDF header ends with the file", true},
      {"two thousand million dimensions", [](std::string& b) { put(b, 12, 0x7fffffff); },
       "the number of dimensions is 2147483647, more than the", true},
      {"a count beyond 31 bits", [](std::string& b) { put(b, 12, 0xfffffffe); }, "beyond any the format allows"},
      {"a name of a thousand million characters", [](std::string& b) { put(b, 16, 1000000000); },
       "the length of dimension 1 is 1000000000", true},
      {"a name of 300 characters", [](std::string& b) {
         put(b, 16, 300);
         b += std::string(1000, '\0');
       }, "has 300 characters"},
      {"an attribute of a thousand million values", [](std::string& b) { put(b, 64, 1000000000); },
       "the number of values of attribute 1 of the file", true},
      {"an attribute of type 9 in CDF-1", [](std::string& b) { put(b, 60, 9); }, "has the type 9"},
      {"a list of the wrong tag", [](std::string& b) { put(b, 72, 13); }, "has the tag 13"},
      {"a variable on dimension 7", [](std::string& b) { put(b, 96, 7); }, "names dimension 7 of 2"},
      {"the record dimension second", [](std::string& b) {
         put(b, 92, 1);
         put(b, 96, 0);
       }, "has the record dimension time other than first"},
      {"a second record dimension", [](std::string& b) { put(b, 36, 0); }, "a second record dimension"},
      {"a variable of type 0", [](std::string& b) { put(b, 108, 0); }, "has the type 0"},
      {"a variable beginning inside the header", [](std::string& b) { put(b, 116, 8); }, "inside the header"},
      {"a variable beginning beyond the end", [](std::string& b) { put(b, 116, 0x7ffffff0); },
       "variable x claims 3 records of 8 bytes from byte 2147483632", false, true},
      {"more records than the file holds", [](std::string& b) { put(b, 4, 1000000); }, "claims 1000000 records",
       false, true},
      {"a streaming record count", [](std::string& b) { put(b, 4, 0xffffffff); }, "written as a stream"},
      {"a dimension of two thousand million", [](std::string& b) { put(b, 36, 0x7fffffff); },
       "variable x claims 3 records of 8589934588 bytes", false, true},
  };
  for (const Corruption& row : rows) {
    std::string b = good;
    row.edit(b);
    write_file(dir / "bad.nc", b);
    try {
      header_of(dir / "bad.nc");
      ADD_FAILURE() << row.name << ": not refused";
    } catch (const c2m::IoFailure& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(dir / "bad.nc"), std::string::npos) << row.name << ": " << what;
      EXPECT_NE(what.find(row.said), std::string::npos) << row.name << ": " << what;
      EXPECT_EQ(dynamic_cast<const c2m::ShortFile*>(&e) != nullptr, row.short_file) << row.name;
      EXPECT_EQ(dynamic_cast<const c2m::SizeFailure*>(&e) != nullptr, row.size) << row.name;
    }
  }
}

FieldInfo netcdf_field(const std::string& variable, long param, const std::string& level_type) {
  FieldInfo f;
  f.variable = f.short_name = variable;
  f.param_id = param;
  f.level_type = level_type;
  return f;
}

TEST(FieldTable, NetcdfVariablesByName) {
  FieldTable t = FieldTable::built_in();
  t.add_text("stl1 nc:soil_t_1 *\nswvl2 nc:sm2 surface 0.001\nlsm nc:t *\n", "my.table");
  struct Row {
    FieldInfo f;
    std::optional<std::string> field;  // the entry's field, or nothing taken
  };
  const Row rows[] = {
      {netcdf_field("soil_t_1", 0, "surface"), "stl1"},
      {netcdf_field("sm2", 0, "surface"), "swvl2"},
      {netcdf_field("sm2", 0, "depthBelowLandLayer"), std::nullopt},  // not its kind of level
      {netcdf_field("t", 130, "surface"), "lsm"},                     // the name wins over the parameter
      {netcdf_field("q", 133, "isobaricInhPa"), std::nullopt},        // no pressure: no upper-air field
      {netcdf_field("x_msl", 151, "surface"), "msl"},                 // by its parameter, as GRIB
  };
  for (const Row& r : rows) {
    const auto n = t.match(r.f);
    ASSERT_EQ(n.has_value(), r.field.has_value()) << r.f.variable << " " << r.f.level_type;
    if (n) {
      EXPECT_EQ(field_name(t[*n].what, t[*n].layer), *r.field) << r.f.variable;
    }
  }
  // A GRIB message of paramId 0 is no netCDF variable.
  FieldInfo grib;
  grib.param_id = 0;
  grib.level_type = "surface";
  EXPECT_FALSE(t.match(grib));

  // A later file replaces the entry of the same variable and kind of level.
  t.add_text("stl2 nc:soil_t_1 *\n", "other.table");
  EXPECT_EQ(field_name(t[*t.match(netcdf_field("soil_t_1", 0, "surface"))].what,
                       t[*t.match(netcdf_field("soil_t_1", 0, "surface"))].layer),
            "stl2");
  EXPECT_EQ(t[*t.match(netcdf_field("sm2", 0, "surface"))].origin, "my.table line 2");

  for (const char* bad : {"stl1 nc: *", "stl1 nc:a\x01 *", "stl1 soil_t_1 *"}) {
    FieldTable u = FieldTable::built_in();
    EXPECT_THROW(u.add_text(bad, "bad.table"), c2m::IoFailure) << bad;
  }
}

}  // namespace
