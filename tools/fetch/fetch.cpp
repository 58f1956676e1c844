#include "fetch.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "case/case_dir.hpp"
#include "cache.hpp"
#include "cycles.hpp"
#include "estab/estab.hpp"
#include "fetch_case.hpp"
#include "ingest.hpp"
#include "kit/numbers.hpp"
#include "layout/run_description_text.hpp"
#include "option_table.hpp"
#include "providers.hpp"
#include "textio/errors.hpp"
#include "version/version.hpp"

namespace c2m::cli {

namespace {

using fetch::FetchOptions;

constexpr std::size_t most_cycles = 10000;

constexpr std::string_view synopsis =
    "conv2model fetch [OPTIONS] --cycle YYYYMMDDHH OUTDIR\n"
    "       conv2model fetch [OPTIONS] --cycles FIRST/LAST/EVERY OUTDIR";

std::string too_many(const std::string& held, const std::string& next) {
  return "one output directory is given (" + held + "), then " + next + ": give one OUTDIR";
}

constexpr Option option_rows[] = {
    {.name = "--cycle", .kind = Kind::text, .value = "YYYYMMDDHH",
     .help = "the cycle: the start of the run, UTC (00, 06, 12 or 18)", .heading = "Options:"},
    {.name = "--cycles", .kind = Kind::text, .value = "FIRST/LAST/EVERY",
     .help = "one case per cycle from FIRST to LAST, EVERY hours apart\n"
             "(6h, 12h, 24h), each in OUTDIR/YYYYMMDDHH"},
    {.name = "--source", .kind = Kind::choice, .value = "NAME", .help = "the provider: gfs (the default) or ifs",
     .choices = "gfs|ifs"},
    {.name = "--res", .kind = Kind::choice, .value = "DEG", .help = "the grid of GFS in degrees (default 0.25)",
     .choices = "0.25|0.5|1"},
    {.name = "--step", .kind = Kind::integer, .value = "H",
     .help = "the forecast step in hours (default 0, the analysis)", .least = 0, .most = 999,
     .allowed = "hours from {least} to {most}"},
    {.name = "--root", .kind = Kind::text, .value = "URL",
     .help = "where the provider's tree lies (default: its public\n"
             "servers); given again, mirrors tried in order;\n"
             "file:///DIR reads a local tree",
     .repeated = true},
    {.name = "--invariant", .kind = Kind::text, .value = "FILE",
     .help = "a GRIB or netCDF file with the fields the provider does\n"
             "not publish (land-sea mask, surface geopotential, soil),\n"
             "taken as valid at the case's time; again for more",
     .repeated = true},
    {.name = "--dry-run",
     .help = "download the index only: print the messages, byte ranges\n"
             "and requests a case needs, and what is missing"},
    {.name = "--keep-grib", .help = "keep the downloaded messages as OUTDIR/source.grib2"},
    {.name = "--cache", .kind = Kind::text, .value = "DIR",
     .help = "the download cache (default $XDG_CACHE_HOME/conv2model,\n"
             "else ~/.cache/conv2model)"},
    {.name = "--no-cache", .help = "neither use nor fill the cache"},
    {.name = "--force", .help = "with --cycles: make again a case already complete"},
    {.name = "--name", .kind = Kind::text, .value = "NAME", .help = "the input grid file's name (default case.bin)",
     .heading = "Options of the case, as ingest takes them:"},
    {.name = "--levels", .kind = Kind::text, .value = "P,P,...", .help = "only these levels (hPa)"},
    {.name = "--area", .kind = Kind::text, .value = "S,W,N,E", .help = "only the grid points inside this area (degrees)"},
    {.name = "--rh", .kind = Kind::choice, .value = "convert|as-is",
     .help = "relative humidity converted to over water (default),\nor taken as over water already", .choices = "convert|as-is"},
    {.name = "--humidity", .kind = Kind::choice, .value = "exact|physical",
     .help = "the relative-humidity records: the converter's, giving\nback the case's q (default), or over water",
     .choices = "exact|physical"},
    {.name = "--no-fill", .help = "leave an interior level without humidity missing"},
    {.name = "--label", .kind = Kind::text, .value = "WORD", .help = "the case's label (default: centre and time)"},
    {.name = "--table", .kind = Kind::text, .value = "FILE",
     .help = "field table entries before the built-in ones (see\n'conv2model ingest --help')"},
    {.name = "--threads", .kind = Kind::text, .value = "N", .help = "threads that decode (default: one per core, at most 8)"},
    {.name = "-j", .alias = "--jobs", .kind = Kind::integer, .value = "N",
     .help = "transfers at once (default 4)", .heading = "Downloading:", .least = 1, .most = 64,
     .allowed = "from {least} to {most} transfers", .attached = true},
    {.name = "--rate", .kind = Kind::integer, .value = "N",
     .help = "at most N requests a minute to one host (default 60;\n0: no limit)", .least = 0, .most = 100000},
    {.name = "--gap", .kind = Kind::integer, .value = "BYTES",
     .help = "messages at most BYTES apart go in one request\n(default 1048576)", .least = 0, .most = 1 << 30},
    {.name = "--timeout", .kind = Kind::integer, .value = "S",
     .help = "a transfer without progress for S seconds is tried\nagain (default 60)", .least = 1, .most = 3600},
    {.name = "--retries", .kind = Kind::integer, .value = "N",
     .help = "tries again after a passing fault (default 5)", .least = 0, .most = 100},
    {.name = "--retry-wait", .kind = Kind::real, .value = "S",
     .help = "the first wait before trying again, doubled each time,\nwith jitter (default 1)"},
    {.name = "--quiet", .help = "print nothing but failures (ingest.txt is still kept)"},
    help_option,
};

constexpr OptionTable option_table{option_rows, Reading::in_order, {1, too_many}, 23};

const std::string& help_text() {
  static const std::string text =
      "Makes a case from a forecast cycle of a provider's global model, downloading\n"
      "only the GRIB messages the case needs.  The provider publishes beside each\n"
      "GRIB file an index of its messages and their byte offsets; fetch downloads\n"
      "the index, chooses the messages with ingest's field table and planning (the\n"
      "same rules that choose fields from a file), downloads them with range\n"
      "requests, adjacent and near ones together, and makes the case from them with\n"
      "ingest's own writer: OUTDIR receives the same case.bin, InputModelInf.txt,\n"
      "adate.txt and ingest.txt that 'conv2model ingest OUTDIR OUTDIR/source.grib2'\n"
      "makes of the downloaded messages, the report ending with each message's URL\n"
      "and byte range.  OUTDIR appears whole or not at all: a failure, or SIGINT or\n"
      "SIGTERM (status 128 + N), leaves it as it was.\n"
      "\n"
      "Transfers go over HTTP/1.1 or HTTP/2 with connections kept alive, HTTPS with\n"
      "the system's certificates and proxies from the environment as curl takes\n"
      "them (http_proxy, https_proxy, no_proxy).  A refused connection, a transfer\n"
      "without progress, a 5xx or 429 answer and a connection cut in the middle are\n"
      "tried again after a wait that doubles each time, a cut range resumed from\n"
      "the byte it reached.  An index not found on a root is 'not on ROOT (yet?)'\n"
      "and the next root is tried.  An answer that is not the range asked (the\n"
      "whole file, another Content-Range, a body shorter or longer) is tried once\n"
      "more, then refused naming the URL.  Every message is checked before it is\n"
      "used or cached: it starts with GRIB, its section 0 states the length the\n"
      "index gives it, it ends with 7777, and ingest's header checks pass.  The\n"
      "cache keeps checked messages by URL and byte range, so that a rerun\n"
      "downloads nothing it has.\n"
      "\n"
      "The public servers limit their users: NOMADS blocks clients that ask more\n"
      "than about 120 times a minute, and every server asks for fair use.  Keep\n"
      "--rate at its default or below, and use a mirror (the AWS or Google copies\n"
      "of GFS, ECMWF's AWS copy) for many cycles.\n"
      "\n"
      "Progress goes to standard error: a line kept in place on a terminal (bytes\n"
      "and fields done, rate, time left), else a line per file downloaded.\n"
      "\n";
  return text;
}

const std::string& more_text() {
  static const std::string text =
      "Sources (the table of providers: files and index below ROOT, the names of\n"
      "the index mapped to the paramId and short name ecCodes gives such a message,\n"
      "which ingest's field table then takes or passes over):\n" +
      fetch::providers_help() +
      "  The mirrors of GFS: https://noaa-gfs-bdp-pds.s3.amazonaws.com and\n"
      "  https://storage.googleapis.com/global-forecast-system.\n"
      "\n"
      "Examples:\n"
      "  conv2model fetch --cycle 2024011500 cases/2024011500\n"
      "  conv2model fetch --res 1 --step 6 --area 30,-30,75,45 --cycle 2024011500 cases/europe\n"
      "  conv2model fetch --source ifs --invariant era5-invariant.grib --cycle 2024011500 cases/ifs\n"
      "  conv2model fetch --dry-run --cycle 2024011500 cases/x\n"
      "  conv2model fetch --cycles 2024010100/2024013118/6h cases/jan\n"
      "\n"
      "Exit status: 0 the case was made (with --cycles: every case; with --dry-run:\n"
      "a case can be made); 1 the case was made but the converter would stop on it\n"
      "(kept for inspection, its reason on standard error); 2 wrong usage, an index\n"
      "found on no root, a download refused or given up, a message that fails its\n"
      "checks, a field the case needs that neither the provider nor the invariant\n"
      "files hold, any case of --cycles not made, or another failure of ingest's;\n"
      "128 + N stopped by signal N (OUTDIR as it was).\n";
  return text;
}

// The options of the case, read by ingest's own parser so that their checks
// and words are ingest's.
void case_options(const ParsedOptions& p, const std::string& outdir, FetchOptions& o) {
  std::vector<std::string> args;
  for (const char* name : {"--name", "--levels", "--area", "--rh", "--humidity", "--label", "--table", "--threads"})
    if (p.given(name)) {
      args.push_back(name);
      args.push_back(p.text(name));
    }
  if (p.given("--no-fill")) args.push_back("--no-fill");
  args.push_back("--");
  args.push_back(outdir);
  args.push_back("-");  // the files are the downloaded messages
  const ingest::Options io = ingest::parse_options(args);
  o.name = io.name;
  o.table = io.table;
  o.plan = io.plan;
  o.threads = io.threads != 0 ? io.threads : std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

void download_options(const ParsedOptions& p, FetchOptions& o) {
  o.transfer.user_agent = "conv2model/" + std::string(project_version()) + " (fetch; libcurl)";
  if (p.given("-j")) o.transfer.parallel = p.integer<unsigned>("-j");
  if (p.given("--rate")) o.transfer.per_minute = p.integer<unsigned>("--rate");
  if (p.given("--gap")) o.gap = p.integer<std::int64_t>("--gap");
  if (p.given("--timeout")) o.transfer.timeout_s = p.integer<int>("--timeout");
  if (p.given("--retries")) o.transfer.retries = p.integer<unsigned>("--retries");
  if (p.given("--retry-wait")) {
    const double w = p.real("--retry-wait");
    if (!(w >= 0 && w <= 600)) throw UsageError("--retry-wait wants seconds from 0 to 600, not " + p.text("--retry-wait"));
    o.transfer.retry_wait_s = w;
  }
  if (p.given("--cache") && p.given("--no-cache")) throw UsageError("--cache DIR and --no-cache: give one of them");
  if (p.given("--cache")) {
    o.cache_dir = p.text("--cache");
    if (o.cache_dir.empty()) throw UsageError("--cache wants a directory");
  } else if (!p.given("--no-cache")) {
    o.cache_dir = fetch::default_cache_dir();
  }
}

void source_options(const ParsedOptions& p, FetchOptions& o) {
  o.provider = fetch::provider_by_name(p.given("--source") ? p.text("--source") : "gfs");
  o.resolution = &o.provider->resolutions.front();
  if (p.given("--res")) {
    const std::string r = p.text("--res");
    o.resolution = nullptr;
    for (const fetch::Resolution& res : o.provider->resolutions)
      if (res.option == r) o.resolution = &res;
    if (o.resolution == nullptr) {
      std::string list;
      for (const fetch::Resolution& res : o.provider->resolutions) list += (list.empty() ? "" : ", ") + std::string(res.option);
      throw UsageError("--res " + r + ": " + std::string(o.provider->name) + " publishes " + list + " degrees");
    }
  }
  if (p.given("--step")) o.step = p.integer<int>("--step");
  o.roots = p.texts("--root");
  for (const std::string& r : o.roots)
    if (!r.starts_with("http://") && !r.starts_with("https://") && !r.starts_with("file:///"))
      throw UsageError("--root wants an http://, https:// or file:/// URL, not \"" + r + "\"");
  if (o.roots.empty())
    for (const std::string_view r : o.provider->roots) o.roots.emplace_back(r);
  o.invariants = p.texts("--invariant");
  o.dry_run = p.given("--dry-run");
  o.keep_grib = p.given("--keep-grib");
  o.quiet = p.given("--quiet");
}

void put(std::FILE* f, const std::string& text) { std::fwrite(text.data(), 1, text.size(), f); }

bool regular(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A case already complete in DIR: its four files are there (they go into
// place together).
bool complete_case(const std::string& dir, const std::string& name) {
  return regular(ingest::joined(dir, name)) && regular(ingest::joined(dir, layout::run_description_file)) &&
         regular(ingest::joined(dir, layout::date_file)) && regular(ingest::joined(dir, ingest::report_file));
}

int run_cycles(const FetchOptions& o, const ingest::FieldTable& table, const std::vector<ingest::ValidTime>& cycles,
               const std::string& outdir, bool force, fetch::Transfers& transfers, fetch::Progress& progress,
               Streams& io) {
  std::string summary;
  std::size_t made = 0, skipped = 0, failed = 0;
  for (std::size_t n = 0; n < cycles.size(); ++n) {
    const std::string dir = ingest::joined(outdir, cycles[n].text());
    const std::string count = "[" + decimal(n + 1) + "/" + decimal(cycles.size()) + "] ";
    std::string line;
    if (!o.dry_run && !force && complete_case(dir, o.name)) {
      ++skipped;
      line = "complete   " + dir + " (--force makes it again)";
    } else {
      try {
        const fetch::FetchOutcome r = fetch::fetch_case(o, table, cycles[n], dir, transfers, progress);
        if (o.dry_run) put(io.out, r.report);
        if (!r.possible) throw IoFailure("no case can be made of it");
        ingest::say_verdict(r.verdict, dir, o.name, io.err, "conv2model fetch");
        ++made;
        line = (o.dry_run ? "possible   " : "made       ") + dir;
      } catch (const RunFailure& e) {
        if (e.status() >= 128) throw;
        ++failed;
        line = "not made   " + std::string(e.what());
        put(io.err, "conv2model fetch: " + count + cycles[n].text() + ": not made: " + e.what() + "\n");
      }
    }
    summary += "  " + cycles[n].text() + "  " + line + "\n";
  }
  if (!o.quiet)
    put(io.out, "conv2model fetch --cycles: " + decimal(cycles.size()) + " cycles; " + decimal(made) +
                    (o.dry_run ? " possible" : " made") + ", " + decimal(skipped) + " complete already, " +
                    decimal(failed) + " not made, in " + outdir + "\n" + summary);
  return failed == 0 ? status_ok : status_failure;
}

int run(const std::vector<std::string>& args, Streams& io) {
  const ParsedOptions p = parse_options(option_table, args);
  if (p.operands().empty()) throw UsageError("no output directory given");
  const std::string outdir = p.operands()[0];
  if (outdir.empty()) throw UsageError("the output directory is an empty name");
  if (p.given("--cycle") == p.given("--cycles"))
    throw UsageError("give the cycle: --cycle YYYYMMDDHH, or --cycles FIRST/LAST/EVERY");
  FetchOptions o;
  source_options(p, o);
  case_options(p, outdir, o);
  download_options(p, o);
  std::vector<ingest::ValidTime> cycles;
  if (p.given("--cycle")) {
    const auto c = fetch::parse_cycle(p.text("--cycle"));
    if (!c) throw UsageError("--cycle wants YYYYMMDDHH, a date and the hour 00, 06, 12 or 18, not \"" + p.text("--cycle") + "\"");
    cycles.push_back(*c);
  } else {
    std::string why;
    const auto list = fetch::parse_cycles(p.text("--cycles"), most_cycles, why);
    if (!list) throw UsageError("--cycles " + why + ", not \"" + p.text("--cycles") + "\"");
    cycles = *list;
  }
  if (p.given("--force") && !p.given("--cycles")) throw UsageError("--force goes with --cycles");
  estab::es_ini();
  ingest::FieldTable table = ingest::FieldTable::built_in();
  if (o.table) table.add_file(*o.table);
  fetch::Transfers transfers(o.transfer);
  fetch::Progress progress(io.err, ::isatty(::fileno(io.err)) == 1, o.quiet);
  if (p.given("--cycles")) return run_cycles(o, table, cycles, outdir, p.given("--force"), transfers, progress, io);
  const fetch::FetchOutcome r = fetch::fetch_case(o, table, cycles.front(), outdir, transfers, progress);
  if (o.dry_run || !o.quiet) put(io.out, r.report);
  std::fflush(io.out);
  ingest::say_verdict(r.verdict, outdir, o.name, io.err, "conv2model fetch");
  return r.possible ? status_ok : status_failure;
}

}  // namespace

const Subcommand& fetch_subcommand() {
  static const Subcommand sub{"fetch", "make a case from a forecast cycle, downloading only what it needs",
                              synopsis, help_text(), run, &option_table, more_text()};
  return sub;
}

}  // namespace c2m::cli
