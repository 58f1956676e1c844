// What a netCDF variable holds, in the vocabulary of the rest of ingest:
// the ECMWF parameter number of its quantity (known by its name as ERA5
// files name it, else by the GRIB 2 parameter that CDO keeps in its param
// attribute, else by its CF standard_name), its soil layer, what
// brings its values into the parameter's own units, and the centre whose
// definitions the file follows.
#pragma once

#include <optional>
#include <string>

namespace c2m::ingest {

// The centre whose definitions a netCDF file follows (its relative
// humidity over mixed phase, its label), when it is not taken from the
// file's institution and source attributes.
struct Centre {
  long number = 0;   // WMO centre: 98 ECMWF, 7 NCEP, 0 none known
  std::string name;  // its abbreviation: "ecmf", "kwbc"
};
std::optional<Centre> centre_by_name(const std::string& word);  // ecmwf, ncep, none

}  // namespace c2m::ingest

namespace c2m::ingest::netcdf {

struct Known {
  const char* name;
  long param;
  int soil = 0;  // ECMWF's soil layer 1 .. 4
};

// The quantity of the variable NAME of the standard_name STANDARD and the
// param attribute GRIB_PARAM (CDO's "number.category.discipline" of the
// GRIB 2 field it came from), in a file of CENTRE (numbers from 192 up
// are the centre's own: NCEP's are known), at the SURFACE or on another
// level, or nothing for one ingest does not know.
const Known* known_quantity(const std::string& name, const std::string& standard, const std::string& grib_param,
                            long centre, bool surface);

// The depths (m) of ECMWF's four soil layers: layer L from [L - 1] to [L].
inline constexpr double soil_depths[5] = {0.0, 0.07, 0.28, 1.0, 2.89};

// What brings the values of parameter PARAM stated in UNITS into the
// parameter's own units (Pa, %, K): value x scale + offset.
struct UnitChange {
  double scale = 1, offset = 0;
  std::string words;
};
UnitChange unit_change(long param, const std::string& units);

// Factor from a pressure unit to hPa, or 0 for a unit that is not one.
double hpa_per(const std::string& units);

// The file's centre: CHOSEN when given, else the first that its
// institution, source or centre attributes name, else none.
Centre file_centre(int ncid, const std::optional<Centre>& chosen);

}  // namespace c2m::ingest::netcdf
