#include "case/case_dir.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "case/case_writer.hpp"
#include "case/report.hpp"
#include "fileio/output_check.hpp"
#include "fileio/output_file.hpp"
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
  std::vector<fs::path> missing;
  for (fs::path p = fs::path(dir).lexically_normal(); !p.empty(); p = p.parent_path()) {
    if (::stat(p.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) throw CannotOpen(p.string() + ": exists and is not a directory");
      break;
    }
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0777) != 0 && errno != EEXIST) {
      const int err = errno;
      remove();
      throw CannotOpen(system_reason(it->string(), err) + " (making the output directory)");
    }
    made_.push_back(it->string());
  }
}

void MadeDirectories::remove() {
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::rmdir(it->c_str());
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
  date.write(plan.time.valid.text().substr(0, 10) + "\n", "the date");
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
