#include "export.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>

#include "case_date.hpp"
#include "descriptor.hpp"
#include "grid_text.hpp"
#include "fileio/output_check.hpp"
#include "fileio/output_file.hpp"
#include "layout/run_description_text.hpp"
#include "model_file.hpp"
#include "netcdf_file.hpp"
#include "option_table.hpp"
#include "selection.hpp"
#include "textio/errors.hpp"

namespace fs = std::filesystem;

namespace c2m::cli {

namespace {

constexpr std::string_view synopsis =
    "conv2model export FILE.KVOwrk --ctl OUT.ctl [--date YYYYMMDDHH]\n"
    "       conv2model export FILE.KVOwrk --netcdf OUT.nc [--compress N] [--date YYYYMMDDHH]";

constexpr std::string_view help =
    "Hands a model data file NAME.KVOwrk (with its grid description\n"
    "NAME.KVOwrk.gdsinfo beside it) on to other tools: as a GrADS-style data\n"
    "descriptor for tools that read flat binary files through one (--ctl), or\n"
    "copied into a CF-1.8 netCDF file (--netcdf), or both at once.\n"
    "\n"
    "The descriptor gives the file (dset), little-endian byte order, the missing\n"
    "value -99999.0, the longitudes and latitudes from the first point and the\n"
    "increments (xdef, ydef), the pressures in hPa bottom first (zdef), one time\n"
    "step (tdef) and the 17 variables under their short names (u v gh q t with lm\n"
    "levels; lsm msl sp orog stl1 swvl1 stl2 swvl2 stl3 swvl3 stl4 swvl4 with one\n"
    "record each), in the order of the records.\n"
    "\n"
    "The netCDF file (netCDF-4, classic model) has the coordinates time (one step,\n"
    "only when the case has a date), plev (the pressures in Pa, level 1, the\n"
    "bottom, first), lat (south to north, as the rows are stored) and lon, and\n"
    "the same 17 variables as 4-byte reals: u v gh q t on (time, plev, lat, lon),\n"
    "the surface fields on (time, lat, lon), with their CF standard names, units\n"
    "(msl and sp in hPa, as the model takes them) and _FillValue -99999, the\n"
    "values bit for bit those of the records.  The model data file is read one\n"
    "record at a time: a file of gigabytes needs little memory.\n"
    "\n";

constexpr Option option_rows[] = {
    {.name = "--ctl", .kind = Kind::text, .value = "OUT.ctl",
     .help = "write the descriptor to OUT.ctl ('-': standard output,\n"
             "for a descriptor to be saved beside the model data\n"
             "file).  The data file is named relative to the\n"
             "descriptor (^NAME) when both are in one directory,\n"
             "else by its absolute path.",
     .heading = "Options:"},
    {.name = "--netcdf", .kind = Kind::text, .value = "OUT.nc", .help = "write the netCDF file OUT.nc"},
    // Checked once --netcdf is known to be given.
    {.name = "--compress", .kind = Kind::integer, .value = "N",
     .help = "deflate the netCDF variables at level N (1 fastest to\n"
             "9 smallest; 0, the default: not compressed, written\n"
             "at the speed of a copy).  Compressed variables are\n"
             "shuffled and stored in chunks of one level's plane",
     .least = 0, .most = 9, .allowed = "a level from {least} to {most}", .later = true},
    {.name = "--date", .kind = Kind::text, .value = "YYYYMMDDHH",
     .help = "the date of the time step (YYYYMMDD: 00 UTC).  By\n"
             "default the word in an adate.txt beside the model\n"
             "data file, when it is such a date; else the\n"
             "descriptor has a placeholder time (00z01jan2000) and\n"
             "the netCDF file no time axis, which is said on\n"
             "standard error"},
    help_option,
};

constexpr OptionTable option_table{option_rows, Reading::in_order, {1, md::one_model_data_file, true}, 23};

constexpr std::string_view more =
    "Examples:\n"
    "  conv2model export case.bin.KVOwrk --ctl case.bin.KVOwrk.ctl\n"
    "  conv2model export case.bin.KVOwrk --ctl case.ctl --date 2024010106\n"
    "  conv2model export case.bin.KVOwrk --netcdf case.nc\n"
    "  conv2model export case.bin.KVOwrk --netcdf case.nc --compress 1 --date 2024010106\n"
    "\n"
    "Exit status: 0 done; 2 wrong usage, a file that cannot be read or written,\n"
    "or a model data file whose size does not match its grid description.  An\n"
    "output is written whole or not at all: after a failure whatever stood at its\n"
    "name is left as it was.\n";

// The first word of the date file beside DATA_PATH, quotes taken off, or
// nothing when there is none.
std::optional<std::string> date_word_beside(const std::string& data_path) {
  const fs::path date = fs::path(data_path).parent_path() / layout::date_file;
  std::error_code ec;
  if (!fs::is_regular_file(date, ec)) return std::nullopt;
  std::FILE* f = std::fopen(date.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  char buf[256] = {};
  const std::size_t got = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);  // read only
  std::string text(buf, got);
  const auto first = text.find_first_not_of(" \t\r\n'\"");
  if (first == std::string::npos) return std::nullopt;
  const auto last = text.find_first_of(" \t\r\n,'\"", first);
  return text.substr(first, last == std::string::npos ? std::string::npos : last - first);
}

std::string absolute(const std::string& path) {
  std::error_code ec;
  const fs::path p = fs::absolute(path, ec);
  return (ec ? fs::path(path) : p).lexically_normal().string();
}

// ARG as a shell would need it: unchanged when it holds only characters
// that no shell takes apart, else in single quotes.
std::string shell_word(const std::string& arg) {
  constexpr std::string_view plain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=./,:@%";
  if (!arg.empty() && arg.find_first_not_of(plain) == std::string::npos) return arg;
  std::string q = "'";
  for (const char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The history line of the netCDF file: when and by which command line.
std::string history_line(const std::vector<std::string>& args) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char stamp[32] = "unknown time";
  if (gmtime_r(&now, &utc) != nullptr) std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::string line = std::string(stamp) + ": conv2model export";
  for (const auto& a : args) line += " " + shell_word(a);
  return line;
}

// A and B are one name in one directory, so that the second output written
// there would replace the first.
bool same_entry(const std::string& a, const std::string& b) {
  const fs::path pa(a), pb(b);
  if (pa.filename() != pb.filename()) return false;
  const std::string da = pa.parent_path().empty() ? "." : pa.parent_path().string();
  const std::string db = pb.parent_path().empty() ? "." : pb.parent_path().string();
  struct stat sa {}, sb {};
  if (::stat(da.c_str(), &sa) != 0 || ::stat(db.c_str(), &sb) != 0) return da == db;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// What the command line asks for, its usage checked.
struct Request {
  std::string path, ctl, netcdf;
  bool have_ctl = false, have_netcdf = false, have_date = false;
  int deflate_level = 0;
  std::optional<exporter::CaseDate> date;  // from --date
  bool ctl_to_file() const { return have_ctl && ctl != "-"; }
};

Request request_of(const std::vector<std::string>& args) {
  const ParsedOptions p = parse_options(option_table, args);
  Request r;
  r.path = p.operands().empty() ? "" : p.operands()[0];
  r.ctl = p.text("--ctl");
  r.netcdf = p.text("--netcdf");
  r.have_ctl = p.given("--ctl");
  r.have_netcdf = p.given("--netcdf");
  r.have_date = p.given("--date");
  if (r.path.empty()) throw UsageError("no model data file given");
  if (!r.have_ctl && !r.have_netcdf)
    throw UsageError("say what to export: --ctl OUT.ctl or --netcdf OUT.nc");
  if (r.have_ctl && r.ctl.empty()) throw UsageError("--ctl needs a file name ('-' for standard output)");
  if (r.have_netcdf && r.netcdf.empty()) throw UsageError("--netcdf needs a file name");
  if (r.have_netcdf && r.netcdf == "-")
    throw UsageError("--netcdf writes a file, not standard output: give it a name");
  if (r.have_ctl && r.have_netcdf && r.ctl != "-" && same_entry(r.ctl, r.netcdf))
    throw UsageError("--ctl and --netcdf name the same file (" + r.netcdf + ")");
  if (p.given("--compress")) {
    if (!r.have_netcdf) throw UsageError("--compress goes with --netcdf OUT.nc");
    r.deflate_level = p.integer<int>("--compress");
  }
  if (r.have_date) {
    const std::string date_text = p.text("--date");
    r.date = exporter::parse_case_date(date_text);
    if (!r.date) throw UsageError("--date wants YYYYMMDDHH or YYYYMMDD, not \"" + date_text + "\"");
  }
  return r;
}

// The date of the case without --date: the word of the date file beside
// the model data file, when it is a date; else nothing, which is said.
std::optional<exporter::CaseDate> date_beside(const Request& r, std::FILE* err) {
  const auto word = date_word_beside(r.path);
  std::optional<exporter::CaseDate> date;
  if (word) date = exporter::parse_case_date(*word);
  if (!date) {
    std::string what;
    if (r.have_ctl) what = "the time step is the placeholder " + std::string(exporter::placeholder_time);
    if (r.have_netcdf) what += (what.empty() ? "" : " and ") + std::string("the netCDF file has no time axis");
    std::fprintf(err, "conv2model export: note: %s: %s (%s); give --date YYYYMMDDHH\n",
                 r.path.c_str(), what.c_str(),
                 word ? ("the date file beside it holds \"" + *word + "\", not a date").c_str()
                      : "no date file adate.txt beside it");
  }
  return date;
}

// Neither output may land on a file this command reads: the model data
// file, its grid description, or the date file it took the date from.
void refuse_onto_inputs(const Request& r, const std::string& output) {
  const std::string date_path = (fs::path(r.path).parent_path() / layout::date_file).string();
  if (r.have_date)
    refuse_output_onto_inputs(output, {r.path, layout::grid_description_path(r.path)});
  else
    refuse_output_onto_inputs(output, {r.path, layout::grid_description_path(r.path), date_path});
}

// The outputs written whole, then moved into place together.
void write_outputs(const Request& r, md::ModelFile& file, const std::optional<exporter::CaseDate>& date,
                   const std::vector<std::string>& args) {
  const layout::GridDescription& grid = file.grid();
  const std::string name = fs::path(r.path).filename().string();
  std::optional<OutputFile> nc_out, ctl_out;
  if (r.have_netcdf) {
    exporter::NetcdfOptions options;
    options.date = date;
    options.deflate_level = r.deflate_level;
    options.title = exporter::data_title(grid, name);
    options.history = history_line(args);
    options.notes = md::grid_notes(grid);
    nc_out.emplace(r.netcdf);
    exporter::write_netcdf(file, *nc_out, options);
  }
  if (r.ctl_to_file()) {
    const std::string data_dir = fs::path(absolute(r.path)).parent_path().string();
    const std::string ctl_dir = fs::path(absolute(r.ctl)).parent_path().string();
    const std::string dset = data_dir == ctl_dir ? "^" + name : absolute(r.path);
    std::optional<std::string> time;
    if (date) time = exporter::descriptor_time(*date);
    ctl_out.emplace(r.ctl);
    ctl_out->write(exporter::descriptor_text(grid, name, dset, time), "the descriptor");
  }
  if (nc_out && ctl_out)
    commit_together({&*ctl_out, &*nc_out});
  else if (nc_out)
    nc_out->commit();
  else if (ctl_out)
    ctl_out->commit();
}

int run(const std::vector<std::string>& args, Streams& io) {
  const Request r = request_of(args);
  const layout::GridDescription grid = layout::read_grid_description(r.path);
  md::ModelFile file(r.path, grid);
  file.require_complete();
  const std::optional<exporter::CaseDate> date = r.have_date ? r.date : date_beside(r, io.err);
  if (r.ctl_to_file()) refuse_onto_inputs(r, r.ctl);
  if (r.have_netcdf) refuse_onto_inputs(r, r.netcdf);
  write_outputs(r, file, date, args);
  if (r.have_ctl && r.ctl == "-") {
    std::optional<std::string> time;
    if (date) time = exporter::descriptor_time(*date);
    const std::string name = fs::path(r.path).filename().string();
    const std::string text = exporter::descriptor_text(grid, name, "^" + name, time);
    std::fwrite(text.data(), 1, text.size(), io.out);
    finish_output(io);
  }
  return status_ok;
}

}  // namespace

const Subcommand& export_subcommand() {
  static const Subcommand sub{"export", "hand a model data file on to other tools (--ctl, --netcdf)",
                              synopsis, help, run, &option_table, more};
  return sub;
}

}  // namespace c2m::cli
