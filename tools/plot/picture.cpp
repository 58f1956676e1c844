#include "picture.hpp"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <span>

#include "fileio/output_file.hpp"
#include "kit/numbers.hpp"
#include "record_stats.hpp"
#include "textio/errors.hpp"

namespace c2m::plot {

namespace {

// Nine colours evenly spaced along the scale; colours between them are
// interpolated linearly.  Lightness grows steadily from the first to the
// last, so equal steps of the value look like equal steps of colour.
constexpr std::array<Rgb, 9> anchors = {{{68, 1, 84},
                                         {71, 44, 122},
                                         {59, 81, 139},
                                         {44, 113, 142},
                                         {33, 144, 141},
                                         {39, 173, 129},
                                         {92, 200, 99},
                                         {170, 220, 50},
                                         {253, 231, 37}}};

std::uint8_t mix(std::uint8_t a, std::uint8_t b, double f) {
  return static_cast<std::uint8_t>(std::lround(a + (b - a) * f));
}

// The fixed parts of the layout, in pixels.
constexpr int margin = 16;
constexpr int title_size = 17;     // font size of the title line
constexpr int subtitle_size = 12;  // the line under it
constexpr int label_size = 12;     // tick labels and the caption
constexpr int title_block = margin + title_size + 8 + subtitle_size + 12;
constexpr int bar_gap = 14, bar_height = 16, tick_length = 5;
constexpr int below_map = bar_gap + bar_height + tick_length + 4 + label_size + 8 + label_size + margin;
// Room for the latitudes left of the map ("77.5°N" and its tick) and for
// the longitudes under it.
constexpr int frame_label_size = 11;
constexpr int latitude_room = 52;
constexpr int longitude_room = tick_length + 3 + frame_label_size + 4;
constexpr int least_content_width = 480;
constexpr int least_bar_width = 360;
// Tall, narrow grids keep their map within this height by default.
constexpr std::int64_t default_map_height = 1600;

const char* font_family = "DejaVu Sans";

cairo_surface_t* as_surface(void* s) { return static_cast<cairo_surface_t*>(s); }

void set_colour(cairo_t* cr, Rgb c) {
  cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

// TEXT cut with an ellipsis so that it fits WIDTH pixels in the current font.
std::string fitted(cairo_t* cr, std::string text, double width) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  if (e.x_advance <= width) return text;
  while (!text.empty()) {
    // Drop whole UTF-8 characters (file names may hold any).
    do text.pop_back();
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80);
    const std::string t = text + "...";
    cairo_text_extents(cr, t.c_str(), &e);
    if (e.x_advance <= width) return t;
  }
  return "";
}

void show_text(cairo_t* cr, double x, double baseline, const std::string& text) {
  cairo_move_to(cr, x, baseline);
  cairo_show_text(cr, text.c_str());
}

double text_width(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  return e.x_advance;
}

// The coastline: the 0.5 contour of the mask by marching squares over the
// cells between sample centres, as segments in sample coordinates (the
// centre of sample (x, y) at (x + 0.5, y + 0.5)).
void trace_coast(cairo_t* cr, const std::vector<float>& mask, int w, int h, double sx, double sy,
                 double ox, double oy) {
  const auto at = [&](int x, int y) { return mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)]; };
  const auto point = [&](double x, double y) {
    return std::pair<double, double>{ox + (x + 0.5) * sx, oy + (y + 0.5) * sy};
  };
  const auto segment = [&](std::pair<double, double> a, std::pair<double, double> b) {
    const auto pa = point(a.first, a.second), pb = point(b.first, b.second);
    cairo_move_to(cr, pa.first, pa.second);
    cairo_line_to(cr, pb.first, pb.second);
  };
  for (int y = 0; y + 1 < h; ++y) {
    for (int x = 0; x + 1 < w; ++x) {
      const float v00 = at(x, y), v10 = at(x + 1, y), v01 = at(x, y + 1), v11 = at(x + 1, y + 1);
      if (!md::is_valid(v00) || !md::is_valid(v10) || !md::is_valid(v01) || !md::is_valid(v11))
        continue;
      const int index = (v00 >= 0.5f ? 1 : 0) | (v10 >= 0.5f ? 2 : 0) | (v11 >= 0.5f ? 4 : 0) |
                        (v01 >= 0.5f ? 8 : 0);
      if (index == 0 || index == 15) continue;
      // Where the contour crosses each edge of the cell.
      const auto cross = [](float a, float b) {
        return a == b ? 0.5 : std::clamp((0.5 - a) / (static_cast<double>(b) - a), 0.0, 1.0);
      };
      const std::pair<double, double> top{x + cross(v00, v10), y};
      const std::pair<double, double> bottom{x + cross(v01, v11), y + 1};
      const std::pair<double, double> left{x, y + cross(v00, v01)};
      const std::pair<double, double> right{x + 1, y + cross(v10, v11)};
      const bool centre_land = (v00 + v10 + v01 + v11) / 4.0f >= 0.5f;
      switch (index) {
        case 1: case 14: segment(left, top); break;
        case 2: case 13: segment(top, right); break;
        case 3: case 12: segment(left, right); break;
        case 4: case 11: segment(right, bottom); break;
        case 6: case 9: segment(top, bottom); break;
        case 7: case 8: segment(left, bottom); break;
        case 5:  // land at top-left and bottom-right
          if (centre_land) { segment(left, bottom); segment(top, right); }
          else { segment(left, top); segment(right, bottom); }
          break;
        case 10:  // land at top-right and bottom-left
          if (centre_land) { segment(left, top); segment(right, bottom); }
          else { segment(top, right); segment(left, bottom); }
          break;
        default: break;
      }
    }
  }
  cairo_stroke(cr);
}

struct PngSink {
  OutputFile* file = nullptr;
  std::exception_ptr failure;
};

cairo_status_t write_to_output(void* closure, const unsigned char* data, unsigned int length) {
  auto* sink = static_cast<PngSink*>(closure);
  try {
    sink->file->write(std::as_bytes(std::span<const unsigned char>(data, length)), "the picture");
  } catch (...) {
    sink->failure = std::current_exception();
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

struct PngSource {
  std::FILE* file = nullptr;
};

cairo_status_t read_from_file(void* closure, unsigned char* data, unsigned int length) {
  auto* source = static_cast<PngSource*>(closure);
  return std::fread(data, 1, length, source->file) == length ? CAIRO_STATUS_SUCCESS
                                                             : CAIRO_STATUS_READ_ERROR;
}

}  // namespace

Rgb scale_colour(double t) {
  if (!(t > 0.0)) t = 0.0;  // NaN too
  if (t > 1.0) t = 1.0;
  const double pos = t * static_cast<double>(anchors.size() - 1);
  const auto lower = std::min(static_cast<std::size_t>(pos), anchors.size() - 2);
  const double f = pos - static_cast<double>(lower);
  const Rgb& a = anchors[lower];
  const Rgb& b = anchors[lower + 1];
  return {mix(a.r, b.r, f), mix(a.g, b.g, f), mix(a.b, b.b, f)};
}

std::int64_t Geometry::grid_i(int x, std::int64_t im) const {
  return (2 * std::int64_t{x} + 1) * im / (2 * std::int64_t{sample_w});
}

std::int64_t Geometry::grid_row_from_north(int y, std::int64_t jm) const {
  return (2 * std::int64_t{y} + 1) * jm / (2 * std::int64_t{sample_h});
}

Geometry plan_picture(std::int64_t im, std::int64_t jm, std::int64_t map_width) {
  std::int64_t map_w = 0, map_h = 0;
  if (map_width > 0) {
    map_w = map_width;
    map_h = std::max<std::int64_t>(1, (map_width * jm + im / 2) / im);
    if (map_h > max_side * 4) map_h = max_side * 4;  // far beyond the limit anyway
  } else {
    // Square blocks of pixels per grid point, as large as makes the map
    // default_map_width wide, within default_map_height for tall grids.
    std::int64_t block = im < default_map_width ? (default_map_width + im - 1) / im : 1;
    block = std::min(block, std::max<std::int64_t>(1, default_map_height / jm));
    map_w = im * block;
    map_h = jm * block;
  }
  const std::int64_t content = std::max<std::int64_t>(map_w, least_content_width);
  const std::int64_t width = content + 2 * margin + latitude_room;
  const std::int64_t height = title_block + map_h + longitude_room + below_map;
  // Both sides are checked before their product, which then cannot overflow.
  const bool too_large = width > max_side || height > max_side || width * height > max_pixels;
  if (too_large)
    throw SizeFailure("the picture of a " + decimal(im) + " x " + decimal(jm) +
                      " grid would be " + decimal(width) + " x " + decimal(height) +
                      " pixels; the limit is " + decimal(max_pixels) + " pixels and " +
                      decimal(max_side) +
                      " along a side (give --width to draw the map narrower)");
  Geometry g;
  g.width = static_cast<int>(width);
  g.height = static_cast<int>(height);
  g.map_w = static_cast<int>(map_w);
  g.map_h = static_cast<int>(map_h);
  g.map_x = static_cast<int>(margin + latitude_room + (content - map_w) / 2);
  g.map_y = title_block;
  g.sample_w = static_cast<int>(std::min(im, map_w));
  g.sample_h = static_cast<int>(std::min(jm, map_h));
  g.title_y = margin + title_size;
  g.subtitle_y = g.title_y + 8 + subtitle_size;
  g.bar_w = static_cast<int>(std::clamp<std::int64_t>(map_w, least_bar_width, content));
  g.bar_x = static_cast<int>(margin + latitude_room + (content - g.bar_w) / 2);
  g.longitudes_y = g.map_y + g.map_h + tick_length + 3 + frame_label_size;
  g.bar_y = g.map_y + g.map_h + longitude_room + bar_gap;
  g.bar_h = bar_height;
  g.labels_y = g.bar_y + bar_height + tick_length + 4 + label_size;
  g.caption_y = g.labels_y + 8 + label_size;
  return g;
}

std::pair<double, double> colour_range(double min, double max) {
  if (max > min) return {min, max};
  const double half = min != 0.0 ? std::abs(min) * 0.05 : 0.5;
  return {min - half, min + half};
}

std::vector<double> ticks(double lo, double hi) {
  std::vector<double> out;
  if (!(hi > lo) || !std::isfinite(hi - lo)) return out;
  // From a step of about a fifth of the range down through 5, 2, 1 times
  // a power of ten until at least five ticks fall inside.
  const double raw = (hi - lo) / 5.0;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  static constexpr std::array<double, 3> mantissas = {5.0, 2.0, 1.0};
  std::size_t m = 0;
  while (mantissas[m] * power > raw * (1 + 1e-9) && m + 1 < mantissas.size()) ++m;
  for (int attempt = 0; attempt < 12; ++attempt) {
    const double step = mantissas[m] * power;
    out.clear();
    const double first = std::ceil(lo / step - 1e-9) * step;
    for (double v = first; v <= hi + step * 1e-9 && out.size() < 50; v += step)
      out.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    if (out.size() >= 5) return out;
    if (++m == mantissas.size()) {
      m = 0;
      power /= 10.0;
    }
  }
  return out;
}

std::string tick_label(double v, double step) {
  const double a = std::max(std::abs(v), step);
  if (a >= 1e6 || a < 1e-4) return significant_digits(v, 3);
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
  return fixed_decimals(v, decimals);
}

namespace {

// |V| in degrees with the hemisphere's letter after it, or "0°" for 0
// (within the ticks' precision).
std::string degrees_label(double v, double step, char positive, char negative) {
  const std::string digits = tick_label(std::abs(v), step);
  if (std::abs(v) < step * 1e-6) return "0\u00b0";
  return digits + "\u00b0" + (v > 0 ? positive : negative);
}

}  // namespace

std::string latitude_label(double v, double step) { return degrees_label(v, step, 'N', 'S'); }

std::string longitude_label(double v, double step) {
  double l = std::remainder(v, 360.0);  // -180 .. 180
  if (std::abs(std::abs(l) - 180.0) < step * 1e-6) return "180\u00b0";
  return degrees_label(l, step, 'E', 'W');
}

Picture::Picture(int width, int height)
    : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)) {
  if (cairo_surface_status(as_surface(surface_)) != CAIRO_STATUS_SUCCESS) {
    const std::string why = cairo_status_to_string(cairo_surface_status(as_surface(surface_)));
    cairo_surface_destroy(as_surface(surface_));
    surface_ = nullptr;
    throw SizeFailure("cannot make a picture of " + decimal(width) + " x " +
                      decimal(height) + " pixels: " + why);
  }
}

Picture::~Picture() {
  if (surface_ != nullptr) cairo_surface_destroy(as_surface(surface_));
}

Picture::Picture(Picture&& other) noexcept : surface_(other.surface_) { other.surface_ = nullptr; }

Picture& Picture::operator=(Picture&& other) noexcept {
  if (this != &other) {
    if (surface_ != nullptr) cairo_surface_destroy(as_surface(surface_));
    surface_ = other.surface_;
    other.surface_ = nullptr;
  }
  return *this;
}

std::optional<Picture> Picture::load(const std::string& path) {
  PngSource source{std::fopen(path.c_str(), "rb")};
  if (source.file == nullptr) return std::nullopt;
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(read_from_file, &source);
  std::fclose(source.file);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return std::nullopt;
  }
  return Picture(static_cast<void*>(s));
}

int Picture::width() const { return cairo_image_surface_get_width(as_surface(surface_)); }
int Picture::height() const { return cairo_image_surface_get_height(as_surface(surface_)); }

Rgb Picture::at(int x, int y) const {
  cairo_surface_t* s = as_surface(surface_);
  cairo_surface_flush(s);
  const unsigned char* row =
      cairo_image_surface_get_data(s) + static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(s);
  std::uint32_t p = 0;
  std::memcpy(&p, row + static_cast<std::ptrdiff_t>(x) * 4, 4);  // native-endian 0xAARRGGBB
  return {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
          static_cast<std::uint8_t>(p)};
}

std::optional<std::pair<double, double>> data_range(const PictureData& data) {
  if (data.range) return data.range;
  md::RecordStats s;
  if (data.mask_sea && data.mask.size() == data.values.size()) {
    std::vector<float> land;
    for (std::size_t p = 0; p < data.values.size(); ++p)
      if (data.mask[p] >= 0.5f) land.push_back(data.values[p]);
    s.add(land);
  } else {
    s.add(data.values);
  }
  if (s.valid == 0) return std::nullopt;
  return colour_range(s.min, s.max);
}

namespace {

using Range = std::optional<std::pair<double, double>>;

// The map, drawn one pixel per sample and scaled up without smoothing so
// that every grid point stays a sharp block.
void draw_map(cairo_t* cr, const Geometry& g, const PictureData& data, const Range& range) {
  const bool sea_masked = data.mask_sea && data.mask.size() == data.values.size();
  cairo_surface_t* samples = cairo_image_surface_create(CAIRO_FORMAT_RGB24, g.sample_w, g.sample_h);
  if (cairo_surface_status(samples) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(samples);
    unsigned char* base = cairo_image_surface_get_data(samples);
    const int stride = cairo_image_surface_get_stride(samples);
    for (int y = 0; y < g.sample_h; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(y) * stride);
      for (int x = 0; x < g.sample_w; ++x) {
        const std::size_t p = static_cast<std::size_t>(y) * static_cast<std::size_t>(g.sample_w) +
                              static_cast<std::size_t>(x);
        const float v = data.values[p];
        Rgb c = missing_grey;
        if (sea_masked && md::is_valid(data.mask[p]) && data.mask[p] < 0.5f)
          c = sea_colour;
        else if (md::is_valid(v) && range)
          c = scale_colour((static_cast<double>(v) - range->first) / (range->second - range->first));
        row[x] = (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
      }
    }
    cairo_surface_mark_dirty(samples);
    cairo_save(cr);
    cairo_translate(cr, g.map_x, g.map_y);
    cairo_scale(cr, static_cast<double>(g.map_w) / g.sample_w, static_cast<double>(g.map_h) / g.sample_h);
    cairo_set_source_surface(cr, samples, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, 0, 0, g.sample_w, g.sample_h);
    cairo_fill(cr);
    cairo_restore(cr);
  }
  cairo_surface_destroy(samples);
}

// The coastline over the map, and a frame round it.
void draw_coast_and_frame(cairo_t* cr, const Geometry& g, const PictureData& data) {
  if (data.coast && data.mask.size() == data.values.size()) {
    const double sx = static_cast<double>(g.map_w) / g.sample_w;
    const double sy = static_cast<double>(g.map_h) / g.sample_h;
    set_colour(cr, coast_colour);
    cairo_set_line_width(cr, std::clamp(std::min(sx, sy) / 3.0, 1.0, 2.0));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    trace_coast(cr, data.mask, g.sample_w, g.sample_h, sx, sy, g.map_x, g.map_y);
  }
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, g.map_x - 0.5, g.map_y - 0.5, g.map_w + 1.0, g.map_h + 1.0);
  cairo_stroke(cr);
}

// The latitudes left of the map and the longitudes under it, each with a
// tick on the frame at the centre of the grid points it names.
void draw_frame_labels(cairo_t* cr, const Geometry& g, const GridFrame& f) {
  cairo_select_font_face(cr, font_family, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, frame_label_size);
  cairo_set_line_width(cr, 1.0);
  set_colour(cr, {0, 0, 0});
  if (f.jm > 1 && f.north > f.south) {
    const std::vector<double> lats = ticks(f.south, f.north);
    const double step = lats.size() > 1 ? lats[1] - lats[0] : 1.0;
    for (const double v : lats) {
      const double rows = (f.north - v) / (f.north - f.south) * static_cast<double>(f.jm - 1) + 0.5;
      const double y = std::round(g.map_y + rows * g.map_h / static_cast<double>(f.jm)) + 0.5;
      cairo_move_to(cr, g.map_x - 1.0, y);
      cairo_line_to(cr, g.map_x - 1.0 - tick_length, y);
      cairo_stroke(cr);
      const std::string label = latitude_label(v, step);
      show_text(cr, g.map_x - tick_length - 3.0 - text_width(cr, label), y + frame_label_size * 0.35, label);
    }
  }
  if (f.im > 1 && f.east > f.west) {
    const std::vector<double> lons = ticks(f.west, f.east);
    const double step = lons.size() > 1 ? lons[1] - lons[0] : 1.0;
    for (const double v : lons) {
      const double columns = (v - f.west) / (f.east - f.west) * static_cast<double>(f.im - 1) + 0.5;
      const double x = std::round(g.map_x + columns * g.map_w / static_cast<double>(f.im)) + 0.5;
      cairo_move_to(cr, x, g.map_y + g.map_h + 1.0);
      cairo_line_to(cr, x, g.map_y + g.map_h + 1.0 + tick_length);
      cairo_stroke(cr);
      const std::string label = longitude_label(v, step);
      const double w = text_width(cr, label);
      show_text(cr, std::clamp(x - w / 2.0, 2.0, g.width - w - 2.0), g.longitudes_y, label);
    }
  }
}

// Title and the line under it.
void draw_titles(cairo_t* cr, const Geometry& g, const PictureData& data) {
  const double text_room = g.width - 2.0 * margin;
  set_colour(cr, {0, 0, 0});
  cairo_select_font_face(cr, font_family, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, title_size);
  show_text(cr, margin, g.title_y, fitted(cr, data.title, text_room));
  cairo_select_font_face(cr, font_family, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, subtitle_size);
  show_text(cr, margin, g.subtitle_y, fitted(cr, data.subtitle, text_room));
}

// The colour bar, one column of pixels per step of the scale, its ticks
// and labels, and the caption under it.
void draw_colour_bar(cairo_t* cr, const Geometry& g, const PictureData& data, const Range& range) {
  for (int x = 0; x < g.bar_w; ++x) {
    const Rgb c = range ? scale_colour(g.bar_w > 1 ? static_cast<double>(x) / (g.bar_w - 1) : 0.5)
                        : missing_grey;
    set_colour(cr, c);
    cairo_rectangle(cr, g.bar_x + x, g.bar_y, 1, g.bar_h);
    cairo_fill(cr);
  }
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_rectangle(cr, g.bar_x - 0.5, g.bar_y - 0.5, g.bar_w + 1.0, g.bar_h + 1.0);
  cairo_stroke(cr);
  cairo_set_font_size(cr, label_size);
  set_colour(cr, {0, 0, 0});
  if (range) {
    const std::vector<double> values = ticks(range->first, range->second);
    const double step = values.size() > 1 ? values[1] - values[0] : 1.0;
    for (const double v : values) {
      const double x =
          g.bar_x + (v - range->first) / (range->second - range->first) * (g.bar_w - 1) + 0.5;
      cairo_move_to(cr, std::round(x) + 0.5, g.bar_y + g.bar_h);
      cairo_line_to(cr, std::round(x) + 0.5, g.bar_y + g.bar_h + tick_length);
      cairo_stroke(cr);
      const std::string label = tick_label(v, step);
      const double w = text_width(cr, label);
      const double left = std::clamp(x - w / 2.0, 2.0, g.width - w - 2.0);
      show_text(cr, left, g.labels_y, label);
    }
  } else {
    show_text(cr, g.bar_x, g.labels_y, "no valid point");
  }
  const std::string caption = fitted(cr, data.caption, g.width - 2.0 * margin);
  show_text(cr, g.bar_x + (g.bar_w - text_width(cr, caption)) / 2.0, g.caption_y, caption);
}

}  // namespace

Picture render_picture(const Geometry& g, const PictureData& data) {
  Picture picture(g.width, g.height);
  cairo_surface_t* surface = as_surface(picture.surface());
  cairo_t* cr = cairo_create(surface);
  set_colour(cr, background);
  cairo_paint(cr);
  const Range range = data_range(data);
  draw_map(cr, g, data, range);
  draw_coast_and_frame(cr, g, data);
  if (data.frame) draw_frame_labels(cr, g, *data.frame);
  draw_titles(cr, g, data);
  draw_colour_bar(cr, g, data, range);
  const cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  if (status != CAIRO_STATUS_SUCCESS)
    throw IoFailure(std::string("cannot draw the picture: ") + cairo_status_to_string(status));
  cairo_surface_flush(surface);
  return picture;
}

void write_png(const Picture& picture, const std::string& name) {
  OutputFile out(name);
  PngSink sink{&out, nullptr};
  const cairo_status_t status =
      cairo_surface_write_to_png_stream(as_surface(picture.surface()), write_to_output, &sink);
  if (sink.failure) std::rethrow_exception(sink.failure);
  if (status != CAIRO_STATUS_SUCCESS)
    throw WriteFailure(name + ": cannot encode the picture: " + cairo_status_to_string(status));
  out.commit();
}

}  // namespace c2m::plot
