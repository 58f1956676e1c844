#include "synth_command.hpp"

#include <string>

#include "grib_writer.hpp"
#include "options.hpp"
#include "synth.hpp"

namespace c2m::cli {

namespace {

int run(const std::vector<std::string>& args, Streams&) {
  const synth::Command cmd = synth::parse_command_line(args);
  synth::write_case(cmd.dir, cmd.settings);
  if (cmd.grib) {
    ingest::GribWriteOptions o;
    o.edition = cmd.grib1 ? ingest::GribEdition::one : ingest::GribEdition::two;
    o.packing = cmd.ieee ? ingest::GribPacking::ieee : ingest::GribPacking::simple16;
    ingest::write_case_as_grib(cmd.dir.string(), cmd.settings.file_name, cmd.grib->string(), o);
  }
  return status_ok;
}

}  // namespace

const Subcommand& synth_subcommand() {
  static const Subcommand sub{"synth", "make a synthetic input case (run description, date, grid)",
                              synth::synopsis, synth::about_text(), run, &synth::option_table(),
                              synth::more_text()};
  return sub;
}

}  // namespace c2m::cli
