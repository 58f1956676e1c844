#include "conv2model/grid_description.hpp"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "kit/numbers.hpp"
#include "layout/output_names.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"

namespace c2m {

namespace {

// The field listing: five upper-air fields in the order of their blocks
// of level records, then the twelve surface fields in record order.  Names
// are left-aligned in 26 characters, the unit follows.
constexpr const char* upper_air_names[] = {
    "Zonal wind                (m/s)",   "Meridional wind           (m/s)",
    "Geopotential height       (m)",     "Specific humidity         (kg/kg)",
    "Temperature               (K)",
};
constexpr const char* surface_names[] = {
    "Land-sea mask             ( )",     "M S L Pressure            (hPa)",
    "Surface Pressure          (hPa)",   "Topography                (m)",
    "Soil Temperature  layer 1 (K)",     "Soil Moisture layer 1     (0-1)",
    "Soil Temperature  layer 2 (K)",     "Soil Moisture layer 2     (0-1)",
    "Soil Temperature  layer 3 (K)",     "Soil Moisture layer 3     (0-1)",
    "Soil Temperature  layer 4 (K)",     "Soil Moisture layer 4     (0-1)",
};

void add(std::string& text, const FreeLine& line) {
  text += line.str();
  text += '\n';
}

}  // namespace

Kgds fill_kgds(const RunContext& ctx) {
  Kgds kgds{};  // elements 12 to 19 hold 0
  kgds[0] = ctx.grid[0];   // data representation type
  kgds[1] = ctx.im;        // points along a row
  kgds[2] = ctx.jm;        // rows
  kgds[3] = ctx.grid[1];   // latitude of the first grid point
  kgds[4] = ctx.grid[2];   // longitude of the first grid point
  kgds[5] = 128;           // direction increments given
  kgds[6] = ctx.grid[3];   // latitude of the last grid point
  kgds[7] = ctx.grid[4];   // longitude of the last grid point
  kgds[8] = ctx.grid[5];   // increment along i
  kgds[9] = ctx.grid[6];   // increment along j
  kgds[10] = 64;           // scanning: +i west to east, +j south to north
  kgds[19] = 255;          // no vertical coordinates, no list of row lengths
  return kgds;
}

std::string grid_description_text(const RunContext& ctx, const WorkArrays& work,
                                  const Kgds& kgds) {
  std::string text;
  add(text, FreeLine().integer(ctx.lm).text(" => Number of Levels"));
  add(text, FreeLine("Pressure in Pa"));
  // Top level first: the reverse of the record order.
  for (std::int32_t k = ctx.lm; k >= 1; --k)
    add(text, FreeLine().real(work.pr[static_cast<std::size_t>(k - 1)] * 100.0f));
  for (int n = 1; n <= 11; ++n)
    add(text, FreeLine().integer(kgds[static_cast<std::size_t>(n - 1)])
                  .text("kgds(" + decimal(n) + ")"));
  // The twelfth line carries element 20 under the name of element 12.
  add(text, FreeLine().integer(kgds[19]).text("kgds(12)"));
  add(text, FreeLine());
  add(text, FreeLine("Fields names and writing order"));
  add(text, FreeLine());
  add(text, FreeLine("        3D "));
  add(text, FreeLine("first written record: botton of the atmosphere"));
  for (const char* name : upper_air_names) add(text, FreeLine(name));
  add(text, FreeLine());
  add(text, FreeLine("        2D"));
  for (const char* name : surface_names) add(text, FreeLine(name));
  return text;
}

namespace {

struct OutputNames {
  std::string stem, out_field, model, gds;
};

OutputNames output_names(const RunContext& ctx) {
  OutputNames n;
  n.stem = std::string(text_before_blank(ctx.input_path));
  n.out_field = fixed_field(n.stem + "." + output_label, path_length);
  n.model = std::string(text_before_blank(n.out_field));
  n.gds = std::string(text_before_blank(fixed_field(n.model + ".gdsinfo", path_length)));
  return n;
}

// Both names are checked before either file is made, so that a stem too
// long for them creates and touches nothing.
void check_stem(const OutputNames& n) {
  if (n.stem.size() > layout::max_stem_length)
    throw CannotOpen("output files of '" + n.stem.substr(0, 40) + "...': the input stem has " +
                     decimal(n.stem.size()) +
                     " characters; the output names allow at most " +
                     decimal(layout::max_stem_length));
}

}  // namespace

void check_output_names(const RunContext& ctx) {
  const OutputNames n = output_names(ctx);
  check_stem(n);
  for (const std::string& name : {n.model, n.gds}) {
    check_output_name(name);
    const auto slash = name.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    if (::access(ctx.located(dir).c_str(), W_OK | X_OK) != 0)
      throw CannotOpen(system_reason(name, errno) + " (its directory " + dir +
                       " does not let a new file be made)");
  }
}

std::unique_ptr<Outputs> write_grid_description(RunContext& ctx, const WorkArrays& work,
                                                Log& log) {
  const OutputNames n = output_names(ctx);
  log.put(FreeLine().text(n.out_field));
  log.put(FreeLine(output_label).text(" data ---> ").text(n.model));
  check_stem(n);

  // The model data file's temporary file is made first, then the grid
  // description's.
  auto outputs = std::make_unique<Outputs>(ctx.located(n.model), ctx.located(n.gds));
  ctx.nsfcfld = surface_planes;

  log.put(FreeLine("calling get_fullgds with ").text(n.stem));
  const Kgds kgds = fill_kgds(ctx);
  log.put("back from get_fullgds");
  FreeLine kgds_line("writing kgds ");
  for (std::size_t k = 0; k < 14; ++k) kgds_line.integer(kgds[k]);
  log.put(kgds_line);
  log.put(FreeLine("GDS written to ").text(n.gds));

  const std::string text = grid_description_text(ctx, work, kgds);
  outputs->grid_description.write(text, "the grid description");
  outputs->grid_description.close();
  log.put("past 14 close");
  return outputs;
}

}  // namespace c2m
