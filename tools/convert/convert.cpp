#include "convert.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <filesystem>

#include "driver/input_driver.hpp"
#include "kit/numbers.hpp"
#include "layout/output_names.hpp"
#include "option_table.hpp"
#include "textio/errors.hpp"
#include "textio/log.hpp"

namespace fs = std::filesystem;

namespace c2m::cli {

namespace {

constexpr std::string_view synopsis = "conv2model convert [--dir DIR] [--check] [--quiet] INPUT";

constexpr std::string_view help =
    "Converts the case whose input grid file is INPUT into the model data file\n"
    "INPUT.KVOwrk and its grid description INPUT.KVOwrk.gdsinfo, beside INPUT.\n"
    "It is the same conversion as\n"
    "\n"
    "    cd DIR && printf 'INPUT\\nnone\\n' | input_driver\n"
    "\n"
    "with the same log on standard output, the same outputs, diagnostics and exit\n"
    "statuses.  DIR holds the run description InputModelInf.txt and the date file\n"
    "adate.txt.  Existing outputs are replaced only by complete new ones.\n"
    "\n";

std::string one_input(const std::string& held, const std::string& next) {
  return "one input grid file at a time (got " + held + " and " + next + ")";
}

constexpr Option option_rows[] = {
    {.name = "--dir", .kind = Kind::text, .value = "DIR",
     .help = "the directory of the run description and the date file\n"
             "(default: the directory of INPUT); INPUT, like every path on\n"
             "the command line, is relative to the current directory",
     .heading = "Options:"},
    {.name = "--check",
     .help = "read and check everything a conversion would (run description,\n"
             "date file, every level and surface plane, the output names) and\n"
             "write nothing; the warnings of the checks go to standard error,\n"
             "and the last line of standard output is the verdict, even with\n"
             "--quiet: 'INPUT: would convert' or 'INPUT: would stop: REASON'"},
    {.name = "--quiet", .help = "no log: only failures and warnings are printed"},
    help_option,
};

constexpr OptionTable option_table{option_rows, Reading::in_order, {1, one_input, true}, 14};

constexpr std::string_view more =
    "INPUT must not hold a blank (the converter cuts its path at the first blank)\n"
    "and, as seen from DIR, must be at most 239 characters long so that both\n"
    "output names can be formed.\n"
    "\n"
    "Examples:\n"
    "  conv2model convert cases/2024010100/case.bin\n"
    "  conv2model convert --check cases/2024010100/case.bin\n"
    "  conv2model convert --dir run-settings --quiet /data/analysis.bin\n"
    "\n"
    "Exit status: 0 converted (with --check: would convert); 1 data stop (a\n"
    "missing level: the log's last line says which); 2 wrong usage, or an input\n"
    "or output failure; 128 + N stopped by signal N (the outputs are as they\n"
    "were, or both new when the signal came as they were moved into place: the\n"
    "message says which).\n";

// The converter's reason in its diagnostic TEXT ("PROGRAM: REASON\n"): the
// last line without the program's name, nor the input grid file's LINE1
// (the verdict names it).
std::string reason_of(std::string text, const std::string& program, const std::string& line1) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (const auto nl = text.rfind('\n'); nl != std::string::npos) text.erase(0, nl + 1);
  if (text.starts_with(program + ": ")) text.erase(0, program.size() + 2);
  if (text.starts_with(line1 + ": ")) text.erase(0, line1.size() + 2);
  return text.empty() ? "the converter gave no reason" : text;
}

// The check of the case INPUT (LINE1 from its directory), its diagnostics
// passed on to standard error as they are, and then one verdict on
// standard output, the last line, for a reader or a script that wants the
// answer alone: "INPUT: would convert" or "INPUT: would stop: REASON".
int check_case(const std::string& input, const std::string& line1, Log& log, Streams& io, const std::string& program,
               const RunOptions& options) {
  char* held = nullptr;
  std::size_t held_size = 0;
  std::FILE* diagnostics = ::open_memstream(&held, &held_size);
  if (!diagnostics) throw std::bad_alloc();
  const int status = convert_case(line1, "none", log, diagnostics, program, options);
  std::fclose(diagnostics);
  const std::string said(held, held_size);
  std::free(held);
  std::fputs(said.c_str(), io.err);
  const std::string verdict = status == status_completed ? "would convert" : "would stop: " + reason_of(said, program, line1);
  std::fprintf(io.out, "%s: %s\n", input.c_str(), verdict.c_str());
  std::fflush(io.out);
  return status;
}

int run(const std::vector<std::string>& args, Streams& io) {
  const ParsedOptions p = parse_options(option_table, args);
  const std::string input = p.operands().empty() ? "" : p.operands()[0];
  const bool have_dir = p.given("--dir"), check = p.given("--check"), quiet = p.given("--quiet");
  std::string dir = p.text("--dir");
  if (input.empty()) throw UsageError("no input grid file given");
  if (have_dir && dir.empty()) throw UsageError("--dir needs a directory");
  if (input.find_first_of(" \t") != std::string::npos)
    throw UsageError("the input path '" + input +
                     "' holds a blank: the converter would cut it there; rename the file");
  if (!have_dir) {
    const fs::path parent = fs::path(input).parent_path();
    dir = parent.empty() ? "." : parent.string();
  }
  const std::string line1 = path_from(dir, input);
  if (line1.size() > layout::max_stem_length)
    throw UsageError("the input path as seen from " + dir + " has " +
                     decimal(line1.size()) + " characters: the output names allow at most " +
                     decimal(layout::max_stem_length));

  const std::string program = "conv2model convert";
  if (::chdir(dir.c_str()) != 0) {
    std::fprintf(io.err, "%s: %s\n", program.c_str(),
                 system_reason(dir, errno).c_str());
    return status_failure;
  }
  Log log = quiet ? Log() : Log(io.out);
  log.warn_to(io.err, program);
  RunOptions options;
  options.check_only = check;
  if (!check) return convert_case(line1, "none", log, io.err, program, options);
  return check_case(input, line1, log, io, program, options);
}

}  // namespace

std::string path_from(const std::string& dir, const std::string& input) {
  const fs::path in(input), d(dir);
  if (in.is_absolute()) return input;
  const fs::path parent = in.parent_path();
  if ((parent.empty() ? fs::path(".") : parent) == d) return in.filename().string();
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  if (ec) return input;
  const fs::path abs_in = (cwd / in).lexically_normal();
  const fs::path abs_dir = (d.is_absolute() ? d : cwd / d).lexically_normal();
  const fs::path rel = abs_in.lexically_relative(abs_dir);
  // A DIR reached through symlinks has a ".." that would lead elsewhere
  // than the names say: the absolute path is then the safe way.
  if (rel.empty() || *rel.begin() == "..") return abs_in.string();
  return rel.string();
}

const Subcommand& convert_subcommand() {
  static const Subcommand sub{"convert", "convert a case into the model's initial data",
                              synopsis, help, run, &option_table, more};
  return sub;
}

}  // namespace c2m::cli
