#include "plot.hpp"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <span>

#include "fileio/output_check.hpp"
#include "fileio/output_file.hpp"
#include "kit/numbers.hpp"
#include "model_file.hpp"
#include "numbers.hpp"
#include "option_table.hpp"
#include "picture.hpp"
#include "record_stats.hpp"
#include "selection.hpp"
#include "textio/errors.hpp"

namespace c2m::cli {

namespace {

constexpr std::string_view synopsis =
    "conv2model plot FILE.KVOwrk (--record N | --var NAME [--level HPA]) -o OUT.png\n"
    "                [--width PIXELS] [--range MIN,MAX] [--no-coast] [--mask-sea]";

constexpr std::string_view help =
    "Draws one record of a model data file NAME.KVOwrk (with its grid description\n"
    "NAME.KVOwrk.gdsinfo beside it) as a PNG picture: a title with the field, its\n"
    "unit and level and the file's name, the map with north at the top and the\n"
    "latitudes and longitudes on its frame, and a colour bar with labelled\n"
    "ticks.  Each grid point is a block of pixels, so that a small grid is drawn\n"
    "at least 800 pixels wide; grids that wide get one pixel per point.  Colours\n"
    "run from dark blue-violet (the minimum) to yellow (the maximum) of the valid\n"
    "points; missing (-99999.0), NaN and infinite points are grey.  The coastline\n"
    "is the 0.5 contour of the file's own land-sea mask (record 5 x lm + 1).\n"
    "\n";

void one_field(std::string_view name, const std::string& v) {
  if (md::parse_fields(std::string(name), v).size() != 1)
    throw UsageError(std::string(name) + ": one field per picture");
}

void one_level(std::string_view name, const std::string& v) {
  if (md::parse_levels(std::string(name), v).size() != 1)
    throw UsageError(std::string(name) + ": one level per picture");
}

void a_file_name(std::string_view name, const std::string& v) {
  if (v.empty()) throw UsageError(std::string(name) + " needs a file name");
}

// The picture is PNG: a name of another ending (t850.jpg, or none) would
// be taken for what it is not, by a viewer and by the next command.
void refuse_other_than_png(const std::string& output) {
  const std::string_view ending = ".png";
  bool png = output.size() > ending.size();
  for (std::size_t k = 0; png && k < ending.size(); ++k) {
    const char c = output[output.size() - ending.size() + k];
    png = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == ending[k];
  }
  if (!png)
    throw UsageError("-o " + output + ": the picture is PNG, and its name must end in .png (or .PNG)");
}

void low_to_high(std::string_view name, const std::string& v) {
  const auto parts = split_list(v);
  double lo = 0, hi = 0;
  read_real(parts[0], lo);
  read_real(parts[1], hi);
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
    throw UsageError(std::string(name) + " wants MIN,MAX with MIN below MAX, not \"" + v + "\"");
}

constexpr Option option_rows[] = {
    {.name = "--record", .kind = Kind::integer, .value = "N", .help = "the record to draw, by number",
     .heading = "Options:"},
    {.name = "--var", .kind = Kind::text, .value = "NAME",
     .help = "the field to draw, by short name: u v gh q t aloft; lsm\n"
             "msl sp orog stl1 swvl1 stl2 swvl2 stl3 swvl3 stl4 swvl4 at\n"
             "the surface",
     .check = one_field},
    {.name = "--level", .kind = Kind::text, .value = "HPA",
     .help = "with --var: the level in hPa (default: the lowest level)", .check = one_level},
    {.name = "-o", .alias = "--output", .kind = Kind::text, .value = "OUT.png",
     .help = "the picture, a name ending in .png (in any case); whole or\n"
             "not at all, and never one of the files it is drawn from",
     .check = a_file_name},
    {.name = "--width", .kind = Kind::integer, .value = "PIXELS",
     .help = "the width of the map (for a large grid: fewer pixels than\n"
             "points, every n-th point drawn)",
     .least = 16, .most = plot::max_side, .allowed = "from {least} to {most} pixels"},
    {.name = "--range", .kind = Kind::list, .value = "MIN,MAX",
     .help = "a fixed colour scale; values beyond it take its end colours", .item = Kind::real,
     .items = 2, .allowed = "MIN,MAX", .check = low_to_high},
    {.name = "--no-coast", .help = "no coastline"},
    {.name = "--mask-sea",
     .help = "sea points pale blue and out of the colour scale: for the\n"
             "soil fields, whose sea points hold the converter's fill"},
    help_option,
};

constexpr OptionTable option_table{option_rows, Reading::in_order, {1, md::one_model_data_file, true}, 20};

constexpr std::string_view more =
    "Pictures of more than 100000000 pixels, or 32767 along a side, are refused.\n"
    "\n"
    "Examples:\n"
    "  conv2model plot case.bin.KVOwrk --var orog -o topography.png\n"
    "  conv2model plot case.bin.KVOwrk --var t --level 850 -o t850.png\n"
    "  conv2model plot case.bin.KVOwrk --var swvl1 --mask-sea -o moisture.png\n"
    "  conv2model plot case.bin.KVOwrk --record 1 --range -40,40 -o u.png\n"
    "\n"
    "Exit status: 0 done; 2 wrong usage, a file that cannot be read or written, a\n"
    "model data file whose size does not match its grid description, or a\n"
    "picture too large.\n";

struct Request {
  std::string path, output;
  std::optional<std::int64_t> record;
  std::optional<int> field;
  std::optional<std::string> level;
  std::int64_t width = 0;
  std::optional<std::pair<double, double>> range;
  bool coast = true, mask_sea = false;
};

Request parse(const std::vector<std::string>& args) {
  const ParsedOptions p = parse_options(option_table, args);
  Request r;
  if (p.given("--record")) r.record = p.integer<std::int64_t>("--record");
  if (p.given("--var")) r.field = md::parse_fields("--var", p.text("--var"))[0];
  if (p.given("--level")) r.level = md::parse_levels("--level", p.text("--level"))[0];
  r.output = p.text("-o");
  if (p.given("--width")) r.width = p.integer<std::int64_t>("--width");
  if (p.given("--range")) {
    const std::vector<double> range = p.reals("--range");
    r.range = std::pair{range[0], range[1]};
  }
  r.coast = !p.given("--no-coast");
  r.mask_sea = p.given("--mask-sea");
  r.path = p.operands().empty() ? "" : p.operands()[0];
  if (r.path.empty()) throw UsageError("no model data file given");
  if (r.output.empty()) throw UsageError("say where the picture goes: -o OUT.png");
  if (r.record.has_value() == r.field.has_value())
    throw UsageError("say which record to draw: --record N or --var NAME");
  if (r.level && !r.field) throw UsageError("--level goes with --var");
  return r;
}

// The record the request names.
std::int64_t record_of(const Request& r, const layout::GridDescription& grid) {
  if (r.record) {
    md::label_record(grid, *r.record, r.path);  // the range check
    return *r.record;
  }
  md::Selection s;
  s.fields = {*r.field};
  if (r.level) s.levels = {*r.level};
  else if (*r.field < layout::upper_count) s.levels = {shortest_float(grid.level_hpa(1))};
  return md::select_records(grid, s, r.path).front();
}

// Where GRID lies: its first point is the south-west corner (kgds 4 and 5,
// thousandths of a degree) and the points follow at its increments (kgds
// 9 along i, 10 along j), as the converter placed them; a grid across the
// date line ends east of 180.
plot::GridFrame frame_of(const layout::GridDescription& grid) {
  plot::GridFrame f;
  f.im = grid.im();
  f.jm = grid.jm();
  f.south = grid.kgds(4) / 1000.0;
  f.west = grid.kgds(5) / 1000.0;
  f.north = f.south + static_cast<double>(f.jm - 1) * std::abs(static_cast<double>(grid.kgds(10))) / 1000.0;
  f.east = f.west + static_cast<double>(f.im - 1) * std::abs(static_cast<double>(grid.kgds(9))) / 1000.0;
  return f;
}

// Record N at the samples of GEOMETRY, row 0 the northernmost.
std::vector<float> sampled(md::ModelFile& file, std::int64_t n, const plot::Geometry& g) {
  const std::int64_t im = file.grid().im(), jm = file.grid().jm();
  std::vector<float> out(static_cast<std::size_t>(g.sample_w) * static_cast<std::size_t>(g.sample_h));
  std::vector<std::int64_t> columns(static_cast<std::size_t>(g.sample_w));
  for (int x = 0; x < g.sample_w; ++x) columns[static_cast<std::size_t>(x)] = g.grid_i(x, im);
  std::vector<float> row;
  for (int y = 0; y < g.sample_h; ++y) {
    // Rows are stored south to north: row j (from 1) is jm - (rows from the north).
    file.read_row(n, jm - g.grid_row_from_north(y, jm), row);
    float* to = out.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(g.sample_w);
    for (int x = 0; x < g.sample_w; ++x)
      to[x] = row[static_cast<std::size_t>(columns[static_cast<std::size_t>(x)])];
  }
  return out;
}

int run(const std::vector<std::string>& args, Streams& io) {
  const Request r = parse(args);
  // The output name is checked before any work: a directory or a device
  // there is refused, and so is any file the picture is drawn from.
  check_output_name(r.output);
  refuse_output_onto_inputs(r.output, {r.path, layout::grid_description_path(r.path)});
  refuse_other_than_png(r.output);

  const layout::GridDescription grid = layout::read_grid_description(r.path);
  const std::int64_t n = record_of(r, grid);
  const plot::Geometry geometry = plot::plan_picture(grid.im(), grid.jm(), r.width);
  md::ModelFile file(r.path, grid);
  file.require_complete();

  const md::RecordLabel label = md::label_record(grid, n, r.path);
  const layout::FieldInfo& f = label.info();
  plot::PictureData data;
  data.values = sampled(file, n, geometry);
  if (r.coast || r.mask_sea)
    data.mask = sampled(file, layout::model_record(layout::sfc::lsm + layout::upper_count - 1, 0, grid.lm), geometry);
  data.coast = r.coast;
  data.mask_sea = r.mask_sea;
  data.range = r.range;
  data.frame = frame_of(grid);

  const std::string unit = f.unit.empty() ? "" : " [" + std::string(f.unit) + "]";
  const std::string name = std::filesystem::path(r.path).filename().string();
  std::string field_words(f.long_name);
  if (!field_words.empty() && field_words[0] >= 'a' && field_words[0] <= 'z')
    field_words[0] = static_cast<char>(field_words[0] - 'a' + 'A');
  data.title = field_words + unit +
               (label.surface ? ", surface" : ", " + md::level_text(label) + " hPa");
  // The values shown: with the sea masked, those of the land alone.
  md::RecordStats s;
  if (r.mask_sea) {
    for (std::size_t p = 0; p < data.values.size(); ++p)
      if (data.mask[p] >= 0.5f) s.add(std::span<const float>(&data.values[p], 1));
  } else {
    s.add(data.values);
  }
  data.subtitle = name + ", record " + decimal(n) + " of " +
                  decimal(grid.record_count()) + " (" + std::string(f.short_name) + "), " +
                  decimal(grid.im()) + " x " + decimal(grid.jm()) + " points" +
                  (s.valid > 0 ? std::string(r.mask_sea ? ", land values " : ", values ") +
                                     shortest_float(s.min) + " to " + shortest_float(s.max)
                               : ", no valid point") +
                  (r.mask_sea ? ", sea masked" : "");
  data.caption = std::string(f.short_name) + ": " + md::description(f);

  const plot::Picture picture = plot::render_picture(geometry, data);
  plot::write_png(picture, r.output);

  const auto range = plot::data_range(data);
  const std::string colours = range ? "colours from " + significant_digits(range->first, 6) + " to " +
                                          significant_digits(range->second, 6) + unit
                                    : "no valid point: all grey";
  const std::string said = r.output + ": " + md::record_words(label) + ", " + decimal(geometry.width) +
                           " x " + decimal(geometry.height) + " pixels, " + colours + "\n";
  std::fwrite(said.data(), 1, said.size(), io.out);
  return status_ok;
}

}  // namespace

const Subcommand& plot_subcommand() {
  static const Subcommand sub{"plot", "draw a record of a model data file as a PNG picture",
                              synopsis, help, run, &option_table, more};
  return sub;
}

}  // namespace c2m::cli
