// The prose of conv2model ingest --help around its Options part (which is
// made from the option table): what ingest does, the fields it makes a case
// of, how it reads netCDF, the field table with the built-in entries in
// full, examples and the exit statuses.  The man page is made from the
// same texts.
#include "command.hpp"

#include <string>

#include "plan/field_table.hpp"

namespace c2m::ingest {

namespace {

constexpr std::string_view what_ingest_does =
    "Makes a case that converts as it stands from GRIB files (edition 1 or 2) and\n"
    "netCDF files (classic, 64-bit offset, 64-bit data or netCDF-4), told from the\n"
    "content and mixed freely (a pressure-level file, a surface file, an invariant\n"
    "file), for one validity time.  OUTDIR (made if missing) receives\n"
    "the input grid file (case.bin), the run description InputModelInf.txt and the\n"
    "date file adate.txt, all whole or none: a failure leaves OUTDIR as it was\n"
    "(removed again if ingest made it), and none of them may be one of the input\n"
    "files (by its name, a symlink or a hard link).  The\n"
    "report (where every record came from, what was converted, filled or derived)\n"
    "is printed and kept as OUTDIR/ingest.txt, with the commands that convert the\n"
    "case.\n"
    "\n"
    "With --all-times the files may hold many validity times (a month of analyses\n"
    "in one file, say): each time becomes its own case in OUTDIR/YYYYMMDDHH\n"
    "(YYYYMMDDHHMM for a time off the hour), exactly the case and report that\n"
    "--time YYYYMMDDHH with OUTDIR/YYYYMMDDHH would make.  The files are read and\n"
    "indexed once for all the times; the cases are made on -j N workers (default\n"
    "one per core), a few cases at once, each with its share of the workers.\n"
    "Standard error shows the progress: a count kept in place on a terminal, else\n"
    "one line per finished case.  A time that cannot make a case (a field missing\n"
    "at that time, a case beyond the file-size limit, a symlink where its\n"
    "directory goes, which is left alone) is reported and the other times go on;\n"
    "standard output ends with the summary, a line per time, made or not and why\n"
    "(in short: the whole reason is on standard error).\n"
    "\n";

constexpr std::string_view the_fields =
    "Fields: geopotential (z, else gh x 9.80665), temperature, u and v on every\n"
    "isobaric level that has all four; q as it is, else derived from r over the\n"
    "centre's mixture of water and ice (ECMWF and NCEP definitions; other centres\n"
    "taken as over water); relative humidity as the converter takes it, the value\n"
    "from which it gives back that q to the last bits (--humidity physical: over\n"
    "water instead, its q then a few percent high in warm air); land-sea mask\n"
    "(else 1 where soil moisture of layer 1 is defined); mean sea-level and\n"
    "surface pressure (Pa to hPa); surface geopotential (z, else orog or gh x\n"
    "9.80665); soil temperature and moisture of\n"
    "layers 1 to 4 (ECMWF's stl1..4 and swvl1..4, else layers in order of depth).\n"
    "An interior level without humidity is filled linearly in ln p from the\n"
    "levels below and above; humidity missing at the bottom or top, and soil\n"
    "layers 3 and 4, are written missing for the converter's own patches (its\n"
    "estimate of q there).  The case written is read and checked as convert\n"
    "--check does; one that would stop is kept, with the converter's reason and,\n"
    "where undefined points stop it, the largest --area that converts.\n"
    "Undefined points (bitmaps, missing values) become 9.999e20.  Only regular\n"
    "latitude/longitude grids are taken, all fields on one grid, in any scanning\n"
    "order.\n"
    "\n";

constexpr std::string_view netcdf_fields =
    "netCDF: a field is a latitude/longitude plane of a variable, which may also\n"
    "lie on a pressure axis (units hPa, millibars or Pa), a depth axis of soil\n"
    "layers (units of length, positive down or named for depth or soil: each\n"
    "layer a field, in order of depth, its top and bottom from the axis's bounds\n"
    "where it has them), a time axis (CF units such as 'hours since 1900-01-01',\n"
    "calendar standard, gregorian or proleptic_gregorian), an ensemble axis\n"
    "(number) and any axis of length 1, in any order; latitudes either way round,\n"
    "longitudes 0..360 or -180..180.  An axis's values are in the variable of its\n"
    "dimension's name, or in the one variable named otherwise that lies on that\n"
    "dimension alone (lat(latitude)).  A variable on a height, or at the level\n"
    "that CDO's level_type attribute names (the tropopause, say), is not at the\n"
    "surface.  A variable is known by its name as in ERA5 files (z r q t u v on\n"
    "pressure levels; lsm msl sp z stl1..stl4 swvl1..swvl4), else by the GRIB 2\n"
    "parameter that CDO keeps in its param attribute (NCEP's prmsl and soilw among\n"
    "them), else by its standard_name (geopotential, geopotential_height,\n"
    "relative_humidity, specific_humidity, air_temperature, eastward_wind,\n"
    "northward_wind, land_binary_mask or land_area_fraction,\n"
    "air_pressure_at_mean_sea_level, surface_air_pressure, surface_geopotential,\n"
    "surface_altitude), as the parameter of the field table below; other\n"
    "variables by nc:NAME entries of --table.  Packed values (scale_factor,\n"
    "add_offset) are unpacked; _FillValue and missing_value points are undefined.\n"
    "Values in other units than the field table's are converted: pressures in hPa\n"
    "or kPa to Pa, relative humidity given as a fraction to per cent, and\n"
    "temperatures in degrees Celsius to kelvin.  The centre (for the definition of\n"
    "relative humidity) comes from the institution and source attributes, or\n"
    "--centre.  A variable without a time axis holds at every time of the others.\n"
    "\n";

constexpr std::string_view field_table_words =
    "The field table: one entry a line, FIELD PARAMID LEVELTYPE [SCALE [OFFSET]];\n"
    "the case holds value x SCALE + OFFSET.  FIELD is z r q t u v lsm msl sp orog,\n"
    "stl1..stl4 or swvl1..swvl4 (a layer), stl or swvl (layers in order of depth),\n"
    "or - (pass such messages over).  PARAMID is ECMWF's parameter number, or\n"
    "nc:NAME for the netCDF variables named NAME (soil layers of a netCDF file,\n"
    "say: stl1 nc:soil_temperature_1 *).  LEVELTYPE is ecCodes' typeOfLevel\n"
    "(netCDF fields are isobaricInhPa, surface or depthBelowLandLayer) or * for\n"
    "any.  The first entry that matches a message takes it; where several give a\n"
    "field, the first listed wins.  Entries of --table FILE come first and replace\n"
    "built-in entries of the same PARAMID and LEVELTYPE; # starts a comment.  The\n"
    "built-in table:\n"
    "\n";

constexpr std::string_view examples =
    "\n"
    "Examples:\n"
    "  conv2model ingest cases/gfs gfs.t12z.pgrbf120.2p5deg.grib2\n"
    "  conv2model ingest --area 30,-30,75,45 cases/europe pl.grib sfc.grib invariant.grib\n"
    "  conv2model ingest --time 2024010112 --levels 1000,850,700,500 cases/a forecast.grib2\n"
    "  conv2model ingest --time 2024010112 cases/era5 era5-pressure.nc era5-single.nc\n"
    "  conv2model ingest --all-times -j 4 cases/jan era5-pl-jan.grib era5-sfc-jan.grib\n"
    "\n";

constexpr std::string_view exit_status =
    "Exit status: 0 the case was made (with --all-times: every case); 1 the case\n"
    "was made but the converter would stop on it (kept for inspection); 2 wrong\n"
    "usage, any case of --all-times not made, or an input or output failure: a\n"
    "file that is neither GRIB nor netCDF, a truncated or corrupt message or\n"
    "header, sizes beyond what the file holds or the limits (a plane of\n"
    "536,870,911 points, 100,000 levels, 100,000 times, 1,000,000 fields of a\n"
    "netCDF file), a time axis of unknown units or calendar, a grid that is not\n"
    "regular latitude/longitude or cannot be placed, fields on different grids,\n"
    "several validity times or members, a required field absent, an output that\n"
    "is an input (the message names the file, the message or variable, and the\n"
    "cause); 128 + N stopped by signal N (the files in OUTDIR are as they were\n"
    "and the directories the run made are removed; with --all-times the cases\n"
    "made are kept).\n";

// The built-in field table, each line indented as an example is.
std::string built_in_table() {
  std::string t, line;
  for (const char c : table_text()) {
    line += c;
    if (c == '\n') {
      t += "    " + line;
      line.clear();
    }
  }
  return t;
}

}  // namespace

std::string_view help_before_options() {
  static const std::string text =
      std::string(what_ingest_does) + std::string(the_fields) + std::string(netcdf_fields);
  return text;
}

std::string_view help_after_options() {
  static const std::string text =
      std::string(field_table_words) + built_in_table() + std::string(examples) + std::string(exit_status);
  return text;
}

}  // namespace c2m::ingest
