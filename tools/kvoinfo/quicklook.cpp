#include "quicklook.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "numbers.hpp"
#include "record_stats.hpp"

namespace kvo {

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

// 3 x 5 glyphs, one row per entry, bit 2 the left column.
struct Glyph {
  char c;
  std::array<std::uint8_t, 5> rows;
};
constexpr std::array<Glyph, 14> glyphs = {{
    {'0', {0b111, 0b101, 0b101, 0b101, 0b111}},
    {'1', {0b010, 0b110, 0b010, 0b010, 0b111}},
    {'2', {0b111, 0b001, 0b111, 0b100, 0b111}},
    {'3', {0b111, 0b001, 0b111, 0b001, 0b111}},
    {'4', {0b101, 0b101, 0b111, 0b001, 0b001}},
    {'5', {0b111, 0b100, 0b111, 0b001, 0b111}},
    {'6', {0b111, 0b100, 0b111, 0b101, 0b111}},
    {'7', {0b111, 0b001, 0b001, 0b010, 0b010}},
    {'8', {0b111, 0b101, 0b111, 0b101, 0b111}},
    {'9', {0b111, 0b101, 0b111, 0b001, 0b111}},
    {'.', {0b000, 0b000, 0b000, 0b000, 0b010}},
    {'-', {0b000, 0b000, 0b111, 0b000, 0b000}},
    {'+', {0b000, 0b010, 0b111, 0b010, 0b000}},
    {'e', {0b010, 0b101, 0b111, 0b100, 0b011}},
}};
constexpr int glyph_width = 3;
constexpr int glyph_advance = 4;  // one blank column between characters

std::uint8_t mix(std::uint8_t a, std::uint8_t b, double f) {
  return static_cast<std::uint8_t>(std::lround(a + (b - a) * f));
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

Image::Image(int w, int h)
    : width(w), height(h), rgb(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 255) {}

Rgb Image::at(int x, int y) const {
  const std::size_t p = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(x)) * 3;
  return {rgb[p], rgb[p + 1], rgb[p + 2]};
}

void Image::set(int x, int y, Rgb c) {
  const std::size_t p = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(x)) * 3;
  rgb[p] = c.r;
  rgb[p + 1] = c.g;
  rgb[p + 2] = c.b;
}

std::string bar_label(float value) {
  std::string text = shortest(value);
  if (text.size() > 8) text = significant(static_cast<double>(value), 4);
  return text;
}

int text_width(std::string_view text) {
  return text.empty() ? 0 : static_cast<int>(text.size()) * glyph_advance - 1;
}

void draw_text(Image& image, int x, int y, std::string_view text, Rgb colour) {
  for (const char c : text) {
    const auto g = std::find_if(glyphs.begin(), glyphs.end(), [c](const Glyph& gl) { return gl.c == c; });
    if (g != glyphs.end()) {
      for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < glyph_width; ++col) {
          const bool on = (g->rows[static_cast<std::size_t>(row)] >> (glyph_width - 1 - col)) & 1u;
          const int px = x + col;
          const int py = y + row;
          if (on && px >= 0 && px < image.width && py >= 0 && py < image.height)
            image.set(px, py, colour);
        }
      }
    }
    x += glyph_advance;
  }
}

Image render_quicklook(std::span<const float> values, int im, int jm) {
  const RecordStats s = record_stats(values);
  const bool any = s.valid > 0;
  const std::string min_label = any ? bar_label(s.min) : "";
  const std::string max_label = any ? bar_label(s.max) : "";
  // Margin, min label, a gap of one character, max label, margin.
  const int labels = 1 + text_width(min_label) + glyph_advance + text_width(max_label) + 1;
  Image image(std::max(im, labels), jm + colour_bar_height);

  const double range = static_cast<double>(s.max) - static_cast<double>(s.min);
  for (int y = 0; y < jm; ++y) {
    // The top pixel row is the last row of the record: the northernmost.
    const std::size_t row = static_cast<std::size_t>(jm - 1 - y) * static_cast<std::size_t>(im);
    for (int x = 0; x < im; ++x) {
      const float v = values[row + static_cast<std::size_t>(x)];
      Rgb c = missing_grey;
      if (is_valid(v))
        c = scale_colour(range > 0.0 ? (static_cast<double>(v) - s.min) / range : 0.5);
      image.set(x, y, c);
    }
  }

  for (int x = 0; x < image.width; ++x) {
    const double t = image.width > 1 ? static_cast<double>(x) / (image.width - 1) : 0.5;
    const Rgb c = any ? scale_colour(t) : missing_grey;
    for (int y = jm + strip_top; y < jm + strip_top + strip_rows; ++y) image.set(x, y, c);
  }
  draw_text(image, 1, jm + label_top, min_label, ink);
  draw_text(image, image.width - 1 - text_width(max_label), jm + label_top, max_label, ink);
  return image;
}

}  // namespace kvo
