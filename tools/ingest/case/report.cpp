#include "case/report.hpp"

#include <algorithm>

#include "case/plan_words.hpp"
#include "kit/numbers.hpp"
#include "layout/run_description_text.hpp"

namespace c2m::ingest {

namespace {

std::string padded(std::string s, std::size_t width) {
  if (s.size() < width) s.resize(width, ' ');
  return s;
}

std::string right(const std::string& s, std::size_t width) {
  return s.size() < width ? std::string(width - s.size(), ' ') + s : s;
}

// NAME as an argument that no command takes for an option: a relative
// name beginning with a dash is given as ./NAME, the same file.
std::string not_an_option(const std::string& name) { return name.starts_with("-") ? "./" + name : name; }

}  // namespace

std::string convert_commands(const std::string& outdir, const std::string& name) {
  // The converter reads the name from a line, so a name beginning with a
  // dash is fine there, but not as printf's format.  Names of --name are
  // plain words (letters, digits and . _ - +), which need no quoting.
  const std::string cd = "  cd " + shell_word(not_an_option(outdir)) + " && ";
  const std::string lines =
      name.starts_with("-") ? "printf '%s\\n' " + name + " none" : "printf '" + name + "\\nnone\\n'";
  std::string t = cd + lines + " | input_driver\n";
  // conv2model convert refuses a path with a blank, which the converter
  // would cut there: from inside OUTDIR the grid file's own name serves.
  const std::string input = outdir + (outdir.ends_with("/") ? "" : "/") + name;
  if (input.find_first_of(" \t") == std::string::npos && !input.starts_with("-"))
    t += "  conv2model convert " + shell_word(input) + "\n";
  else
    t += cd + "conv2model convert " + not_an_option(name) + "\n";
  return t;
}

std::string report_text(const Plan& plan, const Sources& sources, const ReportFacts& facts) {
  std::string t = "conv2model ingest: a case in " + facts.outdir + " from " + decimal(sources.size()) +
                  " file" + (sources.size() == 1 ? "" : "s") + "\n\ninput files:\n";
  bool any_netcdf = false;
  for (std::size_t n = 0; n < sources.size(); ++n) {
    const auto& s = *sources[n];
    const bool netcdf = s.format().starts_with("netCDF");
    if (netcdf) any_netcdf = true;
    t += "  " + s.path() + ": " + s.format() + ", " +
         decimal(s.messages()) + (netcdf ? " variable" : " message") + (s.messages() == 1 ? "" : "s");
    if (static_cast<int>(s.fields().size()) != s.messages())
      t += ", " + decimal(s.fields().size()) + " fields";
    t += "\n";
  }
  t += "\nvalidity time: " + plan.time.valid.words() + " (" + plan.run_of->run + ")";
  if (plan.time.member != 0) t += ", ensemble member " + decimal(plan.time.member);
  t += "\nadate.txt:     " + plan.time.valid.to_the_hour() + "\n";
  t += "label:         " + plan.label + "\n";
  t += "grid:          regular latitude/longitude, " + plan.grid.words() + "\n";
  const bool cut = plan.cut.rows != plan.grid.nj || plan.cut.cols != plan.grid.ni;
  t += "area:          ";
  if (cut)
    t += decimal(plan.cut.cols) + " x " + decimal(plan.cut.rows) + " points: rows " +
         decimal(plan.cut.row0 + 1) + " to " + decimal(plan.cut.row0 + plan.cut.rows) +
         " from the north, columns from " + decimal(plan.cut.col0 + 1) + " from the west\n";
  else
    t += "the whole grid\n";
  t += "run description grid: im " + decimal(plan.run.im) + ", jm " + decimal(plan.run.jm) +
       "; type, south-west corner, north-east corner, increments (thousandths of a degree):";
  for (const auto v : plan.run.grid) t += " " + decimal(v);
  t += "\nlevels (" + decimal(plan.lm()) + ", from the bottom, hPa):";
  for (const float p : plan.pressures) t += " " + shortest_float(p);
  t += "\nhumidity:      " + humidity_words(plan.humidity);
  const std::vector<RecordLine> lines = record_lines(plan);
  t += "\n\nrecords of " + facts.name + " (" + decimal(lines.size()) + " of " +
       decimal(plan.run.im) + " x " + decimal(plan.run.jm) +
       " little-endian 4-byte reals, rows north to south):\n";
  std::size_t w_field = 5, w_level = 5, w_from = 4;
  for (const RecordLine& l : lines) {
    w_field = std::max(w_field, l.field.size());
    w_level = std::max(w_level, l.level.size());
    w_from = std::max(w_from, l.from.size());
  }
  t += "  " + right("record", 6) + "  " + padded("field", w_field) + "  " + padded("level", w_level) + "  " +
       padded("from", w_from) + "  conversion\n";
  for (const RecordLine& l : lines)
    t += "  " + right(decimal(l.record), 6) + "  " + padded(l.field, w_field) + "  " +
         padded(l.level, w_level) + "  " + padded(l.from, w_from) + "  " + l.conversion + "\n";
  t += "\nfiles and messages: [F]#M is message M of input file F (#M.S its field S)";
  if (any_netcdf) t += "; [F]:V is netCDF variable V of input file F";
  t += "\n";
  if (!plan.notes.empty()) {
    t += "\nnotes:\n";
    for (const Note& n : plan.notes) t += "  - " + note_words(n, plan.files) + "\n";
  }
  if (!facts.warnings.empty()) {
    t += "\nwarnings:\n";
    for (const std::string& w : facts.warnings) t += "  - " + w + "\n";
  }
  t += "\nto convert the case:\n" + convert_commands(facts.outdir, facts.name);
  return t;
}

}  // namespace c2m::ingest
