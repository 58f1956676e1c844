#include "export.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "descriptor.hpp"
#include "fileio/output_file.hpp"
#include "layout/run_description_text.hpp"
#include "model_file.hpp"
#include "output_check.hpp"
#include "textio/errors.hpp"

namespace fs = std::filesystem;

namespace c2m::cli {

namespace {

constexpr std::string_view synopsis =
    "conv2model export FILE.KVOwrk --ctl OUT.ctl [--date YYYYMMDDHH]";

constexpr std::string_view help =
    "Describes a model data file NAME.KVOwrk (with its grid description\n"
    "NAME.KVOwrk.gdsinfo beside it) for tools that read flat binary files\n"
    "through a GrADS-style data descriptor.\n"
    "\n"
    "The descriptor gives the file (dset), little-endian byte order, the missing\n"
    "value -99999.0, the longitudes and latitudes from the first point and the\n"
    "increments (xdef, ydef), the pressures in hPa bottom first (zdef), one time\n"
    "step (tdef) and the 17 variables under their short names (u v gh q t with lm\n"
    "levels; lsm msl sp orog stl1 swvl1 stl2 swvl2 stl3 swvl3 stl4 swvl4 with one\n"
    "record each), in the order of the records.\n"
    "\n"
    "Options:\n"
    "  --ctl OUT.ctl        write the descriptor to OUT.ctl ('-': standard output,\n"
    "                       for a descriptor to be saved beside the model data\n"
    "                       file).  The data file is named relative to the\n"
    "                       descriptor (^NAME) when both are in one directory,\n"
    "                       else by its absolute path.\n"
    "  --date YYYYMMDDHH    the date of the time step (YYYYMMDD: 00 UTC).  By\n"
    "                       default the word in an adate.txt beside the model\n"
    "                       data file, when it is such a date; else a placeholder\n"
    "                       time (00z01jan2000), which is said on standard error\n"
    "  -h, --help           this text\n"
    "\n"
    "Examples:\n"
    "  conv2model export case.bin.KVOwrk --ctl case.bin.KVOwrk.ctl\n"
    "  conv2model export case.bin.KVOwrk --ctl case.ctl --date 2024010106\n"
    "\n"
    "Exit status: 0 done; 2 wrong usage, a file that cannot be read or written,\n"
    "or a model data file whose size does not match its grid description.\n";

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

int run(const std::vector<std::string>& args, Streams& io) {
  std::string path, ctl, date;
  bool have_ctl = false, have_date = false;
  Args a(args);
  while (a.next()) {
    if (a.value("--ctl", ctl)) {
      have_ctl = true;
    } else if (a.value("--date", date)) {
      have_date = true;
    } else if (a.is_option()) {
      a.unknown();
    } else if (!path.empty()) {
      throw UsageError("one model data file at a time (got " + path + " and " + a.arg() + ")");
    } else {
      path = a.arg();
    }
  }
  if (path.empty()) throw UsageError("no model data file given");
  if (!have_ctl) throw UsageError("say what to export: --ctl OUT.ctl");
  if (ctl.empty()) throw UsageError("--ctl needs a file name ('-' for standard output)");

  std::optional<std::string> time;
  if (have_date) {
    time = exporter::descriptor_time(date);
    if (!time) throw UsageError("--date wants YYYYMMDDHH or YYYYMMDD, not \"" + date + "\"");
  }

  const layout::GridDescription grid = layout::read_grid_description(path);
  md::ModelFile file(path, grid);
  file.require_complete();
  if (!have_date) {
    const auto word = date_word_beside(path);
    if (word) time = exporter::descriptor_time(*word);
    if (!time)
      std::fprintf(io.err,
                   "conv2model export: note: %s: the time step is the placeholder %s (%s); give "
                   "--date YYYYMMDDHH\n",
                   path.c_str(), exporter::placeholder_time,
                   word ? ("the date file beside it holds \"" + *word + "\", not a date").c_str()
                        : "no date file adate.txt beside it");
  }

  const std::string name = fs::path(path).filename().string();
  if (ctl == "-") {
    const std::string text = exporter::descriptor_text(grid, name, "^" + name, time);
    std::fwrite(text.data(), 1, text.size(), io.out);
    finish_output(io);
    return status_ok;
  }
  md::refuse_output_onto_inputs(ctl, {path, layout::grid_description_path(path)});
  const std::string data_dir = fs::path(absolute(path)).parent_path().string();
  const std::string ctl_dir = fs::path(absolute(ctl)).parent_path().string();
  const std::string dset = data_dir == ctl_dir ? "^" + name : absolute(path);
  OutputFile out(ctl);
  out.write(exporter::descriptor_text(grid, name, dset, time), "the descriptor");
  out.commit();
  return status_ok;
}

}  // namespace

const Subcommand& export_subcommand() {
  static const Subcommand sub{"export", "describe a model data file for other tools (--ctl)",
                              synopsis, help, run};
  return sub;
}

}  // namespace c2m::cli
