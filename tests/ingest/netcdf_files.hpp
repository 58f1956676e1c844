// netCDF files made by the tests with libnetcdf from a synthetic case, in
// the two layouts ERA5 files have had and in the variations real files
// show (rows south to north, longitudes -180..180 or 0..360, dimensions in
// another order, levels in Pa, CF standard names instead of ERA5's names,
// several times), and small edits of their bytes.
#pragma once

#include <string>
#include <vector>

namespace ingesttest {

struct NcLayout {
  // The older layout: a 64-bit offset file of 16-bit integers packed with
  // scale_factor and add_offset, _FillValue and missing_value, dimensions
  // time (hours since 1900), level (millibars), latitude, longitude.  The
  // newer (the default): netCDF-4 with deflate, 4-byte reals, valid_time
  // (seconds since 1970), pressure_level (hPa), and institution naming
  // ECMWF.
  bool packed = false;
  int format = 0;  // the libnetcdf creation mode, 0 for the layout's own
  bool rows_south_to_north = false;
  bool longitudes_0_360 = false;   // else as the case states them (-180..180)
  bool lon_before_lat = false;     // dimensions (..., longitude, latitude)
  bool level_after_grid = false;   // dimensions (time, latitude, longitude, level)
  bool levels_in_pa = false;
  bool expver = false;             // a first dimension expver of length 1
  bool standard_names = false;     // variables named otherwise, known by standard_name
  // Which fields: the pressure-level ones, the surface ones (the surface
  // geopotential named z, as in ERA5's single-level and invariant files),
  // or both in one file (the surface geopotential then named zs, known by
  // its standard_name surface_geopotential).
  enum class Part { both, upper, surface } part = Part::both;
  std::vector<std::string> leave_out;  // ERA5 names of variables not to write
  std::vector<std::string> dates;  // YYYYMMDDHH of each time; empty for the case's date
  std::string time_units;          // instead of the layout's own
  std::vector<double> time_values; // with time_units: the values of the time coordinate
  std::string calendar;            // instead of the layout's own
  bool no_time = false;            // no time axis at all (an invariant file)
};

// The case in CASE_DIR (a run description, adate.txt and case.bin) written
// as the netCDF file OUT.  Variables: z r q t u v on pressure levels, lsm
// msl sp, the surface geopotential, stl1..4 swvl1..4; with standard_names
// they are named x_z, x_r, ..., z as geopotential_height and the surface's
// as surface_altitude (in metres), and soil layers soilt1..4 and soilm1..4
// (for nc: entries of a field table).
void case_as_netcdf(const std::string& case_dir, const std::string& out, const NcLayout& layout);

// The names the variables of a case written with standard_names have, for
// a field table: "stl1 nc:soilt1 *" and so on.
std::string soil_table();

}  // namespace ingesttest
