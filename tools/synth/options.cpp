#include "options.hpp"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

#include "kit/numbers.hpp"

namespace synth {

namespace {

// The converter holds a record of im*jm 4-byte reals in a 32-bit byte count.
constexpr std::int64_t max_points = 536870911;
constexpr int max_levels = 100;

[[noreturn]] void bad(const std::string& what) { throw UsageError(what); }

std::string in_quotes(std::string_view v) { return "'" + std::string(v) + "'"; }

template <class Int>
Int parse_integer(std::string_view option, std::string_view text) {
  Int value{};
  const c2m::NumberRead read = c2m::read_integer(text, value);
  if (read == c2m::NumberRead::out_of_range)
    bad(std::string(option) + " value " + in_quotes(text) + " is out of range");
  if (read != c2m::NumberRead::done)
    bad(std::string(option) + " expects a whole number, got " + in_quotes(text));
  return value;
}

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

std::string degrees(std::int32_t milli) { return c2m::shortest_double(milli / 1000.0); }

bool has_blank_or_control(std::string_view s) {
  for (unsigned char c : s)
    if (c <= ' ' || c == 0x7f) return true;
  return false;
}

struct Raw {
  std::optional<std::string> dir, im, jm, lm, res, south, north, west, east, seed, name, date, label;
  std::optional<std::string> grib, packing;
  bool global = false;
  bool grib1 = false;
  bool help = false;
};

Raw collect(const std::vector<std::string>& args) {
  Raw raw;
  struct Valued {
    std::string_view name;
    std::optional<std::string> Raw::*field;
  };
  static constexpr Valued valued[] = {
      {"--im", &Raw::im},       {"--jm", &Raw::jm},       {"--lm", &Raw::lm},
      {"--res", &Raw::res},     {"--south", &Raw::south}, {"--north", &Raw::north},
      {"--west", &Raw::west},   {"--east", &Raw::east},   {"--seed", &Raw::seed},
      {"--name", &Raw::name},   {"--date", &Raw::date},   {"--label", &Raw::label},
      {"--grib", &Raw::grib},   {"--packing", &Raw::packing},
  };
  for (std::size_t a = 0; a < args.size(); ++a) {
    const std::string& arg = args[a];
    if (arg == "--help" || arg == "-h") {
      raw.help = true;
      continue;
    }
    if (arg == "--global") {
      raw.global = true;
      continue;
    }
    if (arg == "--grib1") {
      raw.grib1 = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      const std::size_t eq = arg.find('=');
      const std::string_view key = std::string_view(arg).substr(0, eq);
      const Valued* match = nullptr;
      for (const Valued& v : valued)
        if (v.name == key) match = &v;
      if (!match) bad("unknown option " + in_quotes(key) + " (see --help)");
      std::string value;
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
      } else {
        if (a + 1 >= args.size()) bad(std::string(key) + " needs a value");
        value = args[++a];
      }
      if (raw.*(match->field)) bad(std::string(key) + " given more than once");
      raw.*(match->field) = value;
      continue;
    }
    if (raw.dir) bad("more than one output directory given: " + in_quotes(*raw.dir) + " and " + in_quotes(arg));
    raw.dir = arg;
  }
  return raw;
}

}  // namespace

Command parse_command_line(const std::vector<std::string>& args) {
  const Raw raw = collect(args);
  Command cmd;
  if (raw.help) {
    cmd.help = true;
    return cmd;
  }
  if (!raw.dir || raw.dir->empty()) bad("no output directory given (see --help)");
  cmd.dir = *raw.dir;
  if (raw.grib) {
    if (raw.grib->empty()) bad("--grib needs a file name");
    cmd.grib = *raw.grib;
  }
  if ((raw.grib1 || raw.packing) && !raw.grib) bad("--grib1 and --packing go with --grib FILE");
  cmd.grib1 = raw.grib1;
  if (raw.packing) {
    if (*raw.packing == "grid_ieee")
      cmd.ieee = true;
    else if (*raw.packing != "grid_simple")
      bad("--packing is grid_simple (16 bits, the usual) or grid_ieee (exact), not " +
          in_quotes(*raw.packing));
  }
  CaseSettings& s = cmd.settings;

  const int lm = raw.lm ? parse_integer<int>("--lm", *raw.lm) : 17;
  if (lm < 0 || lm > max_levels)
    bad("--lm must be between 0 and " + c2m::decimal(max_levels) + ", got " + c2m::decimal(lm));
  s.pressures = standard_pressures(lm);

  const std::int32_t res = parse_millidegrees("--res", raw.res.value_or("0.5"));
  if (res <= 0 || res > 90000) bad("--res must be above 0 and at most 90 degrees, got " + in_quotes(*raw.res));
  s.grid.di = res;
  s.grid.dj = res;

  std::int64_t im = 0, jm = 0;
  if (raw.global) {
    for (const auto& [given, name] : {std::pair{raw.im.has_value(), "--im"}, std::pair{raw.jm.has_value(), "--jm"},
                                      std::pair{raw.south.has_value(), "--south"},
                                      std::pair{raw.north.has_value(), "--north"},
                                      std::pair{raw.west.has_value(), "--west"},
                                      std::pair{raw.east.has_value(), "--east"}})
      if (given) bad(std::string(name) + " cannot be combined with --global (the grid follows from --res)");
    if (360000 % res != 0 || 180000 % res != 0)
      bad("--res " + degrees(res) + " does not divide 360 and 180 degrees evenly, as a global grid needs");
    im = 360000 / res;
    jm = 180000 / res + 1;
    s.grid.lat_first = -90000;
    s.grid.lon_first = 0;
  } else {
    // Regional: the south-west corner, and either the far edges or the sizes.
    const std::int32_t south = parse_millidegrees("--south", raw.south.value_or("35"));
    const std::int32_t west = parse_millidegrees("--west", raw.west.value_or("-25"));
    if (raw.im && raw.east) bad("give --east or --im, not both");
    if (raw.jm && raw.north) bad("give --north or --jm, not both");
    if (south < -90000 || south > 90000) bad("--south must lie between -90 and 90, got " + degrees(south));
    if (west < -180000 || west >= 360000) bad("--west must lie in [-180, 360), got " + degrees(west));
    if (raw.im) {
      im = parse_integer<std::int64_t>("--im", *raw.im);
      if (im < 2) bad("--im must be at least 2, got " + *raw.im);
      if ((im - 1) * res >= 360000) bad("--im " + *raw.im + " at --res " + degrees(res) + " wraps round the globe; use --global");
    } else {
      const std::int32_t east = parse_millidegrees("--east", raw.east.value_or("30"));
      if (east <= west) bad("--east (" + degrees(east) + ") must lie east of --west (" + degrees(west) + ")");
      if (east - west >= 360000) bad("--east and --west span 360 degrees or more; use --global");
      if ((east - west) % res != 0)
        bad("the span from --west " + degrees(west) + " to --east " + degrees(east) +
            " is not a whole number of --res " + degrees(res) + " steps");
      im = (east - west) / res + 1;
    }
    if (raw.jm) {
      jm = parse_integer<std::int64_t>("--jm", *raw.jm);
      if (jm < 2) bad("--jm must be at least 2, got " + *raw.jm);
      if (south + (jm - 1) * res > 90000)
        bad("--jm " + *raw.jm + " at --res " + degrees(res) + " from --south " + degrees(south) + " passes the North Pole");
    } else {
      const std::int32_t north = parse_millidegrees("--north", raw.north.value_or("65"));
      if (north > 90000) bad("--north must lie between -90 and 90, got " + degrees(north));
      if (north <= south) bad("--north (" + degrees(north) + ") must lie north of --south (" + degrees(south) + ")");
      if ((north - south) % res != 0)
        bad("the span from --south " + degrees(south) + " to --north " + degrees(north) +
            " is not a whole number of --res " + degrees(res) + " steps");
      jm = (north - south) / res + 1;
    }
    s.grid.lat_first = south;
    s.grid.lon_first = west;
  }
  if (im * jm > max_points)
    bad("grid of " + c2m::decimal(im) + " x " + c2m::decimal(jm) + " points is too large: a record may hold at most " +
        c2m::decimal(max_points) + " points");
  s.grid.im = static_cast<int>(im);
  s.grid.jm = static_cast<int>(jm);

  s.seed = raw.seed ? parse_integer<std::uint64_t>("--seed", *raw.seed) : 42;

  s.file_name = raw.name.value_or("case.bin");
  if (s.file_name.empty()) bad("--name must not be empty");
  if (has_blank_or_control(s.file_name))
    bad("--name " + in_quotes(s.file_name) + " holds a blank or control character; the converter cuts file names at the first blank");
  if (s.file_name.find('/') != std::string::npos) bad("--name " + in_quotes(s.file_name) + " must be a plain file name, without '/'");
  if (s.file_name == "." || s.file_name == ".." || s.file_name == "InputModelInf.txt" || s.file_name == "adate.txt")
    bad("--name " + in_quotes(s.file_name) + " would clash with the case's other files");

  s.date = raw.date.value_or("2026120800");
  if (s.date.empty() || has_blank_or_control(s.date) || s.date.find_first_of(",/'\"") != std::string::npos)
    bad("--date must be a single word without blanks, commas, slashes or quotes, got " + in_quotes(s.date));

  if (raw.label) {
    s.label = *raw.label;
    if (s.label.size() > 20)
      bad("--label " + in_quotes(s.label) + " is longer than 20 characters (" + c2m::decimal(s.label.size()) + ")");
    for (unsigned char c : s.label)
      if (c < ' ' || c == 0x7f) bad("--label must not hold control characters or line breaks");
  } else {
    s.label = ("synth seed " + c2m::decimal(s.seed)).substr(0, 20);
  }
  return cmd;
}

std::string help_text() {
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

Grid (the default is a regional 0.5-degree grid over Europe and the eastern
North Atlantic, 35N-65N, 25W-30E, 111 x 61 points):
  --res DEG       grid spacing in degrees, both directions (default 0.5); must
                  be a whole number of thousandths of a degree
  --global        whole globe: latitudes -90..90, longitudes 0..360-res
                  (0.25 gives 1440 x 721 points)
  --south DEG     latitude of the southern row (default 35)
  --north DEG     latitude of the northern row (default 65)
  --west DEG      longitude of the western column (default -25)
  --east DEG      longitude of the eastern column (default 30)
  --im N          points west to east, instead of --east
  --jm N          rows south to north, instead of --north
  --lm N          pressure levels, 0..100 (default 17): 17 and 26 give the
                  standard sets from 1000 to 10 hPa, other counts up to 26 a
                  thinned 26-level set, more than 26 log-spaced levels from
                  1000 to 1 hPa

Case:
  --seed N        seed of the weather (default 42)
  --name FILE     name of the input grid file (default case.bin)
  --date WORD     date word for adate.txt (default 2026120800); when it starts
                  with YYYYMMDD the month and day set the season
  --label TEXT    label on line 1 of the run description, at most 20
                  characters (default "synth seed N")
  -h, --help      show this text

The case as GRIB too (ECMWF's parameter conventions: z, r, q, t, u, v on
pressure levels; lsm, msl, sp, z, stl1..4, swvl1..4 at the surface), for
trying `conv2model ingest` on it:
  --grib FILE     write the case as GRIB 2 to FILE as well (relative to the
                  current directory)
  --grib1         GRIB 1 instead
  --packing P     grid_simple (16 bits a value, the usual; the default) or
                  grid_ieee (64-bit reals: ingest with --rh as-is gives back
                  the same input grid file bit for bit)

Options take their value as the next argument or after '=' (--res=0.25).
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

}  // namespace synth
