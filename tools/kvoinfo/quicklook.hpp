// Quick-look pictures of one record: one pixel per grid point, north at the
// top, colours from a perceptually uniform scale (dark blue-violet through
// teal and green to yellow, after the anchors of the viridis map) stretched
// between the record's minimum and maximum.  Missing, NaN and infinite
// points are grey.  Below the map a colour bar runs across the whole width
// with the minimum written under its left end and the maximum under its
// right end.
//
// The picture is im pixels wide.  When im is narrower than the two labels
// need, the picture is widened to fit them and the map keeps its one pixel
// per point at the left, with white to its right.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvo {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb missing_grey{150, 150, 150};
inline constexpr Rgb background{255, 255, 255};
inline constexpr Rgb ink{0, 0, 0};

// Rows below the map: a gap of 2, the colour strip of 6, a gap of 2, the
// labels of 5 and a margin of 1.
inline constexpr int colour_bar_height = 16;
inline constexpr int strip_top = 2;      // rows below the map
inline constexpr int strip_rows = 6;
inline constexpr int label_top = 10;

// The colour of T in [0, 1] (clamped).
Rgb scale_colour(double t);

// An RGB picture, row 0 at the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // 3 bytes per pixel, rows top first

  Image(int w, int h);
  Rgb at(int x, int y) const;
  void set(int x, int y, Rgb c);
};

// The text of a colour bar label: the shortest form of VALUE when it is
// short, else four significant digits.
std::string bar_label(float value);

// Width in pixels of TEXT in the built-in 3 x 5 font (digits . - + e).
int text_width(std::string_view text);

// Draws TEXT with its top-left corner at (X, Y).
void draw_text(Image& image, int x, int y, std::string_view text, Rgb colour);

// The picture of one record of IM x JM values, row j = 1 (south) first.
Image render_quicklook(std::span<const float> values, int im, int jm);

}  // namespace kvo
