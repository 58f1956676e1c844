#include "info.hpp"

#include "inventory.hpp"
#include "model_file.hpp"
#include "option_table.hpp"
#include "selection.hpp"

namespace c2m::cli {

namespace {

constexpr std::string_view synopsis =
    "conv2model info [--var NAME[,NAME...]] [--level HPA[,HPA...]] [--record N[,N...]]\n"
    "                [--csv] FILE.KVOwrk";

constexpr std::string_view help =
    "Lists what a model data file NAME.KVOwrk written by the converter holds.  Its\n"
    "grid description NAME.KVOwrk.gdsinfo must lie beside it.  The file is read one\n"
    "record at a time, so even a file of many gigabytes needs little memory.\n"
    "\n"
    "The inventory starts with the grid (sizes, record length, corners and\n"
    "increments in degrees) and any note on the grid description, then gives one\n"
    "line per record:\n"
    "\n"
    "  rec          record number, from 1\n"
    "  offset       byte offset of the record in the file\n"
    "  name         short name of the field: u v gh q t aloft; lsm msl sp orog\n"
    "               stl1 swvl1 stl2 swvl2 stl3 swvl3 stl4 swvl4 at the surface\n"
    "  level        pressure in hPa, or sfc for the twelve surface fields\n"
    "  min max mean stddev\n"
    "               of the valid points; the mean and the standard deviation are\n"
    "               unweighted (every grid point counts alike, whatever its area)\n"
    "  missing nan inf\n"
    "               points holding -99999.0, NaN or an infinity, which are left\n"
    "               out of the statistics\n"
    "  description  the field and its unit in words (the last column: every\n"
    "               column before it is one word, for grep and awk)\n"
    "\n";

constexpr Option option_rows[] = {
    {.name = "--var", .kind = Kind::list, .value = "NAME[,NAME...]", .help = "only these fields",
     .heading = "Options:",
     .check = [](std::string_view name, const std::string& v) { md::parse_fields(std::string(name), v); }},
    {.name = "--level", .kind = Kind::list, .value = "HPA[,HPA...]",
     .help = "only these levels (sfc: the surface fields)",
     .check = [](std::string_view name, const std::string& v) { md::parse_levels(std::string(name), v); }},
    {.name = "--record", .kind = Kind::list, .value = "N[,N...]",
     .help = "only these records (not with --var or --level)", .item = Kind::integer},
    {.name = "--csv",
     .help = "one machine-readable row per record after a header\n"
             "line (record,offset,name,level_hpa,min,max,mean,\n"
             "stddev,valid,missing,nan,inf,long_name,units;\n"
             "level_hpa and the statistics empty where there are\n"
             "none); notes go to standard error"},
    help_option,
};

constexpr OptionTable option_table{option_rows, Reading::in_order, {1, md::one_model_data_file, true}, 26};

constexpr std::string_view more =
    "The size of the file is checked against its grid description: 5 x lm + 12\n"
    "records of im x jm x 4 bytes.  A file of another size is refused, after the\n"
    "lines of the records that lie whole in it.\n"
    "\n"
    "Examples:\n"
    "  conv2model info case.bin.KVOwrk\n"
    "  conv2model info --var t,q --level 850,500 case.bin.KVOwrk\n"
    "  conv2model info --csv case.bin.KVOwrk > inventory.csv\n"
    "  conv2model info case.bin.KVOwrk | awk '$3 == \"t\" { print $4, $7 }'\n"
    "\n"
    "Exit status: 0 done; 2 wrong usage, a file that cannot be read, or a model\n"
    "data file whose size does not match its grid description.\n";

int run(const std::vector<std::string>& args, Streams& io) {
  const ParsedOptions p = parse_options(option_table, args);
  md::Selection selection;
  if (p.given("--var")) selection.fields = md::parse_fields("--var", p.text("--var"));
  if (p.given("--level")) selection.levels = md::parse_levels("--level", p.text("--level"));
  if (p.given("--record"))
    for (const long long n : p.integers("--record")) selection.records.push_back(n);
  const std::string path = p.operands().empty() ? "" : p.operands()[0];
  const bool csv = p.given("--csv");
  if (path.empty()) throw UsageError("no model data file given");
  if (!selection.records.empty() && (!selection.fields.empty() || !selection.levels.empty()))
    throw UsageError("--record names records by number: it takes neither --var nor --level");

  const layout::GridDescription grid = layout::read_grid_description(path);
  md::ModelFile file(path, grid);
  const std::vector<std::int64_t> records = md::select_records(grid, selection, path);
  info::write_inventory(io.out, io.err, file, records,
                        csv ? info::Format::csv : info::Format::text);
  finish_output(io);
  return status_ok;
}

}  // namespace

const Subcommand& info_subcommand() {
  static const Subcommand sub{"info", "list the records of a model data file", synopsis, help,
                              run, &option_table, more};
  return sub;
}

}  // namespace c2m::cli
