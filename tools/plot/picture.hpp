// Quick-look pictures of one record of a model data file, drawn with cairo:
//
//   +--------------------------------------------------------------+
//   | title: the field, its unit and level                         |
//   | the file, the record, the grid and the range of the values   |
//   |    +-------------------------------------------------------+ |
//   | 50N|  the map: north at the top, each grid point a block of | |
//   |    |  pixels (large grids one pixel per point or fewer), the| |
//   | 40N|  coastline (the 0.5 contour of the file's land-sea mask| |
//   |    +-------------------------------------------------------+ |
//   |      10W          0           10E          20E              |
//   |          [ colour bar with labelled ticks ]                  |
//   |               short name: long name [unit]                   |
//   +--------------------------------------------------------------+
//
// Colours come from a perceptually uniform scale (dark blue-violet through
// teal and green to yellow, after the anchors of the viridis map) stretched
// between the minimum and maximum of the valid points, or over a range the
// user fixes.  Missing, NaN and infinite points are grey; with the sea
// masked, sea points are pale blue and left out of the range.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace c2m::plot {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb background{255, 255, 255};
inline constexpr Rgb missing_grey{150, 150, 150};
inline constexpr Rgb sea_colour{200, 220, 236};
inline constexpr Rgb coast_colour{0, 0, 0};

// The colour of T in [0, 1] (clamped; NaN counts as 0).
Rgb scale_colour(double t);

// Pictures larger than this are refused before anything is allocated.
inline constexpr std::int64_t max_pixels = 100'000'000;
inline constexpr std::int64_t max_side = 32767;  // what cairo can draw along a side
// Small grids are drawn at least this wide by default.
inline constexpr std::int64_t default_map_width = 800;

// Where everything goes in a picture, in pixels from the top-left corner.
struct Geometry {
  int width = 0, height = 0;  // the whole picture
  int map_x = 0, map_y = 0, map_w = 0, map_h = 0;
  // The map is drawn from a grid of sample_w x sample_h points: the grid
  // itself, or every n-th point when the map has fewer pixels than the
  // grid has points.
  int sample_w = 0, sample_h = 0;
  int title_y = 0, subtitle_y = 0;  // text baselines
  int bar_x = 0, bar_y = 0, bar_w = 0, bar_h = 0;
  int labels_y = 0, caption_y = 0;  // baselines below the bar
  int longitudes_y = 0;             // baseline of the longitudes under the map

  // Grid point (i, j from the north, both from 0) shown by sample (x, y).
  std::int64_t grid_i(int x, std::int64_t im) const;
  std::int64_t grid_row_from_north(int y, std::int64_t jm) const;
};

// Lays out the picture of an IM x JM grid.  MAP_WIDTH is the width of the
// map asked for, 0 for the default: at least default_map_width pixels, each
// grid point a square block, or one pixel per point for grids that wide.
// Throws SizeFailure, saying the size and the limits, for a picture larger
// than max_pixels or max_side.
Geometry plan_picture(std::int64_t im, std::int64_t jm, std::int64_t map_width);

// The colour scale's range: MIN and MAX of the values, widened around a
// constant value so that it still has a width.
std::pair<double, double> colour_range(double min, double max);

// Tick values for a colour bar from LO to HI: 5 or more round numbers
// (steps of 1, 2 or 5 times a power of ten) inside the range.
std::vector<double> ticks(double lo, double hi);
// The label of tick V when ticks are STEP apart.
std::string tick_label(double v, double step);

// Where the grid lies, for the latitudes and longitudes on the frame of
// the map: the latitudes of its northern and southern rows and the
// longitudes of its western and eastern columns (the centres of their
// points), degrees, east beyond west (above 180 for a grid across the
// date line), and its points along each.
struct GridFrame {
  double north = 0, south = 0, west = 0, east = 0;
  std::int64_t im = 0, jm = 0;
};

// The label of latitude V, of longitude V (taken into -180..180), with
// ticks STEP degrees apart: "45°N", "2.5°S", "0°"; "10°W", "180°".
std::string latitude_label(double v, double step);
std::string longitude_label(double v, double step);

struct PictureData {
  // sample_w x sample_h values, row 0 the northernmost.
  std::vector<float> values;
  // The land-sea mask at the same samples (land >= 0.5), or empty.
  std::vector<float> mask;
  bool coast = true;      // draw the 0.5 contour of the mask
  bool mask_sea = false;  // sea points pale blue, out of the range
  std::optional<std::pair<double, double>> range;  // fixed colour range
  std::optional<GridFrame> frame;  // latitudes and longitudes on the frame, when known
  std::string title, subtitle, caption;
};

// An RGB picture made by cairo.
class Picture {
 public:
  Picture(int width, int height);
  ~Picture();
  Picture(Picture&& other) noexcept;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  Picture& operator=(Picture&& other) noexcept;

  // A PNG file read back (for tests and checks); nothing when PATH cannot
  // be read as a PNG.
  static std::optional<Picture> load(const std::string& path);

  int width() const;
  int height() const;
  Rgb at(int x, int y) const;
  void* surface() const { return surface_; }

 private:
  explicit Picture(void* surface) : surface_(surface) {}
  void* surface_ = nullptr;  // cairo_surface_t
};

// The range of the colour scale that DATA gets (its own values, or the
// range it fixes), or nothing when no point gets a colour.
std::optional<std::pair<double, double>> data_range(const PictureData& data);

// Draws DATA laid out as GEOMETRY says.
Picture render_picture(const Geometry& geometry, const PictureData& data);

// Encodes PICTURE as PNG into the output file NAME (c2m::OutputFile: the
// file is whole or absent).
void write_png(const Picture& picture, const std::string& name);

}  // namespace c2m::plot
