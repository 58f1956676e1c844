#include "ingest.hpp"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <thread>

#include "case/all_times.hpp"
#include "case/case_dir.hpp"
#include "estab/estab.hpp"
#include "kit/numbers.hpp"
#include "layout/run_description_text.hpp"
#include "source/open_source.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

// The converter names its outputs NAME.KVOwrk and NAME.KVOwrk.gdsinfo in
// fields of 255 characters with a blank to spare.
constexpr std::size_t max_name = 239;

void put(std::FILE* f, const std::string& text) { std::fwrite(text.data(), 1, text.size(), f); }

int run_ingest(const Options& o, std::FILE* out, std::FILE* err) {
  estab::es_ini();
  FieldTable table = FieldTable::built_in();
  if (o.table) table.add_file(*o.table);
  unsigned threads = o.threads;
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  if (o.all_times) {
    const unsigned cores = o.jobs != 0 ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    const Sources sources = open_sources(o.files, {o.centre, std::min(cores, 8u)}, o.plan.time.time);
    AllTimesOptions a;
    a.outdir = o.outdir;
    a.name = o.name;
    a.plan = o.plan;
    a.cores = cores;
    a.quiet = o.quiet;
    a.terminal = ::isatty(::fileno(err)) == 1;
    return ingest_all_times(a, sources, table, out, err);
  }
  const Sources sources = open_sources(o.files, {o.centre, threads}, o.plan.time.time);
  const Plan plan = make_plan(sources, table, o.plan);
  // Only now is anything made in OUTDIR.
  const std::string text = write_case(plan, sources, o.outdir, o.name, threads);
  if (!o.quiet) put(out, text);
  return cli::status_ok;
}

// A short option with its value attached: "-j4".
bool attached_value(const cli::Args& a, std::string_view name, std::string& out) {
  if (!a.is_option() || a.arg().size() <= name.size() || !a.arg().starts_with(name)) return false;
  out = a.arg().substr(name.size());
  return true;
}

bool valid_name(const std::string& n) {
  if (n.empty() || n == "." || n == ".." || n.size() > max_name) return false;
  if (n == layout::run_description_file || n == layout::date_file || n == report_file) return false;
  return std::all_of(n.begin(), n.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-' || c == '+';
  });
}

}  // namespace

Options parse_options(const std::vector<std::string>& args) {
  using cli::UsageError;
  Options o;
  cli::Args a(args);
  std::string v;
  std::vector<std::string> operands;
  while (a.next()) {
    if (a.value("--name", v)) {
      if (!valid_name(v))
        throw UsageError("--name wants a plain file name of letters, digits and . _ - + (at most " +
                         decimal(max_name) + " characters, not " + std::string(layout::run_description_file) +
                         ", " + layout::date_file + " or " + report_file + "), not \"" + v + "\"");
      o.name = v;
    } else if (a.value("--levels", v)) {
      std::vector<float> levels;
      for (const std::string& item : cli::split_list(v)) {
        const double p = cli::real_value("--levels", item);
        if (!(p > 0.0 && p < 1e6)) throw UsageError("--levels wants pressures in hPa above 0, not " + item);
        const auto f = static_cast<float>(p);
        if (std::find(levels.begin(), levels.end(), f) != levels.end())
          throw UsageError("--levels names " + item + " hPa twice");
        levels.push_back(f);
      }
      o.plan.levels = levels;
    } else if (a.value("--area", v)) {
      const auto items = cli::split_list(v);
      if (items.size() != 4) throw UsageError("--area wants S,W,N,E in degrees, not \"" + v + "\"");
      Area area;
      double* parts[4] = {&area.south, &area.west, &area.north, &area.east};
      for (std::size_t n = 0; n < 4; ++n) *parts[n] = cli::real_value("--area", items[n]);
      if (!(area.south >= -90 && area.north <= 90 && area.south <= area.north))
        throw UsageError("--area wants -90 <= S <= N <= 90, not \"" + v + "\"");
      if (!(std::fabs(area.west) <= 360 && std::fabs(area.east) <= 360))
        throw UsageError("--area wants longitudes W and E between -360 and 360, not \"" + v + "\"");
      o.plan.area = area;
    } else if (a.value("--time", v)) {
      const auto t = parse_time(v);
      if (!t) throw UsageError("--time wants a validity time YYYYMMDDHH, not \"" + v + "\"");
      o.plan.time.time = t;
    } else if (a.value("--member", v)) {
      const long long m = cli::integer_value("--member", v);
      if (m < 0 || m > 100000) throw UsageError("--member wants a member number from 0, not " + v);
      o.plan.time.member = static_cast<long>(m);
    } else if (a.value("--rh", v)) {
      if (v == "convert") o.plan.rh = RhMode::convert;
      else if (v == "as-is") o.plan.rh = RhMode::as_is;
      else throw UsageError("--rh wants convert or as-is, not \"" + v + "\"");
    } else if (a.flag("--no-fill")) {
      o.plan.fill = false;
    } else if (a.value("--label", v)) {
      const bool word = !v.empty() && v.size() <= 20 &&
                        std::all_of(v.begin(), v.end(), [](char c) { return c > ' ' && c < 127; });
      if (!word)
        throw UsageError("--label wants one word of at most 20 printable characters (the converter keeps 20 "
                         "and shows what comes before a blank), not \"" + v + "\"");
      o.plan.label = v;
    } else if (a.value("--centre", v)) {
      o.centre = centre_by_name(v);
      if (!o.centre) throw UsageError("--centre wants ecmwf, ncep or none, not \"" + v + "\"");
    } else if (a.value("--table", v)) {
      o.table = v;
    } else if (a.value("--threads", v)) {
      const long long n = cli::integer_value("--threads", v);
      if (n < 1 || n > 256) throw UsageError("--threads wants 1 to 256, not " + v);
      o.threads = static_cast<unsigned>(n);
    } else if (a.flag("--all-times")) {
      o.all_times = true;
    } else if (a.value("--jobs", v) || a.value("-j", v) || attached_value(a, "-j", v)) {
      const long long n = cli::integer_value("-j", v);
      if (n < 1 || n > 256) throw UsageError("-j wants 1 to 256 workers, not " + v);
      o.jobs = static_cast<unsigned>(n);
    } else if (a.flag("--quiet")) {
      o.quiet = true;
    } else if (a.is_option()) {
      a.unknown();
    } else {
      operands.push_back(a.arg());
    }
  }
  if (operands.empty()) throw UsageError("no output directory and no input file given");
  if (operands.size() < 2) throw UsageError("no GRIB or netCDF file given after the output directory " + operands[0]);
  o.outdir = operands[0];
  if (o.outdir.empty()) throw UsageError("the output directory is an empty name");
  o.files.assign(operands.begin() + 1, operands.end());
  if (o.all_times && o.plan.time.time)
    throw UsageError("--all-times makes a case of every validity time; --time chooses one: give one of them");
  if (o.all_times && o.threads != 0)
    throw UsageError("--all-times shares its workers among the cases with -j N; --threads is for one case");
  if (!o.all_times && o.jobs != 0)
    throw UsageError("-j N goes with --all-times; the threads of one case are chosen with --threads");
  return o;
}

int ingest(const Options& o, std::FILE* out, std::FILE* err) {
  // Planes of millions of points come and go (ecCodes allocates its own
  // for bitmapped fields): blocks of a megabyte and more are mapped and
  // given back when freed, rather than kept by the allocator, so that
  // memory stays at a few planes per worker.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  try {
    return run_ingest(o, out, err);
  } catch (const RunFailure& e) {
    put(err, "conv2model ingest: " + std::string(e.what()) + "\n");
    return cli::status_failure;
  } catch (const std::bad_alloc&) {
    put(err, "conv2model ingest: no memory for the case\n");
    return cli::status_failure;
  } catch (const std::system_error& e) {
    put(err, "conv2model ingest: " + std::string(e.what()) + "\n");
    return cli::status_failure;
  }
}

}  // namespace c2m::ingest

namespace c2m::cli {

namespace {

constexpr std::string_view synopsis =
    "conv2model ingest [OPTIONS] OUTDIR FILE...\n"
    "       conv2model ingest --all-times [-j N] [OPTIONS] OUTDIR FILE...";

const std::string& help_text() {
  static const std::string text =
      "Makes a case that converts as it stands from GRIB files (edition 1 or 2) and\n"
      "netCDF files (classic, 64-bit offset, 64-bit data or netCDF-4), told from the\n"
      "content and mixed freely (a pressure-level file, a surface file, an invariant\n"
      "file), for one validity time.  OUTDIR (made if missing) receives\n"
      "the input grid file (case.bin), the run description InputModelInf.txt and the\n"
      "date file adate.txt, all whole or none: a failure leaves OUTDIR as it was.  The\n"
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
      "at that time, say) is reported and the other times go on; standard output\n"
      "ends with the summary, a line per time, made or not and why.\n"
      "\n"
      "Fields: geopotential (z, else gh x 9.80665), temperature, u and v on every\n"
      "isobaric level that has all four; relative humidity over water made from q\n"
      "where present, else from r over the centre's mixture of water and ice (ECMWF\n"
      "and NCEP definitions; other centres taken as over water); q as it is, else\n"
      "derived from t and RH; land-sea mask (else 1 where soil moisture of layer 1 is\n"
      "defined); mean sea-level and surface pressure (Pa to hPa); surface\n"
      "geopotential (z, else orog or gh x 9.80665); soil temperature and moisture of\n"
      "layers 1 to 4 (ECMWF's stl1..4 and swvl1..4, else layers in order of depth).\n"
      "An interior level without humidity is filled linearly in ln p from the\n"
      "levels below and above; humidity missing at the bottom or top, and soil\n"
      "layers 3 and 4, are written missing for the converter's own patches.\n"
      "Undefined points (bitmaps, missing values) become 9.999e20.  Only regular\n"
      "latitude/longitude grids are taken, all fields on one grid, in any scanning\n"
      "order.\n"
      "\n"
      "netCDF: a field is a latitude/longitude plane of a variable, which may also\n"
      "lie on a pressure axis (units hPa, millibars or Pa), a time axis (CF units\n"
      "such as 'hours since 1900-01-01', calendar standard, gregorian or\n"
      "proleptic_gregorian), an ensemble axis (number) and any axis of length 1, in\n"
      "any order; latitudes either way round, longitudes 0..360 or -180..180.  A\n"
      "variable is known by its name as in ERA5 files (z r q t u v on pressure\n"
      "levels; lsm msl sp z stl1..stl4 swvl1..swvl4), else by its standard_name\n"
      "(geopotential, geopotential_height, relative_humidity, specific_humidity,\n"
      "air_temperature, eastward_wind, northward_wind, land_binary_mask or\n"
      "land_area_fraction, air_pressure_at_mean_sea_level, surface_air_pressure,\n"
      "surface_geopotential, surface_altitude), as the parameter of the field table\n"
      "below; other variables by nc:NAME entries of --table.  Packed values\n"
      "(scale_factor, add_offset) are unpacked; _FillValue and missing_value points\n"
      "are undefined; pressures in hPa become Pa, relative humidity as a fraction\n"
      "%, temperatures in degrees C kelvin.  The centre (for the definition of\n"
      "relative humidity) comes from the institution and source attributes, or\n"
      "--centre.  A variable without a time axis holds at every time of the others.\n"
      "\n"
      "Options:\n"
      "  --name NAME        the input grid file's name (default case.bin)\n"
      "  --levels P,P,...   only these levels (hPa); default every complete one\n"
      "  --area S,W,N,E     only the grid points inside this area (degrees); it may\n"
      "                     cross 0 or 180 degrees of longitude on a global grid\n"
      "  --time YYYYMMDDHH  the validity time to take, when the files hold several\n"
      "  --member N         the ensemble member to take, when they hold several\n"
      "  --centre ecmwf|ncep|none\n"
      "                     the centre of the netCDF files, whatever their\n"
      "                     attributes say (ERA5 files: ecmwf); none takes their\n"
      "                     relative humidity as over water\n"
      "  --rh convert|as-is relative humidity r converted to over water (default),\n"
      "                     or taken unchanged (for r that is over water already)\n"
      "  --no-fill          leave an interior level without humidity missing (the\n"
      "                     conversion will then stop)\n"
      "  --label WORD       the case's label, one word of at most 20 characters\n"
      "                     (default: the centre and the validity time)\n"
      "  --table FILE       field table entries that add to or override the\n"
      "                     built-in ones (below)\n"
      "  --threads N        threads that read and decode (default: one per core,\n"
      "                     at most 8)\n"
      "  --all-times        one case per validity time, in OUTDIR/YYYYMMDDHH\n"
      "  -j N, --jobs N     with --all-times: workers for all the cases together\n"
      "                     (default: one per core)\n"
      "  --quiet            print nothing but failures (ingest.txt is still kept)\n"
      "  -h, --help         this text\n"
      "\n"
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
      "\n" +
      [] {
        std::string t, line;
        for (const char c : c2m::ingest::table_text()) {
          line += c;
          if (c == '\n') {
            t += "    " + line;
            line.clear();
          }
        }
        return t;
      }() +
      "\n"
      "Examples:\n"
      "  conv2model ingest cases/gfs gfs.t12z.pgrbf120.2p5deg.grib2\n"
      "  conv2model ingest --area 30,-30,75,45 cases/europe pl.grib sfc.grib invariant.grib\n"
      "  conv2model ingest --time 2024010112 --levels 1000,850,700,500 cases/a forecast.grib2\n"
      "  conv2model ingest --time 2024010112 cases/era5 era5-pressure.nc era5-single.nc\n"
      "  conv2model ingest --all-times -j 4 cases/jan era5-pl-jan.grib era5-sfc-jan.grib\n"
      "\n"
      "Exit status: 0 the case was made (with --all-times: every case); 2 wrong\n"
      "usage, any case of --all-times not made, or an input or output failure: a\n"
      "file that is neither GRIB nor netCDF, a truncated or corrupt message or\n"
      "header, sizes beyond what the file holds or the limits (a plane of\n"
      "536,870,911 points, 100,000 levels, 100,000 times, 1,000,000 fields of a\n"
      "netCDF file), a time axis of unknown units or calendar, a grid that is not\n"
      "regular latitude/longitude, fields on different grids, several validity\n"
      "times or members, a required field absent (the message names the file, the\n"
      "message or variable, and the cause); 128 + N stopped by signal N (the files\n"
      "in OUTDIR are as they were).\n";
  return text;
}

int run(const std::vector<std::string>& args, Streams& io) {
  const ingest::Options o = ingest::parse_options(args);
  return ingest::ingest(o, io.out, io.err);
}

}  // namespace

const Subcommand& ingest_subcommand() {
  static const Subcommand sub{"ingest", "make a case from GRIB or netCDF files", synopsis, help_text(), run};
  return sub;
}

}  // namespace c2m::cli
