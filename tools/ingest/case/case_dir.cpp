#include "case/case_dir.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "case/case_writer.hpp"
#include "case/report.hpp"
#include "fileio/output_check.hpp"
#include "fileio/output_file.hpp"
#include "fileio/stop_signals.hpp"
#include "layout/run_description_text.hpp"
#include "textio/errors.hpp"

namespace fs = std::filesystem;

namespace c2m::ingest {

MadeDirectories::MadeDirectories(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) throw CannotOpen(dir + ": exists and is not a directory");
    return;
  }
  fs::path whole = fs::path(dir).lexically_normal();
  while (whole.filename().empty() && whole != whole.parent_path()) whole = whole.parent_path();
  std::vector<fs::path> missing;
  for (fs::path p = whole; !p.empty(); p = p.parent_path()) {
    if (::stat(p.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) throw CannotOpen(p.string() + ": exists and is not a directory");
      break;
    }
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  try {
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) make(it->string());
  } catch (...) {
    remove();
    throw;
  }
}

void MadeDirectories::make(const std::string& path) {
  const fs::path p(path);
  const std::string parent = p.has_parent_path() ? p.parent_path().string() : ".";
  Made m{path, ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), p.filename().string(), -1};
  if (m.parent_fd < 0) throw CannotOpen(system_reason(parent, errno) + " (making the output directory)");
  int err = 0;
  {
    // Registered before it exists, so that a stop signal never leaves it.
    const stop_signals::CreationHold hold;
    m.slot = stop_signals::register_directory(m.parent_fd, m.name);
    if (::mkdirat(m.parent_fd, m.name.c_str(), 0777) != 0) {
      err = errno;
      stop_signals::release_directory(m.slot);
    }
  }
  if (err != 0) {
    ::close(m.parent_fd);
    if (err == EEXIST) return;  // made meanwhile by another run: not ours to remove
    throw CannotOpen(system_reason(path, err) + " (making the output directory)");
  }
  made_.push_back(std::move(m));
}

void MadeDirectories::keep() {
  keep_ = true;
  forget();
}

void MadeDirectories::remove() noexcept {
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::unlinkat(it->parent_fd, it->name.c_str(), AT_REMOVEDIR);
  forget();
}

void MadeDirectories::forget() noexcept {
  // The slot goes before the descriptor it names, whose number may then
  // be reused.
  for (Made& m : made_) {
    stop_signals::release_directory(m.slot);
    ::close(m.parent_fd);
  }
  made_.clear();
}

std::string joined(const std::string& dir, const std::string& name) {
  return (fs::path(dir) / name).string();
}

std::string write_case(const Plan& plan, const Sources& sources, const std::string& outdir,
                       const std::string& name, unsigned threads) {
  return write_case(plan, sources, outdir, name, threads, CaseAddition{});
}

namespace {

// CannotOpen when a file the case writes in OUTDIR (by its name, through
// links or as a hard link) is one of the files it is read from.
void refuse_outputs_onto_inputs(const Sources& sources, const std::string& outdir, const std::string& name,
                                const CaseAddition& addition) {
  std::vector<std::string> inputs;
  for (const auto& s : sources) inputs.push_back(s->path());
  std::vector<std::string> outputs;
  for (const std::string& n : {name, std::string(layout::run_description_file), std::string(layout::date_file),
                               std::string(report_file)})
    outputs.push_back(joined(outdir, n));
  for (const OutputFile* f : addition.files) outputs.push_back(f->name());
  for (const std::string& out : outputs) {
    const auto input = input_at(out, inputs);
    if (!input) continue;
    throw CannotOpen(out + ": is " + (out == *input ? "the input file " : "the same file as the input ") + *input +
                     ", which the case would replace; choose another OUTDIR" +
                     (out == outputs.front() ? " or another --name" : ""));
  }
}

}  // namespace

std::string write_case(const Plan& plan, const Sources& sources, const std::string& outdir,
                       const std::string& name, unsigned threads, const CaseAddition& addition) {
  // Before anything is made: a case written over one of its own input
  // files would destroy it.
  refuse_outputs_onto_inputs(sources, outdir, name, addition);
  MadeDirectories dirs(outdir);
  OutputFile grid(joined(outdir, name));
  OutputFile desc(joined(outdir, layout::run_description_file));
  OutputFile date(joined(outdir, layout::date_file));
  OutputFile report(joined(outdir, report_file));

  ReportFacts facts;
  facts.outdir = outdir;
  facts.name = name;
  facts.warnings = write_records(plan, sources, grid, threads);
  std::error_code ec;
  if (fs::exists(joined(outdir, name + ".KVOwrk"), ec))
    facts.warnings.push_back(name + ".KVOwrk in " + outdir +
                             " is from an earlier conversion: it does not belong to this case until the "
                             "case is converted again");

  desc.write(layout::run_description_text(plan.label, plan.run, plan.pressures), "the run description");
  date.write(plan.time.valid.to_the_hour() + "\n", "the date");
  std::string text = report_text(plan, sources, facts);
  if (!addition.report.empty()) text += "\n" + addition.report;
  report.write(text, "the report");
  std::vector<OutputFile*> files{&grid, &desc, &date, &report};
  files.insert(files.end(), addition.files.begin(), addition.files.end());
  commit_together(std::span<OutputFile* const>(files));
  dirs.keep();
  return text;
}

}  // namespace c2m::ingest
