#include "plot.hpp"

#include <cmath>
#include <filesystem>
#include <span>

#include "fileio/output_file.hpp"
#include "kit/numbers.hpp"
#include "model_file.hpp"
#include "numbers.hpp"
#include "output_check.hpp"
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
    "unit and level and the file's name, the map with north at the top, and a\n"
    "colour bar with labelled ticks.  Each grid point is a block of pixels, so\n"
    "that a small grid is drawn at least 800 pixels wide; grids that wide get one\n"
    "pixel per point.  Colours run from dark blue-violet (the minimum) to yellow\n"
    "(the maximum) of the valid points; missing (-99999.0), NaN and infinite\n"
    "points are grey.  The coastline is the 0.5 contour of the file's own\n"
    "land-sea mask (record 5 x lm + 1).\n"
    "\n"
    "Options:\n"
    "  --record N        the record to draw, by number\n"
    "  --var NAME        the field to draw, by short name: u v gh q t aloft; lsm\n"
    "                    msl sp orog stl1 swvl1 stl2 swvl2 stl3 swvl3 stl4 swvl4 at\n"
    "                    the surface\n"
    "  --level HPA       with --var: the level in hPa (default: the lowest level)\n"
    "  -o, --output OUT.png\n"
    "                    the picture; whole or not at all, and never one of the\n"
    "                    files it is drawn from\n"
    "  --width PIXELS    the width of the map (for a large grid: fewer pixels than\n"
    "                    points, every n-th point drawn)\n"
    "  --range MIN,MAX   a fixed colour scale; values beyond it take its end colours\n"
    "  --no-coast        no coastline\n"
    "  --mask-sea        sea points pale blue and out of the colour scale: for the\n"
    "                    soil fields, whose sea points hold the converter's fill\n"
    "  -h, --help        this text\n"
    "\n"
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
  Request r;
  std::string value;
  Args a(args);
  while (a.next()) {
    if (a.value("--record", value)) {
      r.record = integer_value("--record", value);
    } else if (a.value("--var", value)) {
      const auto fields = md::parse_fields("--var", value);
      if (fields.size() != 1) throw UsageError("--var: one field per picture");
      r.field = fields[0];
    } else if (a.value("--level", value)) {
      const auto levels = md::parse_levels("--level", value);
      if (levels.size() != 1) throw UsageError("--level: one level per picture");
      r.level = levels[0];
    } else if (a.value("-o", value) || a.value("--output", value)) {
      if (value.empty()) throw UsageError("-o needs a file name");
      r.output = value;
    } else if (a.value("--width", value)) {
      r.width = integer_value("--width", value);
      if (r.width < 16 || r.width > plot::max_side)
        throw UsageError("--width wants from 16 to " + decimal(plot::max_side) +
                         " pixels, not " + value);
    } else if (a.value("--range", value)) {
      const auto parts = split_list(value);
      if (parts.size() != 2) throw UsageError("--range wants MIN,MAX, not \"" + value + "\"");
      const double lo = real_value("--range", parts[0]), hi = real_value("--range", parts[1]);
      if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
        throw UsageError("--range wants MIN,MAX with MIN below MAX, not \"" + value + "\"");
      r.range = std::pair{lo, hi};
    } else if (a.flag("--no-coast")) {
      r.coast = false;
    } else if (a.flag("--mask-sea")) {
      r.mask_sea = true;
    } else if (a.is_option()) {
      a.unknown();
    } else if (!r.path.empty()) {
      throw UsageError("one model data file at a time (got " + r.path + " and " + a.arg() + ")");
    } else {
      r.path = a.arg();
    }
  }
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
  md::refuse_output_onto_inputs(r.output, {r.path, layout::grid_description_path(r.path)});

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
  std::fprintf(io.out, "%s: %s, %d x %d pixels, %s\n", r.output.c_str(),
               md::record_words(label).c_str(), geometry.width, geometry.height,
               range ? ("colours from " + significant_digits(range->first, 6) + " to " +
                        significant_digits(range->second, 6) + unit)
                           .c_str()
                     : "no valid point: all grey");
  return status_ok;
}

}  // namespace

const Subcommand& plot_subcommand() {
  static const Subcommand sub{"plot", "draw a record of a model data file as a PNG picture",
                              synopsis, help, run};
  return sub;
}

}  // namespace c2m::cli
