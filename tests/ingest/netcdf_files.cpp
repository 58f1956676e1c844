#include "netcdf_files.hpp"

#include <netcdf.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "fileio/output_file.hpp"
#include "layout/records.hpp"
#include "layout/run_description_read.hpp"
#include "support/scratch.hpp"

namespace ingesttest {

namespace {

using c2m::layout::InputUpper;

void check(int status, const std::string& what) {
  if (status != NC_NOERR) throw std::runtime_error(what + ": " + nc_strerror(status));
}

constexpr float undefined = 9.999e20f;
constexpr double gravity = 9.80665;

struct Var {
  std::string name, standard_name, units;
  bool upper = false;
  std::vector<std::vector<float>> planes;  // by level (one for a surface field), rows north to south
};

std::int64_t seconds_since_1970(const std::string& yyyymmddhh) {
  using namespace std::chrono;
  const int y = std::stoi(yyyymmddhh.substr(0, 4));
  const unsigned m = static_cast<unsigned>(std::stoi(yyyymmddhh.substr(4, 2)));
  const unsigned d = static_cast<unsigned>(std::stoi(yyyymmddhh.substr(6, 2)));
  const int h = std::stoi(yyyymmddhh.substr(8, 2));
  const auto days = sys_days(year_month_day{year(y), month(m), day(d)}).time_since_epoch().count();
  return static_cast<std::int64_t>(days) * 86400 + h * 3600;
}

void text(int nc, int var, const char* name, const std::string& value) {
  check(nc_put_att_text(nc, var, name, value.size(), value.c_str()), name);
}

}  // namespace

std::string soil_table() {
  std::string t;
  for (int k = 1; k <= 4; ++k) {
    t += "stl" + std::to_string(k) + " nc:soilt" + std::to_string(k) + " *\n";
    t += "swvl" + std::to_string(k) + " nc:soilm" + std::to_string(k) + " *\n";
  }
  return t;
}

void case_as_netcdf(const std::string& case_dir, const std::string& out, const NcLayout& o) {
  const auto d = c2m::layout::read_run_description(case_dir + "/InputModelInf.txt");
  const std::string date = testsupport::read_file(case_dir + "/adate.txt").substr(0, 10);
  const std::string bytes = testsupport::read_file(case_dir + "/case.bin");
  const std::int64_t im = d.grid.im, jm = d.grid.jm, lm = static_cast<std::int64_t>(d.pressures_hpa.size());
  const auto& g = d.grid.grid;
  const auto points = static_cast<std::size_t>(im * jm);
  auto record = [&](std::int64_t n) {
    std::vector<float> v(points);
    std::memcpy(v.data(), bytes.data() + static_cast<std::size_t>(n - 1) * points * 4, points * 4);
    return v;
  };
  auto scaled = [](std::vector<float> v, double by) {
    for (float& x : v)
      if (x != undefined) x = static_cast<float>(static_cast<double>(x) * by);
    return v;
  };

  // The fields, in ERA5's units.
  const bool sn = o.standard_names;
  std::vector<Var> vars;
  if (o.part != NcLayout::Part::surface) {
    struct Upper {
      const char* name;
      const char* standard;
      const char* units;
      InputUpper f;
    };
    for (const Upper& u : {Upper{"z", "geopotential", "m**2 s**-2", InputUpper::geopotential},
                           Upper{"r", "relative_humidity", "%", InputUpper::rh},
                           Upper{"q", "specific_humidity", "kg kg**-1", InputUpper::q},
                           Upper{"t", "air_temperature", "K", InputUpper::t},
                           Upper{"u", "eastward_wind", "m s**-1", InputUpper::u},
                           Upper{"v", "northward_wind", "m s**-1", InputUpper::v}}) {
      if (std::count(o.leave_out.begin(), o.leave_out.end(), u.name)) continue;
      Var v{u.name, u.standard, u.units, true, {}};
      for (std::int64_t k = 1; k <= lm; ++k) v.planes.push_back(record(c2m::layout::input_record(u.f, k, lm)));
      if (sn) {
        v.name = std::string("x_") + u.name;
        if (u.f == InputUpper::geopotential) {
          v.standard_name = "geopotential_height";
          v.units = "m";
          for (auto& p : v.planes) p = scaled(p, 1.0 / gravity);
        }
      }
      vars.push_back(std::move(v));
    }
  }
  if (o.part != NcLayout::Part::upper) {
    namespace sfc = c2m::layout::sfc;
    auto surface = [&](const char* name, const char* standard, const char* units, int plane, double by) {
      if (std::count(o.leave_out.begin(), o.leave_out.end(), name)) return;
      Var v{name, standard, units, false, {scaled(record(c2m::layout::input_surface_record(plane, lm)), by)}};
      vars.push_back(std::move(v));
    };
    surface(sn ? "x_lsm" : "lsm", "land_binary_mask", "(0 - 1)", sfc::lsm, 1.0);
    surface(sn ? "x_msl" : "msl", "air_pressure_at_mean_sea_level", "Pa", sfc::msl, 100.0);
    surface(sn ? "x_sp" : "sp", "surface_air_pressure", "Pa", sfc::sp, 100.0);
    if (sn) surface("x_orog", "surface_altitude", "m", sfc::orog, 1.0 / gravity);
    else if (o.part == NcLayout::Part::both) surface("zs", "surface_geopotential", "m**2 s**-2", sfc::orog, 1.0);
    else surface("z", "geopotential", "m**2 s**-2", sfc::orog, 1.0);
    for (int k = 1; k <= 4; ++k) {
      const std::string n = std::to_string(k);
      surface((sn ? "soilt" + n : "stl" + n).c_str(), "", "K", sfc::soil_t(k), 1.0);
      surface((sn ? "soilm" + n : "swvl" + n).c_str(), "", "m**3 m**-3", sfc::soil_m(k), 1.0);
    }
  }

  // The dimensions and coordinates.
  const std::vector<std::string> dates = o.dates.empty() ? std::vector<std::string>{date} : o.dates;
  const int mode = o.format != 0 ? o.format : o.packed ? NC_64BIT_OFFSET : NC_NETCDF4;
  const bool nc4 = (mode & NC_NETCDF4) != 0 && (mode & NC_CLASSIC_MODEL) == 0;
  int nc = -1;
  c2m::OutputFile file(out);
  check(nc_create(file.handed_over().c_str(), mode | NC_CLOBBER, &nc), out);
  const char* time_name = o.packed ? "time" : "valid_time";
  const char* level_name = o.packed ? "level" : "pressure_level";
  int expver_dim = -1, time_dim = -1, level_dim = -1, lat_dim = -1, lon_dim = -1;
  if (o.expver) check(nc_def_dim(nc, "expver", 1, &expver_dim), "expver");
  // The older layout's time is the record dimension, which must come first.
  if (!o.no_time)
    check(nc_def_dim(nc, time_name, o.packed && !o.expver ? NC_UNLIMITED : dates.size(), &time_dim), "time");
  check(nc_def_dim(nc, level_name, static_cast<std::size_t>(lm), &level_dim), "level");
  check(nc_def_dim(nc, "latitude", static_cast<std::size_t>(jm), &lat_dim), "latitude");
  check(nc_def_dim(nc, "longitude", static_cast<std::size_t>(im), &lon_dim), "longitude");

  int lat_var = -1, lon_var = -1, time_var = -1, level_var = -1;
  const nc_type coord_type = o.packed ? NC_FLOAT : NC_DOUBLE;
  check(nc_def_var(nc, "longitude", coord_type, 1, &lon_dim, &lon_var), "longitude");
  text(nc, lon_var, "units", "degrees_east");
  text(nc, lon_var, "long_name", "longitude");
  check(nc_def_var(nc, "latitude", coord_type, 1, &lat_dim, &lat_var), "latitude");
  text(nc, lat_var, "units", "degrees_north");
  text(nc, lat_var, "long_name", "latitude");
  const bool whole_levels = std::all_of(d.pressures_hpa.begin(), d.pressures_hpa.end(),
                                        [](float p) { return p == std::floor(p); });
  const nc_type level_type = o.packed && whole_levels ? NC_INT : NC_DOUBLE;
  check(nc_def_var(nc, level_name, level_type, 1, &level_dim, &level_var), "level");
  text(nc, level_var, "units", o.levels_in_pa ? "Pa" : o.packed ? "millibars" : "hPa");
  text(nc, level_var, "long_name", "pressure_level");
  const nc_type time_type = !o.time_values.empty() ? NC_DOUBLE
                            : o.packed              ? NC_INT
                            : (nc4 || mode & NC_64BIT_DATA) ? NC_INT64 : NC_INT;
  if (!o.no_time) {
    check(nc_def_var(nc, time_name, time_type, 1, &time_dim, &time_var), "time");
    const std::string units = !o.time_units.empty() ? o.time_units
                              : o.packed            ? "hours since 1900-01-01 00:00:00.0"
                                                    : "seconds since 1970-01-01";
    text(nc, time_var, "units", units);
    text(nc, time_var, "calendar", !o.calendar.empty() ? o.calendar : o.packed ? "gregorian" : "proleptic_gregorian");
    text(nc, time_var, "long_name", "time");
  }
  if (!o.packed && nc4) {
    int number = -1;
    check(nc_def_var(nc, "number", NC_INT64, 0, nullptr, &number), "number");
    text(nc, number, "long_name", "ensemble member numerical id");
    text(nc, NC_GLOBAL, "GRIB_centre", "ecmf");
    text(nc, NC_GLOBAL, "institution", "European Centre for Medium-Range Weather Forecasts");
  }
  text(nc, NC_GLOBAL, "Conventions", "CF-1.7");

  // The fields' dimensions in the file's order.
  auto dims_of = [&](bool upper) {
    std::vector<int> dims;
    if (o.expver) dims.push_back(expver_dim);
    if (!o.no_time) dims.push_back(time_dim);
    if (upper && !o.level_after_grid) dims.push_back(level_dim);
    if (o.lon_before_lat) {
      dims.push_back(lon_dim);
      dims.push_back(lat_dim);
    } else {
      dims.push_back(lat_dim);
      dims.push_back(lon_dim);
    }
    if (upper && o.level_after_grid) dims.push_back(level_dim);
    return dims;
  };
  struct Packing {
    double scale = 1, offset = 0;
  };
  std::vector<int> ids;
  std::vector<Packing> packing;
  for (const Var& v : vars) {
    const auto dims = dims_of(v.upper);
    int id = -1;
    check(nc_def_var(nc, v.name.c_str(), o.packed ? NC_SHORT : NC_FLOAT, static_cast<int>(dims.size()), dims.data(), &id),
          v.name);
    if (!v.standard_name.empty()) text(nc, id, "standard_name", v.standard_name);
    text(nc, id, "units", v.units);
    Packing p;
    if (o.packed) {
      // As ERA5 packs: the range of the values over the 65533 steps from
      // -32766 to 32767 (-32767 marks a missing point).
      float lo = INFINITY, hi = -INFINITY;
      for (const auto& plane : v.planes)
        for (const float x : plane)
          if (x != undefined) lo = std::min(lo, x), hi = std::max(hi, x);
      if (!(hi > lo)) hi = lo = std::isfinite(lo) ? lo : 0.0f;
      p.scale = hi > lo ? (static_cast<double>(hi) - lo) / 65533.0 : 1.0;
      p.offset = static_cast<double>(lo) + 32766.0 * p.scale;
      check(nc_put_att_double(nc, id, "scale_factor", NC_DOUBLE, 1, &p.scale), "scale_factor");
      check(nc_put_att_double(nc, id, "add_offset", NC_DOUBLE, 1, &p.offset), "add_offset");
      const short fill = -32767;
      check(nc_put_att_short(nc, id, "_FillValue", NC_SHORT, 1, &fill), "_FillValue");
      check(nc_put_att_short(nc, id, "missing_value", NC_SHORT, 1, &fill), "missing_value");
    } else {
      const float fill = std::numeric_limits<float>::quiet_NaN();
      check(nc_put_att_float(nc, id, "_FillValue", NC_FLOAT, 1, &fill), "_FillValue");
      if (nc4) {
        std::vector<std::size_t> chunks;
        for (const int dim : dims)
          chunks.push_back(dim == lat_dim ? static_cast<std::size_t>(jm) : dim == lon_dim ? static_cast<std::size_t>(im) : 1);
        check(nc_def_var_chunking(nc, id, NC_CHUNKED, chunks.data()), "chunking");
        check(nc_def_var_deflate(nc, id, 0, 1, 1), "deflate");
      }
    }
    ids.push_back(id);
    packing.push_back(p);
  }
  check(nc_enddef(nc), out);

  // Coordinates.
  std::vector<double> lats(static_cast<std::size_t>(jm)), lons(static_cast<std::size_t>(im));
  for (std::int64_t j = 0; j < jm; ++j) {
    const std::int64_t from_north = o.rows_south_to_north ? jm - 1 - j : j;
    lats[static_cast<std::size_t>(j)] = static_cast<double>(g[3] - from_north * g[6]) / 1000.0;
  }
  for (std::int64_t i = 0; i < im; ++i) {
    double lon = static_cast<double>(g[2] + i * g[5]) / 1000.0;
    if (o.longitudes_0_360) lon = std::fmod(std::fmod(lon, 360.0) + 360.0, 360.0);
    lons[static_cast<std::size_t>(i)] = lon;
  }
  check(nc_put_var_double(nc, lat_var, lats.data()), "latitude");
  check(nc_put_var_double(nc, lon_var, lons.data()), "longitude");
  std::vector<double> levels;
  for (const float p : d.pressures_hpa) levels.push_back(o.levels_in_pa ? static_cast<double>(p) * 100.0 : p);
  check(nc_put_var_double(nc, level_var, levels.data()), "level");
  for (std::size_t t = 0; t < dates.size() && !o.no_time; ++t) {
    if (!o.time_values.empty()) {
      check(nc_put_var1_double(nc, time_var, &t, &o.time_values[t]), "time");
      continue;
    }
    const std::int64_t s = seconds_since_1970(dates[t]);
    const long long value = o.packed || !o.time_units.empty() ? (s - seconds_since_1970("1900010100")) / 3600 : s;
    const std::size_t at = t;
    check(nc_put_var1_longlong(nc, time_var, &at, &value), "time");
  }

  // The values, the same at every time.
  const std::size_t times = o.no_time ? 1 : dates.size();
  for (std::size_t n = 0; n < vars.size(); ++n) {
    const Var& v = vars[n];
    const auto dims = dims_of(v.upper);
    for (std::size_t t = 0; t < times; ++t)
      for (std::size_t k = 0; k < v.planes.size(); ++k) {
        std::vector<std::size_t> start, count;
        for (const int dim : dims) {
          start.push_back(dim == time_dim ? t : dim == level_dim ? k : 0);
          count.push_back(dim == lat_dim ? static_cast<std::size_t>(jm) : dim == lon_dim ? static_cast<std::size_t>(im) : 1);
        }
        // The plane in the file's order of its axes.
        std::vector<float> plane(points);
        for (std::int64_t j = 0; j < jm; ++j)
          for (std::int64_t i = 0; i < im; ++i) {
            const std::int64_t from_north = o.rows_south_to_north ? jm - 1 - j : j;
            const std::size_t at = o.lon_before_lat ? static_cast<std::size_t>(i * jm + j) : static_cast<std::size_t>(j * im + i);
            plane[at] = v.planes[k][static_cast<std::size_t>(from_north * im + i)];
          }
        if (o.packed) {
          std::vector<short> packed(points);
          for (std::size_t m = 0; m < points; ++m) {
            if (plane[m] == undefined) {
              packed[m] = -32767;
              continue;
            }
            const double x = std::round((static_cast<double>(plane[m]) - packing[n].offset) / packing[n].scale);
            packed[m] = static_cast<short>(std::clamp(x, -32766.0, 32767.0));
          }
          check(nc_put_vara_short(nc, ids[n], start.data(), count.data(), packed.data()), v.name);
        } else {
          for (float& x : plane)
            if (x == undefined) x = std::numeric_limits<float>::quiet_NaN();
          check(nc_put_vara_float(nc, ids[n], start.data(), count.data(), plane.data()), v.name);
        }
      }
  }
  check(nc_close(nc), out);
  file.commit();
}

}  // namespace ingesttest
