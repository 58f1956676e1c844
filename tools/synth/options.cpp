#include "options.hpp"

#include <cmath>
#include <cstdint>
#include <string_view>

#include "kit/numbers.hpp"

namespace synth {

using c2m::cli::Kind;
using c2m::cli::Option;
using c2m::cli::ParsedOptions;

namespace {

// The converter holds a record of im*jm 4-byte reals in a 32-bit byte count.
constexpr std::int64_t max_points = 536870911;
constexpr int max_levels = 100;

[[noreturn]] void bad(const std::string& what) { throw UsageError(what); }

std::string in_quotes(std::string_view v) { return "'" + std::string(v) + "'"; }

// An angle in degrees, returned in thousandths of a degree, the unit of the
// grid integers; finer angles cannot be described and are refused.
std::int32_t parse_millidegrees(std::string_view option, std::string_view text) {
  double value = 0.0;
  if (c2m::read_real(text, value) != c2m::NumberRead::done || !std::isfinite(value))
    bad(std::string(option) + " expects a number of degrees, got " + in_quotes(text));
  if (std::abs(value) > 1000.0) bad(std::string(option) + " value " + in_quotes(text) + " is out of range");
  const double milli = value * 1000.0;
  const double rounded = std::round(milli);
  if (std::abs(milli - rounded) > 1e-6)
    bad(std::string(option) + " value " + in_quotes(text) +
        " is not a whole number of thousandths of a degree");
  return static_cast<std::int32_t>(rounded);
}

void millidegrees(std::string_view option, const std::string& text) { parse_millidegrees(option, text); }

// The angle of OPTION, or of DEFAULT_TEXT when it is not given.
std::int32_t angle(const ParsedOptions& p, std::string_view option, std::string_view default_text) {
  return parse_millidegrees(option, p.given(option) ? p.text(option) : std::string(default_text));
}

std::string degrees(std::int32_t milli) { return c2m::shortest_double(milli / 1000.0); }

bool has_blank_or_control(std::string_view s) {
  for (unsigned char c : s)
    if (c <= ' ' || c == 0x7f) return true;
  return false;
}

std::string second_directory(const std::string& held, const std::string& next) {
  return "more than one output directory given: " + in_quotes(held) + " and " + in_quotes(next);
}

constexpr Option option_rows[] = {
    {.name = "--res", .kind = Kind::real, .value = "DEG",
     .help = "grid spacing in degrees, both directions (default 0.5); must\n"
             "be a whole number of thousandths of a degree",
     .heading = "Grid (the default is a regional 0.5-degree grid over Europe and the eastern\n"
                "North Atlantic, 35N-65N, 25W-30E, 111 x 61 points):",
     .check = millidegrees},
    {.name = "--global",
     .help = "whole globe: latitudes -90..90, longitudes 0..360-res\n"
             "(0.25 gives 1440 x 721 points)"},
    {.name = "--south", .kind = Kind::real, .value = "DEG",
     .help = "latitude of the southern row (default 35)", .check = millidegrees},
    {.name = "--north", .kind = Kind::real, .value = "DEG",
     .help = "latitude of the northern row (default 65)", .check = millidegrees},
    {.name = "--west", .kind = Kind::real, .value = "DEG",
     .help = "longitude of the western column (default -25)", .check = millidegrees},
    {.name = "--east", .kind = Kind::real, .value = "DEG",
     .help = "longitude of the eastern column (default 30)", .check = millidegrees},
    {.name = "--im", .kind = Kind::integer, .value = "N", .help = "points west to east, instead of --east"},
    {.name = "--jm", .kind = Kind::integer, .value = "N", .help = "rows south to north, instead of --north"},
    {.name = "--lm", .kind = Kind::integer, .value = "N",
     .help = "pressure levels, 0..100 (default 17): 17 and 26 give the\n"
             "standard sets from 1000 to 10 hPa, other counts up to 26 a\n"
             "thinned 26-level set, more than 26 log-spaced levels from\n"
             "1000 to 1 hPa"},
    {.name = "--seed", .kind = Kind::integer, .value = "N", .help = "seed of the weather (default 42)",
     .heading = "Case:"},
    {.name = "--name", .kind = Kind::text, .value = "FILE",
     .help = "name of the input grid file (default case.bin)"},
    {.name = "--date", .kind = Kind::text, .value = "WORD",
     .help = "date word for adate.txt (default 2026120800); when it starts\n"
             "with YYYYMMDD the month and day set the season"},
    {.name = "--label", .kind = Kind::text, .value = "TEXT",
     .help = "label on line 1 of the run description, at most 20\n"
             "characters (default \"synth seed N\")"},
    {.name = "-h", .alias = "--help", .help = "show this text"},
    {.name = "--grib", .kind = Kind::text, .value = "FILE",
     .help = "write the case as GRIB 2 to FILE as well (relative to the\n"
             "current directory)",
     .heading = "The case as GRIB too (ECMWF's parameter conventions: z, r, q, t, u, v on\n"
                "pressure levels; lsm, msl, sp, z, stl1..4, swvl1..4 at the surface), for\n"
                "trying `conv2model ingest` on it:"},
    {.name = "--grib1", .help = "GRIB 1 instead"},
    {.name = "--packing", .kind = Kind::choice, .value = "P",
     .help = "grid_simple (16 bits a value, the usual; the default) or\n"
             "grid_ieee (64-bit reals: ingest with --rh as-is gives back\n"
             "the same input grid file bit for bit)",
     .choices = "grid_simple|grid_ieee", .allowed = "grid_simple (16 bits, the usual) or grid_ieee (exact)"},
};

constexpr c2m::cli::OptionTable table{option_rows, c2m::cli::Reading::collected,
                                      {1, second_directory, false}, 18};

// The whole globe at RES: every longitude from 0, latitudes -90 to 90.
void global_grid(const ParsedOptions& p, std::int32_t res, Grid& g, std::int64_t& im, std::int64_t& jm) {
  for (const char* name : {"--im", "--jm", "--south", "--north", "--west", "--east"})
    if (p.given(name)) bad(std::string(name) + " cannot be combined with --global (the grid follows from --res)");
  if (360000 % res != 0 || 180000 % res != 0)
    bad("--res " + degrees(res) + " does not divide 360 and 180 degrees evenly, as a global grid needs");
  im = 360000 / res;
  jm = 180000 / res + 1;
  g.lat_first = -90000;
  g.lon_first = 0;
}

// Points west to east from WEST: --im of them, or up to --east.
std::int64_t columns(const ParsedOptions& p, std::int32_t res, std::int32_t west) {
  if (p.given("--im")) {
    const auto im = p.integer<std::int64_t>("--im");
    if (im < 2) bad("--im must be at least 2, got " + p.text("--im"));
    if ((im - 1) * res >= 360000)
      bad("--im " + p.text("--im") + " at --res " + degrees(res) + " wraps round the globe; use --global");
    return im;
  }
  const std::int32_t east = angle(p, "--east", "30");
  if (east <= west) bad("--east (" + degrees(east) + ") must lie east of --west (" + degrees(west) + ")");
  if (east - west >= 360000) bad("--east and --west span 360 degrees or more; use --global");
  if ((east - west) % res != 0)
    bad("the span from --west " + degrees(west) + " to --east " + degrees(east) +
        " is not a whole number of --res " + degrees(res) + " steps");
  return (east - west) / res + 1;
}

// Rows south to north from SOUTH: --jm of them, or up to --north.
std::int64_t rows(const ParsedOptions& p, std::int32_t res, std::int32_t south) {
  if (p.given("--jm")) {
    const auto jm = p.integer<std::int64_t>("--jm");
    if (jm < 2) bad("--jm must be at least 2, got " + p.text("--jm"));
    if (south + (jm - 1) * res > 90000)
      bad("--jm " + p.text("--jm") + " at --res " + degrees(res) + " from --south " + degrees(south) +
          " passes the North Pole");
    return jm;
  }
  const std::int32_t north = angle(p, "--north", "65");
  if (north > 90000) bad("--north must lie between -90 and 90, got " + degrees(north));
  if (north <= south) bad("--north (" + degrees(north) + ") must lie north of --south (" + degrees(south) + ")");
  if ((north - south) % res != 0)
    bad("the span from --south " + degrees(south) + " to --north " + degrees(north) +
        " is not a whole number of --res " + degrees(res) + " steps");
  return (north - south) / res + 1;
}

// Regional: the south-west corner, and either the far edges or the sizes.
void regional_grid(const ParsedOptions& p, std::int32_t res, Grid& g, std::int64_t& im, std::int64_t& jm) {
  const std::int32_t south = angle(p, "--south", "35");
  const std::int32_t west = angle(p, "--west", "-25");
  if (p.given("--im") && p.given("--east")) bad("give --east or --im, not both");
  if (p.given("--jm") && p.given("--north")) bad("give --north or --jm, not both");
  if (south < -90000 || south > 90000) bad("--south must lie between -90 and 90, got " + degrees(south));
  if (west < -180000 || west >= 360000) bad("--west must lie in [-180, 360), got " + degrees(west));
  im = columns(p, res, west);
  jm = rows(p, res, south);
  g.lat_first = south;
  g.lon_first = west;
}

void grid(const ParsedOptions& p, CaseSettings& s) {
  const std::int32_t res = angle(p, "--res", "0.5");
  if (res <= 0 || res > 90000) bad("--res must be above 0 and at most 90 degrees, got " + in_quotes(p.text("--res")));
  s.grid.di = res;
  s.grid.dj = res;
  std::int64_t im = 0, jm = 0;
  if (p.given("--global"))
    global_grid(p, res, s.grid, im, jm);
  else
    regional_grid(p, res, s.grid, im, jm);
  if (im * jm > max_points)
    bad("grid of " + c2m::decimal(im) + " x " + c2m::decimal(jm) + " points is too large: a record may hold at most " +
        c2m::decimal(max_points) + " points");
  s.grid.im = static_cast<int>(im);
  s.grid.jm = static_cast<int>(jm);
}

// The seed, the file's name, the date word and the label.
void case_words(const ParsedOptions& p, CaseSettings& s) {
  s.seed = p.given("--seed") ? p.integer<std::uint64_t>("--seed") : 42;

  s.file_name = p.given("--name") ? p.text("--name") : "case.bin";
  if (s.file_name.empty()) bad("--name must not be empty");
  if (has_blank_or_control(s.file_name))
    bad("--name " + in_quotes(s.file_name) + " holds a blank or control character; the converter cuts file names at the first blank");
  if (s.file_name.find('/') != std::string::npos) bad("--name " + in_quotes(s.file_name) + " must be a plain file name, without '/'");
  if (s.file_name == "." || s.file_name == ".." || s.file_name == "InputModelInf.txt" || s.file_name == "adate.txt")
    bad("--name " + in_quotes(s.file_name) + " would clash with the case's other files");

  s.date = p.given("--date") ? p.text("--date") : "2026120800";
  if (s.date.empty() || has_blank_or_control(s.date) || s.date.find_first_of(",/'\"") != std::string::npos)
    bad("--date must be a single word without blanks, commas, slashes or quotes, got " + in_quotes(s.date));

  if (p.given("--label")) {
    s.label = p.text("--label");
    if (s.label.size() > 20)
      bad("--label " + in_quotes(s.label) + " is longer than 20 characters (" + c2m::decimal(s.label.size()) + ")");
    for (unsigned char c : s.label)
      if (c < ' ' || c == 0x7f) bad("--label must not hold control characters or line breaks");
  } else {
    s.label = ("synth seed " + c2m::decimal(s.seed)).substr(0, 20);
  }
}

}  // namespace

const c2m::cli::OptionTable& option_table() { return table; }

std::string_view about_text() {
  return R"(Writes a synthetic input case for the converter into DIR (created if needed):
  InputModelInf.txt   run description: label, sizes, grid integers, pressures
  adate.txt           date word
  case.bin            input grid file: (6*lm + 12) records of im*jm
                      little-endian 4-byte reals, rows north to south

The atmosphere is smooth and plausible: hydrostatic geopotential, a lapse-rate
temperature profile with a tropopause, jets near 250 hPa, planetary waves,
surface lows and highs, the real continents with terrain, and soil fields over
land with the undefined mark 9.999e20 over sea.  The same options and seed
always give the same bytes.

)";
}

std::string_view more_text() {
  return R"(Options take their value as the next argument or after '=' (--res=0.25).
The three files appear together when the last record is written; a run
that fails or is stopped leaves whatever stood there before.

Examples:
  conv2model synth sample                          default regional case
  conv2model synth eu --res 0.25 --lm 26 --seed 7  finer regional case
  conv2model synth tiny --im 8 --jm 6 --lm 4 --res 2 --south 40 --west -10
  conv2model synth bench --global --res 0.25 --lm 26
  conv2model synth world --global --res 1 --date 2026070100 --name gfs.bin
  conv2model synth eu --grib eu.grib2 && conv2model ingest eu-again eu.grib2

Exit status: 0 done; 2 bad arguments, or a file that could not be written.
)";
}

Command parse_command_line(const std::vector<std::string>& args) {
  const ParsedOptions p = parse_options(table, args);
  Command cmd;
  if (p.given("--help")) {
    cmd.help = true;
    return cmd;
  }
  if (p.operands().empty() || p.operands()[0].empty()) bad("no output directory given (see --help)");
  cmd.dir = p.operands()[0];
  if (p.given("--grib")) {
    if (p.text("--grib").empty()) bad("--grib needs a file name");
    cmd.grib = p.text("--grib");
  }
  if ((p.given("--grib1") || p.given("--packing")) && !p.given("--grib")) bad("--grib1 and --packing go with --grib FILE");
  cmd.grib1 = p.given("--grib1");
  if (p.given("--packing")) cmd.ieee = p.text("--packing") == "grid_ieee";

  CaseSettings& s = cmd.settings;
  const int lm = p.given("--lm") ? p.integer<int>("--lm") : 17;
  if (lm < 0 || lm > max_levels)
    bad("--lm must be between 0 and " + c2m::decimal(max_levels) + ", got " + c2m::decimal(lm));
  s.pressures = standard_pressures(lm);
  grid(p, s);
  case_words(p, s);
  return cmd;
}

}  // namespace synth
