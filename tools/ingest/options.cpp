// The command line of conv2model ingest: its option table, the checks that
// are its own, and the Options a run is made from.  Every value is checked
// where it stands on the command line; what the options say together, and
// the operands (the output directory, then the files), after.
#include <algorithm>
#include <cmath>

#include "case/case_dir.hpp"
#include "command.hpp"
#include "ingest.hpp"
#include "kit/numbers.hpp"
#include "layout/run_description_text.hpp"

namespace c2m::ingest {

using cli::Kind;
using cli::Option;
using cli::UsageError;

namespace {

// The converter names its outputs NAME.KVOwrk and NAME.KVOwrk.gdsinfo in
// fields of 255 characters with a blank to spare.
constexpr std::size_t max_name = 239;

// Letters, digits and . _ - +, and none of the case's other files.
bool plain(const std::string& n) {
  if (n.empty() || n == "." || n == ".." || n.size() > max_name) return false;
  if (n == layout::run_description_file || n == layout::date_file || n == report_file) return false;
  return std::all_of(n.begin(), n.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-' || c == '+';
  });
}

void plain_file_name(std::string_view option, const std::string& n) {
  if (!plain(n))
    throw UsageError(std::string(option) + " wants a plain file name of letters, digits and . _ - + (at most " +
                     decimal(max_name) + " characters, not " + std::string(layout::run_description_file) + ", " +
                     layout::date_file + " or " + report_file + "), not \"" + n + "\"");
}

// The pressures of --levels, each read, checked and told from the others
// in turn (so that the first of several faults is the one named).
std::vector<float> pressures(std::string_view option, const std::string& list) {
  std::vector<float> levels;
  for (const std::string& item : cli::split_list(list)) {
    const double p = cli::real_value(option, item);
    if (!(p > 0.0 && p < 1e6))
      throw UsageError(std::string(option) + " wants pressures in hPa above 0, not " + item);
    const auto f = static_cast<float>(p);
    if (std::find(levels.begin(), levels.end(), f) != levels.end())
      throw UsageError(std::string(option) + " names " + item + " hPa twice");
    levels.push_back(f);
  }
  return levels;
}

void levels_check(std::string_view option, const std::string& list) { pressures(option, list); }

// S,W,N,E, four numbers already.
void area_check(std::string_view option, const std::string& v) {
  const auto items = cli::split_list(v);
  double s = 0, w = 0, n = 0, e = 0;
  read_real(items[0], s);
  read_real(items[1], w);
  read_real(items[2], n);
  read_real(items[3], e);
  if (!(s >= -90 && n <= 90 && s <= n))
    throw UsageError(std::string(option) + " wants -90 <= S <= N <= 90, not \"" + v + "\"");
  if (!(std::fabs(w) <= 360 && std::fabs(e) <= 360))
    throw UsageError(std::string(option) + " wants longitudes W and E between -360 and 360, not \"" + v + "\"");
}

void time_check(std::string_view option, const std::string& v) {
  if (!parse_time(v))
    throw UsageError(std::string(option) + " wants a validity time YYYYMMDDHH, not \"" + v + "\"");
}

void label_check(std::string_view option, const std::string& v) {
  const bool word =
      !v.empty() && v.size() <= 20 && std::all_of(v.begin(), v.end(), [](char c) { return c > ' ' && c < 127; });
  if (!word)
    throw UsageError(std::string(option) +
                     " wants one word of at most 20 printable characters (the converter keeps 20 and shows what "
                     "comes before a blank), not \"" + v + "\"");
}

constexpr Option option_rows[] = {
    {.name = "--name", .kind = Kind::text, .value = "NAME", .help = "the input grid file's name (default case.bin)",
     .heading = "Options:", .check = plain_file_name},
    // Each pressure is checked in turn by the check, a number before its
    // range, rather than every item as a number first.
    {.name = "--levels", .kind = Kind::list, .value = "P,P,...",
     .help = "only these levels (hPa); default every complete one", .item = Kind::text, .check = levels_check},
    {.name = "--area", .kind = Kind::list, .value = "S,W,N,E",
     .help = "only the grid points inside this area (degrees); it may\n"
             "cross 0 or 180 degrees of longitude on a global grid",
     .item = Kind::real, .items = 4, .allowed = "S,W,N,E in degrees", .check = area_check},
    {.name = "--time", .kind = Kind::text, .value = "YYYYMMDDHH",
     .help = "the validity time to take, when the files hold several", .check = time_check},
    {.name = "--member", .kind = Kind::integer, .value = "N",
     .help = "the ensemble member to take, when they hold several", .least = 0, .most = 100000,
     .allowed = "a member number from {least}"},
    {.name = "--centre", .kind = Kind::choice, .value = "ecmwf|ncep|none",
     .help = "the centre of the netCDF files, whatever their\n"
             "attributes say (ERA5 files: ecmwf); none takes their\n"
             "relative humidity as over water",
     .choices = "ecmwf|ncep|none"},
    {.name = "--rh", .kind = Kind::choice, .value = "convert|as-is",
     .help = "relative humidity r of the files converted from their\n"
             "centre's saturation to over water (default), or taken as\n"
             "over water already",
     .choices = "convert|as-is"},
    {.name = "--humidity", .kind = Kind::choice, .value = "exact|physical",
     .help = "what the relative-humidity records hold: the value from\n"
             "which the converter gives back the case's q (exact, the\n"
             "default), or relative humidity over water (physical)",
     .choices = "exact|physical"},
    {.name = "--no-fill",
     .help = "leave an interior level without humidity missing (the\n"
             "conversion will then stop)"},
    {.name = "--label", .kind = Kind::text, .value = "WORD",
     .help = "the case's label, one word of at most 20 characters\n"
             "(default: the centre and the validity time)",
     .check = label_check},
    {.name = "--table", .kind = Kind::text, .value = "FILE",
     .help = "field table entries that add to or override the\n"
             "built-in ones (below)"},
    {.name = "--threads", .kind = Kind::integer, .value = "N",
     .help = "threads that read and decode (default: one per core,\n"
             "at most 8)",
     .least = 1, .most = 256, .allowed = "{least} to {most}"},
    {.name = "--all-times", .help = "one case per validity time, in OUTDIR/YYYYMMDDHH"},
    {.name = "-j", .alias = "--jobs", .kind = Kind::integer, .value = "N",
     .help = "with --all-times: workers for all the cases together\n"
             "(default: one per core)",
     .least = 1, .most = 256, .allowed = "{least} to {most} workers", .attached = true},
    {.name = "--quiet", .help = "print nothing but failures (ingest.txt is still kept)"},
    cli::help_option,
};

constexpr cli::OptionTable table{option_rows, cli::Reading::in_order, {}, 21};

// The options that shape the case.
PlanOptions plan_options(const cli::ParsedOptions& p) {
  PlanOptions o;
  if (p.given("--levels")) o.levels = pressures("--levels", p.text("--levels"));
  if (p.given("--area")) {
    const std::vector<double> a = p.reals("--area");
    o.area = Area{a[0], a[1], a[2], a[3]};
  }
  if (p.given("--time")) o.time.time = parse_time(p.text("--time"));
  if (p.given("--member")) o.time.member = p.integer<long>("--member");
  if (p.given("--rh")) o.rh = p.text("--rh") == "as-is" ? RhMode::as_is : RhMode::convert;
  if (p.given("--humidity"))
    o.humidity = p.text("--humidity") == "physical" ? HumidityRecords::physical : HumidityRecords::exact;
  o.fill = !p.given("--no-fill");
  if (p.given("--label")) o.label = p.text("--label");
  return o;
}

// The operands, and what the options say together.
void check_together(const Options& o, const std::vector<std::string>& operands) {
  if (operands.empty()) throw UsageError("no output directory and no input file given");
  if (operands.size() < 2)
    throw UsageError("no GRIB or netCDF file given after the output directory " + operands[0]);
  if (o.outdir.empty()) throw UsageError("the output directory is an empty name");
  if (o.all_times && o.plan.time.time)
    throw UsageError("--all-times makes a case of every validity time; --time chooses one: give one of them");
  if (o.all_times && o.threads != 0)
    throw UsageError("--all-times shares its workers among the cases with -j N; --threads is for one case");
  if (!o.all_times && o.jobs != 0)
    throw UsageError("-j N goes with --all-times; the threads of one case are chosen with --threads");
}

}  // namespace

const cli::OptionTable& option_table() { return table; }

Options parse_options(const std::vector<std::string>& args) {
  const cli::ParsedOptions p = cli::parse_options(table, args);
  Options o;
  if (p.given("--name")) o.name = p.text("--name");
  if (p.given("--table")) o.table = p.text("--table");
  o.plan = plan_options(p);
  if (p.given("--centre")) o.centre = centre_by_name(p.text("--centre"));
  if (p.given("--threads")) o.threads = p.integer<unsigned>("--threads");
  o.all_times = p.given("--all-times");
  if (p.given("-j")) o.jobs = p.integer<unsigned>("-j");
  o.quiet = p.given("--quiet");
  const std::vector<std::string>& operands = p.operands();
  if (operands.size() >= 2) {
    o.outdir = operands[0];
    o.files.assign(operands.begin() + 1, operands.end());
  }
  check_together(o, operands);
  return o;
}

}  // namespace c2m::ingest
