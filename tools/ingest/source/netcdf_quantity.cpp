#include "source/netcdf_quantity.hpp"

#include "kit/numbers.hpp"
#include "source/netcdf_library.hpp"

namespace c2m::ingest {

std::optional<Centre> centre_by_name(const std::string& word) {
  if (word == "ecmwf") return Centre{98, "ecmf"};
  if (word == "ncep") return Centre{7, "kwbc"};
  if (word == "none") return Centre{0, ""};
  return std::nullopt;
}

}  // namespace c2m::ingest

namespace c2m::ingest::netcdf {

namespace {

// ERA5's variable names (ECMWF's short names) and the CF standard names,
// as ECMWF parameter numbers.  Surface geopotential and geopotential on
// pressure levels share the name z; the axes tell them apart.
constexpr Known short_names[] = {
    {"z", 129},  {"r", 157},       {"q", 133},       {"t", 130},       {"u", 131},      {"v", 132},
    {"lsm", 172}, {"msl", 151},    {"sp", 134},      {"stl1", 139, 1}, {"stl2", 170, 2}, {"stl3", 183, 3},
    {"stl4", 236, 4}, {"swvl1", 39, 1}, {"swvl2", 40, 2}, {"swvl3", 41, 3}, {"swvl4", 42, 4},
};
// GRIB 2 parameters as CDO writes them, "number.category.discipline", as
// ecCodes' parameter numbers of the fields they are in GRIB.  CDO renames
// a second variable of one name (t_3 for the soil temperature beside the
// isobaric t), so that the name alone does not tell them.  Numbers from
// 192 up are a centre's own; these are NCEP's.  Pressure and geopotential
// height at the surface are the surface pressure and the orography, at any
// other level (the tropopause, a cloud top) plain pressure and height.
constexpr Known grib2_at_surface[] = {{"0.3.0", 134}, {"5.3.0", 228002}};
constexpr Known grib2_params[] = {
    {"0.0.0", 130}, {"0.1.0", 133}, {"1.1.0", 157},    {"2.2.0", 131},      {"3.2.0", 132},  {"4.3.0", 129},
    {"5.3.0", 156}, {"0.3.0", 54},  {"1.3.0", 260074}, {"192.3.0", 260317}, {"0.0.2", 172}, {"192.0.2", 260185},
};
constexpr long ncep = 7;

// The parameter of CDO's param attribute TRIPLE, or null.
const Known* grib2_param(const std::string& triple, long centre, bool surface) {
  int number = 0;
  if (read_leading_integer(triple, number) > 0 && number >= 192 && centre != ncep) return nullptr;
  if (surface)
    for (const Known& k : grib2_at_surface)
      if (triple == k.name) return &k;
  for (const Known& k : grib2_params)
    if (triple == k.name) return &k;
  return nullptr;
}

constexpr Known standard_names[] = {
    {"geopotential", 129},
    {"geopotential_height", 156},
    {"relative_humidity", 157},
    {"specific_humidity", 133},
    {"air_temperature", 130},
    {"eastward_wind", 131},
    {"northward_wind", 132},
    {"land_binary_mask", 172},
    {"land_area_fraction", 172},
    {"air_pressure_at_mean_sea_level", 151},
    {"surface_air_pressure", 134},
    {"surface_geopotential", 129},
    {"surface_altitude", 228002},
};

}  // namespace

const Known* known_quantity(const std::string& name, const std::string& standard, const std::string& grib_param,
                            long centre, bool surface) {
  const Known* known = nullptr;
  for (const Known& k : short_names)
    if (name == k.name) known = &k;
  if (!known) known = grib2_param(trimmed(grib_param), centre, surface);
  if (!known)
    for (const Known& k : standard_names)
      if (standard == k.name) known = &k;
  return known;
}

double hpa_per(const std::string& units) {
  const std::string u = lower(trimmed(units));
  if (one_of(u, {"hpa", "mbar", "millibar", "millibars", "mb", "hectopascal", "hectopascals"})) return 1.0;
  if (one_of(u, {"pa", "pascal", "pascals"})) return 0.01;
  if (one_of(u, {"kpa", "kilopascal", "kilopascals"})) return 10.0;
  return 0.0;
}

UnitChange unit_change(long param, const std::string& units) {
  const std::string u = lower(trimmed(units));
  if (param == 151 || param == 134 || param == 260074 || param == 260317) {
    const double per = hpa_per(u);
    if (per == 1.0) return {100.0, 0.0, "hPa to Pa"};
    if (per == 10.0) return {1000.0, 0.0, "kPa to Pa"};
  } else if (param == 157) {
    if (one_of(u, {"1", "fraction", "0-1"})) return {100.0, 0.0, "fraction to %"};
  } else if (param == 130) {
    if (one_of(u, {"degc", "deg_c", "celsius", "degrees_celsius", "degree_celsius", "c"}))
      return {1.0, 273.15, "deg C to K"};
  }
  return {};
}

namespace {

// The centre of words such as an institution attribute, if they name one.
std::optional<Centre> centre_in(const std::string& text) {
  const std::string t = lower(text);
  if (t.find("ecmwf") != std::string::npos || t == "ecmf" ||
      t.find("european centre for medium-range weather forecasts") != std::string::npos)
    return Centre{98, "ecmf"};
  if (t.find("ncep") != std::string::npos || t == "kwbc" ||
      t.find("national centers for environmental prediction") != std::string::npos)
    return Centre{7, "kwbc"};
  return std::nullopt;
}

}  // namespace

Centre file_centre(int ncid, const std::optional<Centre>& chosen) {
  if (chosen) return *chosen;
  for (const char* att : {"institution", "source", "GRIB_centre", "centre"})
    if (const auto text = text_att(ncid, NC_GLOBAL, att))
      if (const auto c = centre_in(*text)) return *c;
  return {};
}

}  // namespace c2m::ingest::netcdf
