// Quick-look pictures: decoded again with libpng to see what a viewer sees.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "kvoinfo_cases.hpp"
#include "png_file.hpp"
#include "quicklook.hpp"

namespace {

using namespace kvo_test;
using kvo::Rgb;

struct Decoded {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  Rgb at(int x, int y) const {
    const auto p = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    return {rgb[p], rgb[p + 1], rgb[p + 2]};
  }
};

Decoded decode(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) ADD_FAILURE() << image.message;
  image.format = PNG_FORMAT_RGB;
  Decoded d{static_cast<int>(image.width), static_cast<int>(image.height),
            std::vector<std::uint8_t>(PNG_IMAGE_SIZE(image))};
  if (!png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr)) ADD_FAILURE() << image.message;
  return d;
}

double luminance(Rgb c) { return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b; }

TEST(Quicklook, ColourScaleRunsFromDarkToLight) {
  EXPECT_EQ(kvo::scale_colour(0.0), (Rgb{68, 1, 84}));
  EXPECT_EQ(kvo::scale_colour(0.5), (Rgb{33, 144, 141}));
  EXPECT_EQ(kvo::scale_colour(1.0), (Rgb{253, 231, 37}));
  EXPECT_GT(luminance(kvo::scale_colour(1.0)), luminance(kvo::scale_colour(0.0)) + 150);
  EXPECT_EQ(kvo::scale_colour(-3.0), kvo::scale_colour(0.0));
  EXPECT_EQ(kvo::scale_colour(7.0), kvo::scale_colour(1.0));
  EXPECT_EQ(kvo::scale_colour(std::nan("")), kvo::scale_colour(0.0));
  // Larger values never look darker (beyond the rounding of one channel to
  // 8 bits), and missing grey is none of the colours.
  for (int n = 1; n <= 256; ++n) {
    const Rgb lower = kvo::scale_colour((n - 1) / 256.0);
    const Rgb c = kvo::scale_colour(n / 256.0);
    EXPECT_GE(luminance(c), luminance(lower) - 0.5) << n;
    EXPECT_NE(c, kvo::missing_grey);
  }
}

TEST(Quicklook, NorthIsUpAndInvalidPointsAreGrey) {
  // 40 x 6 points; row j holds 20 (j - 1): 0 in the south, 100 in the north.
  constexpr int im = 40, jm = 6;
  std::vector<float> values;
  for (int j = 1; j <= jm; ++j)
    for (int i = 1; i <= im; ++i) values.push_back(20.0f * static_cast<float>(j - 1));
  values[(jm - 1) * im + 1] = std::numeric_limits<float>::quiet_NaN();  // (2, 6), north row
  values[2] = -99999.0f;                                                // (3, 1), south row
  values[im + 4] = std::numeric_limits<float>::infinity();              // (5, 2)

  TempDir dir;
  const std::string path = dir.file("q.png");
  kvo::write_png(path, kvo::render_quicklook(values, im, jm));

  std::ifstream raw(path, std::ios::binary);
  char signature[8] = {};
  raw.read(signature, 8);
  EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1a\n", 8));

  const Decoded d = decode(path);
  ASSERT_EQ(d.width, im);
  ASSERT_EQ(d.height, jm + kvo::colour_bar_height);
  EXPECT_EQ(d.at(0, 0), kvo::scale_colour(1.0));       // top row: the northernmost, 100
  EXPECT_EQ(d.at(39, 0), kvo::scale_colour(1.0));
  EXPECT_EQ(d.at(0, 1), kvo::scale_colour(0.8));
  EXPECT_EQ(d.at(0, jm - 1), kvo::scale_colour(0.0));  // last map row: the southernmost, 0
  EXPECT_EQ(d.at(1, 0), kvo::missing_grey);            // NaN
  EXPECT_EQ(d.at(2, jm - 1), kvo::missing_grey);       // missing
  EXPECT_EQ(d.at(4, jm - 2), kvo::missing_grey);       // infinite

  // The colour bar below, dark at the left end, light at the right.
  const int strip = jm + kvo::strip_top;
  EXPECT_EQ(d.at(0, strip), kvo::scale_colour(0.0));
  EXPECT_EQ(d.at(im - 1, strip + kvo::strip_rows - 1), kvo::scale_colour(1.0));
  // "0" under the left end, "100" under the right end: ink in both corners.
  const auto ink_in = [&](int x0, int x1) {
    int count = 0;
    for (int y = jm + kvo::label_top; y < jm + kvo::label_top + 5; ++y)
      for (int x = x0; x < x1; ++x) count += d.at(x, y) == kvo::ink;
    return count;
  };
  EXPECT_EQ(ink_in(1, 4), 12);                          // the glyph "0"
  EXPECT_GT(ink_in(im - 12, im - 1), 20);               // "100"
  EXPECT_EQ(ink_in(5, im - 12), 0);
}

TEST(Quicklook, PictureSizes) {
  struct Case {
    const char* what;
    int im, jm;
    std::vector<float> values;
    int width;
  };
  const Case cases[] = {
      {"constant field", 30, 2, std::vector<float>(60, 7.0f), 30},
      {"nothing valid", 30, 1, std::vector<float>(30, -99999.0f), 30},
      // "-123.5" and "12.25": 1 + 23 + 4 + 19 + 1 pixels for the labels.
      {"narrower than its labels", 3, 1, {-123.5f, 0.0f, 12.25f}, 48},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto image = kvo::render_quicklook(c.values, c.im, c.jm);
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.jm + kvo::colour_bar_height);
  }
  EXPECT_EQ(kvo::render_quicklook(cases[0].values, 30, 2).at(0, 0), kvo::scale_colour(0.5));
  EXPECT_EQ(kvo::render_quicklook(cases[1].values, 30, 1).at(0, 0), kvo::missing_grey);
  EXPECT_EQ(kvo::render_quicklook(cases[2].values, 3, 1).at(3, 0), kvo::background);
}

}  // namespace
