// The axes of a netCDF file as the reader takes them, in process, on small
// files written here with libnetcdf: soil layers on a depth axis (with
// bounds, without, in centimetres, out of order), coordinate variables
// named otherwise than their dimension, the levels of a variable that is
// not at the surface, and the GRIB 2 parameters that CDO keeps in a param
// attribute; and the words of a variable passed over.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <functional>
#include <optional>

#include "source/netcdf_source.hpp"
#include "support/scratch.hpp"
#include "textio/errors.hpp"

using namespace c2m::ingest;
using testsupport::ScratchDir;

namespace {

void check(int status) {
  if (status != NC_NOERR) throw std::runtime_error(nc_strerror(status));
}

void text(int nc, int var, const char* name, const std::string& value) {
  check(nc_put_att_text(nc, var, name, value.size(), value.c_str()));
}

// A coordinate variable NAME on DIM holding VALUES, with its attributes.
int coordinate(int nc, const char* name, int dim, std::vector<double> values,
               std::vector<std::pair<const char*, std::string>> atts) {
  int v = -1;
  check(nc_def_var(nc, name, NC_DOUBLE, 1, &dim, &v));
  for (const auto& [a, s] : atts) text(nc, v, a, s);
  check(nc_enddef(nc));
  check(nc_put_var_double(nc, v, values.data()));
  check(nc_redef(nc));
  return v;
}

// A file of 3 latitudes and 4 longitudes (lat, lon of their names unless
// EDIT makes its own) in which EDIT defines what the row is about; every
// float variable is filled with 1.
std::string make_file(const std::string& path, const std::function<void(int nc, int lat, int lon)>& edit,
                      bool own_grid = false) {
  int nc = -1, lat = -1, lon = -1;
  check(nc_create(path.c_str(), NC_CLOBBER, &nc));
  if (!own_grid) {
    check(nc_def_dim(nc, "lat", 3, &lat));
    check(nc_def_dim(nc, "lon", 4, &lon));
    coordinate(nc, "lat", lat, {10, 20, 30}, {{"units", "degrees_north"}});
    coordinate(nc, "lon", lon, {0, 10, 20, 30}, {{"units", "degrees_east"}});
  }
  edit(nc, lat, lon);
  check(nc_close(nc));
  return path;
}

int field(int nc, const char* name, std::vector<int> dims, std::vector<std::pair<const char*, std::string>> atts = {}) {
  int v = -1;
  check(nc_def_var(nc, name, NC_FLOAT, static_cast<int>(dims.size()), dims.data(), &v));
  for (const auto& [a, s] : atts) text(nc, v, a, s);
  return v;
}

struct Expect {
  std::string variable;
  long param;
  std::string level_type;
  std::string level_words;  // of each of its fields, in the file's order, joined by "; "
  std::string conversion = "";  // what brings its values into the parameter's units
};

struct Row {
  const char* name;
  std::function<void(int nc, int lat, int lon)> make;
  std::vector<Expect> fields;
  std::vector<std::string> others = {};  // parts of the words of what is passed over
  bool own_grid = false;
  std::optional<Centre> centre = Centre{7, "kwbc"};
  const char* not_listed = "";  // a variable that is not among what is passed over
};

TEST(NetcdfAxes, LevelsAndQuantitiesOfVariables) {
  const Row rows[] = {
      {"a soil field on a depth axis with bounds, as CDO writes NCEP's layers",
       [](int nc, int lat, int lon) {
         int depth = -1, bnds = -1, b = -1;
         check(nc_def_dim(nc, "depth", 2, &depth));
         check(nc_def_dim(nc, "bnds", 2, &bnds));
         coordinate(nc, "depth", depth, {0.05, 0.25},
                    {{"long_name", "depth_below_land"}, {"units", "m"}, {"positive", "down"}, {"bounds", "depth_bnds"}});
         const int bd[2] = {depth, bnds};
         check(nc_def_var(nc, "depth_bnds", NC_DOUBLE, 2, bd, &b));
         check(nc_enddef(nc));
         const double pairs[4] = {0, 0.1, 0.1, 0.4};
         check(nc_put_var_double(nc, b, pairs));
         check(nc_redef(nc));
         field(nc, "t_3", {depth, lat, lon}, {{"standard_name", "air_temperature"}, {"param", "0.0.0"}});
         field(nc, "soilw", {depth, lat, lon}, {{"param", "192.0.2"}});
       },
       {{"t_3", 130, "depthBelowLandLayer", "0-0.1 m below ground; 0.1-0.4 m below ground"},
        {"soilw", 260185, "depthBelowLandLayer", "0-0.1 m below ground; 0.1-0.4 m below ground"}},
       {}, false, Centre{7, "kwbc"}, "depth_bnds"},
      {"a depth axis in cm without bounds, named for the soil: its layers' depths only",
       [](int nc, int lat, int lon) {
         int depth = -1;
         check(nc_def_dim(nc, "soil_level", 2, &depth));
         coordinate(nc, "soil_level", depth, {50, 10}, {{"units", "cm"}});
         field(nc, "tsoil", {lat, lon, depth}, {{"standard_name", "air_temperature"}});
       },
       {{"tsoil", 130, "depthBelowLandLayer",
         "0.5 m below ground (a layer of unknown bounds); 0.1 m below ground (a layer of unknown bounds)"}}},
      {"a latitude and a longitude in variables named otherwise than their dimensions",
       [](int nc, int, int) {
         int la = -1, lo = -1;
         check(nc_def_dim(nc, "latitude", 3, &la));
         check(nc_def_dim(nc, "longitude", 4, &lo));
         coordinate(nc, "lat", la, {10, 20, 30}, {{"units", "degrees_north"}});
         coordinate(nc, "lon", lo, {0, 10, 20, 30}, {{"units", "degrees_east"}});
         field(nc, "msl", {la, lo});
       },
       {{"msl", 151, "surface", "surface"}}, {}, true},
      {"a dimension whose values two variables could hold: neither is guessed",
       [](int nc, int, int) {
         int la = -1, lo = -1;
         check(nc_def_dim(nc, "latitude", 3, &la));
         check(nc_def_dim(nc, "longitude", 4, &lo));
         coordinate(nc, "lat", la, {10, 20, 30}, {{"units", "degrees_north"}});
         coordinate(nc, "lat_edges", la, {5, 15, 25}, {{"units", "degrees_north"}});
         coordinate(nc, "longitude", lo, {0, 10, 20, 30}, {{"units", "degrees_east"}});
         field(nc, "msl", {la, lo});
       },
       {},
       {"msl (latitude 3, longitude 4: on dimension latitude of 3, which has no coordinate variable of its name, "
        "and lat(latitude) and lat_edges(latitude) could each be its coordinate)"},
       true},
      {"a dimension without any coordinate variable",
       [](int nc, int lat, int lon) {
         int band = -1;
         check(nc_def_dim(nc, "band", 2, &band));
         field(nc, "msl", {band, lat, lon});
       },
       {},
       {"msl (band 2, lat 3, lon 4: on dimension band of 2, which has no coordinate variable (no variable "
        "band(band), and no other variable lies on band alone))"}},
      {"a coordinate of no kind a field may lie along, in the words of its units",
       [](int nc, int lat, int lon) {
         int w = -1;
         check(nc_def_dim(nc, "wavelength", 2, &w));
         coordinate(nc, "wavelength", w, {1, 2}, {{"units", "um"}});
         field(nc, "msl", {w, lat, lon});
       },
       {},
       {"on dimension wavelength of 2, whose coordinate wavelength (in 'um') is no latitude, longitude, pressure, "
        "depth, time or member axis"}},
      {"single levels that are not the surface: a height, a numbered level, CDO's level_type",
       [](int nc, int lat, int lon) {
         int h = -1, lev = -1;
         check(nc_def_dim(nc, "height", 1, &h));
         check(nc_def_dim(nc, "lev_5", 1, &lev));
         coordinate(nc, "height", h, {2}, {{"standard_name", "height"}, {"units", "m"}, {"positive", "up"}});
         coordinate(nc, "lev_5", lev, {0}, {{"axis", "Z"}});
         field(nc, "2t", {h, lat, lon}, {{"param", "0.0.0"}});
         field(nc, "pres", {lev, lat, lon}, {{"param", "0.3.0"}});
         field(nc, "gh_2", {lat, lon}, {{"standard_name", "geopotential_height"}, {"param", "5.3.0"},
                                        {"level_type", "tropopause"}});
         field(nc, "orog", {lat, lon}, {{"param", "5.3.0"}});
         field(nc, "sp", {lat, lon}, {{"param", "0.3.0"}});
         field(nc, "prmsl", {lat, lon}, {{"units", "hPa"}, {"param", "1.3.0"}});
       },
       {{"2t", 130, "heightAboveGround", "heightAboveGround"},
        {"pres", 54, "lev_5", "lev_5"},
        {"gh_2", 156, "tropopause", "tropopause"},
        {"orog", 228002, "surface", "surface"},
        {"sp", 134, "surface", "surface"},
        {"prmsl", 260074, "surface", "surface", "hPa to Pa"}}},
      {"a centre's own GRIB parameter numbers are NCEP's only in a file of NCEP",
       [](int nc, int lat, int lon) { field(nc, "soilw", {lat, lon}, {{"param", "192.0.2"}}); },
       {{"soilw", 0, "surface", "surface"}}, {}, false, Centre{98, "ecmf"}},
  };
  for (const Row& row : rows) {
    ScratchDir dir;
    const std::string path = make_file(dir / "in.nc", row.make, row.own_grid);
    try {
      NetcdfSource source(path, 0, row.centre);
      std::vector<std::string> seen;
      for (const Expect& e : row.fields) {
        std::string words;
        bool found = false;
        for (const FieldInfo& f : source.fields())
          if (f.variable == e.variable) {
            found = true;
            EXPECT_EQ(f.param_id, e.param) << row.name << ": " << e.variable;
            EXPECT_EQ(f.level_type, e.level_type) << row.name << ": " << e.variable;
            EXPECT_EQ(f.unit_conversion, e.conversion) << row.name << ": " << e.variable;
            words += (words.empty() ? "" : "; ") + f.level_words();
          }
        EXPECT_TRUE(found) << row.name << ": no field of " << e.variable;
        EXPECT_EQ(words, e.level_words) << row.name << ": " << e.variable;
      }
      if (row.fields.empty()) {
        EXPECT_TRUE(source.fields().empty()) << row.name;
      }
      std::string others;
      for (const std::string& o : source.others()) others += o + "\n";
      if (*row.not_listed) {
        EXPECT_EQ(others.find(row.not_listed), std::string::npos) << row.name << ":\n" << others;
      }
      for (const std::string& part : row.others)
        EXPECT_NE(others.find(part), std::string::npos) << row.name << ": no \"" << part << "\" in\n" << others;
    } catch (const std::exception& e) {
      ADD_FAILURE() << row.name << ": " << e.what();
    }
  }
}

TEST(NetcdfAxes, DepthAxesThatHoldNoDepthAreRefusedNamingTheAxis) {
  ScratchDir dir;
  const std::string path = make_file(dir / "in.nc", [](int nc, int lat, int lon) {
    int depth = -1;
    check(nc_def_dim(nc, "depth", 2, &depth));
    coordinate(nc, "depth", depth, {0.1, -0.3}, {{"units", "m"}, {"positive", "down"}});
    field(nc, "st", {depth, lat, lon}, {{"standard_name", "air_temperature"}});
  });
  try {
    NetcdfSource source(path, 0);
    ADD_FAILURE() << "taken";
  } catch (const c2m::IoFailure& e) {
    const std::string said = e.what();
    EXPECT_NE(said.find("in.nc: the depth coordinate depth holds -0.3 m, which is no depth below the ground"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("(the axis of variable st)"), std::string::npos) << said;
  }
}

}  // namespace
