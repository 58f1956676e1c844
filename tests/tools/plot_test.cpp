// Quick-look pictures (conv2model plot): the layout and its limits, the
// colour bar's ticks, and the drawn picture read back from its PNG file as
// a viewer would see it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model_data_cases.hpp"
#include "picture.hpp"
#include "textio/errors.hpp"

namespace {

using namespace md_test;
using c2m::plot::Rgb;

double luminance(Rgb c) { return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b; }

bool near(Rgb a, Rgb b, int tolerance = 2) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

TEST(Picture, ColourScaleRunsFromDarkToLight) {
  using c2m::plot::scale_colour;
  EXPECT_EQ(scale_colour(0.0), (Rgb{68, 1, 84}));
  EXPECT_EQ(scale_colour(0.5), (Rgb{33, 144, 141}));
  EXPECT_EQ(scale_colour(1.0), (Rgb{253, 231, 37}));
  EXPECT_EQ(scale_colour(-3.0), scale_colour(0.0));
  EXPECT_EQ(scale_colour(7.0), scale_colour(1.0));
  EXPECT_EQ(scale_colour(std::nan("")), scale_colour(0.0));
  // Larger values never look darker (beyond the rounding of one channel to
  // 8 bits), and neither missing grey nor the sea colour is on the scale.
  for (int n = 1; n <= 256; ++n) {
    const Rgb c = scale_colour(n / 256.0);
    EXPECT_GE(luminance(c), luminance(scale_colour((n - 1) / 256.0)) - 0.5) << n;
    EXPECT_NE(c, c2m::plot::missing_grey);
    EXPECT_NE(c, c2m::plot::sea_colour);
  }
}

TEST(Picture, LayoutAndLimits) {
  struct Case {
    const char* what;
    std::int64_t im, jm, width;
    int map_w, map_h, sample_w, sample_h, picture_w;
  };
  const Case cases[] = {
      {"sample grid: blocks of 8", 111, 61, 0, 888, 488, 111, 61, 972},
      {"tiny grid", 4, 3, 0, 800, 600, 4, 3, 884},
      {"at least 800 wide", 801, 10, 0, 801, 10, 801, 10, 885},
      {"global quarter degree: one pixel a point", 1440, 721, 0, 1440, 721, 1440, 721, 1524},
      {"tall grid: kept within 1600 rows", 10, 1000, 0, 10, 1000, 10, 1000, 564},
      {"fewer pixels than points", 1440, 721, 720, 720, 361, 720, 361, 804},
      {"a chosen width", 111, 61, 1110, 1110, 610, 111, 61, 1194},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto g = c2m::plot::plan_picture(c.im, c.jm, c.width);
    EXPECT_EQ(g.map_w, c.map_w);
    EXPECT_EQ(g.map_h, c.map_h);
    EXPECT_EQ(g.sample_w, c.sample_w);
    EXPECT_EQ(g.sample_h, c.sample_h);
    EXPECT_EQ(g.width, c.picture_w);
    EXPECT_GT(g.height, g.map_y + g.map_h);
    EXPECT_LT(g.caption_y, g.height);
    // The map and the bar lie inside the picture.
    EXPECT_GE(g.map_x, 0);
    EXPECT_LE(g.map_x + g.map_w, g.width);
    EXPECT_LE(g.bar_x + g.bar_w, g.width);
  }
  // Samples spread evenly over the grid, the middle of each block.
  const auto g = c2m::plot::plan_picture(1440, 721, 720);
  EXPECT_EQ(g.grid_i(0, 1440), 1);
  EXPECT_EQ(g.grid_i(719, 1440), 1439);
  EXPECT_EQ(g.grid_row_from_north(0, 721), 0);
  EXPECT_EQ(g.grid_row_from_north(360, 721), 720);

  struct Refused {
    const char* what;
    std::int64_t im, jm, width;
    const char* message;
  };
  const Refused refused[] = {
      {"2^31 - 1 rows", 1, 2147483647, 0, "1 x 2147483647 grid would be 564 x 2147483822"},
      {"too wide", 40000, 10, 0, "40000 x 10 grid would be 40084 x"},
      {"too many pixels", 30000, 15000, 0, "the limit is 100000000 pixels and 32767 along a side"},
      {"narrow width, still too tall", 2, 2147483647, 100, "(give --width"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.what);
    try {
      c2m::plot::plan_picture(r.im, r.jm, r.width);
      ADD_FAILURE() << "not refused";
    } catch (const c2m::SizeFailure& e) {
      EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
    }
  }
}

TEST(Picture, TicksAreRoundAndInsideTheRange) {
  struct Case {
    double lo, hi, step;
  };
  const Case cases[] = {
      {0, 2738.342, 500},      {246.72, 294.0175, 5}, {-1e-5, 3e-5, 5e-6}, {0, 1, 0.2},
      {999.95, 1000.05, 0.02}, {-40, 40, 10},         {0.28, 0.31, 0.005},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lo) + " .. " + std::to_string(c.hi));
    const auto t = c2m::plot::ticks(c.lo, c.hi);
    ASSERT_GE(t.size(), 5u);
    EXPECT_LE(t.size(), 12u);
    EXPECT_GE(t.front(), c.lo - 1e-12);
    EXPECT_LE(t.back(), c.hi + 1e-12);
    for (std::size_t n = 1; n < t.size(); ++n) EXPECT_NEAR(t[n] - t[n - 1], c.step, c.step * 1e-6);
    for (const double v : t) EXPECT_NEAR(std::round(v / c.step) * c.step, v, c.step * 1e-6);
  }
  EXPECT_TRUE(c2m::plot::ticks(5, 5).empty());
  EXPECT_EQ(c2m::plot::tick_label(0.30000000000000004, 0.1), "0.3");
  EXPECT_EQ(c2m::plot::tick_label(2500, 500), "2500");
  EXPECT_EQ(c2m::plot::tick_label(-2e-5, 1e-5), "-2e-05");
  EXPECT_NEAR(c2m::plot::colour_range(7, 7).first, 6.65, 1e-12);
  EXPECT_NEAR(c2m::plot::colour_range(7, 7).second, 7.35, 1e-12);
  EXPECT_EQ(c2m::plot::colour_range(0, 0), (std::pair<double, double>{-0.5, 0.5}));
}

// A field rising to the north, land in the western half.
struct Drawn {
  c2m::plot::Geometry g;
  std::optional<c2m::plot::Picture> picture;
};

Drawn draw(const TempDir& dir, bool coast, bool mask_sea, std::vector<float> values = {}) {
  constexpr int im = 40, jm = 20;
  c2m::plot::PictureData data;
  if (values.empty())
    for (int y = 0; y < jm; ++y)  // row 0 the northernmost
      for (int x = 0; x < im; ++x) values.push_back(static_cast<float>(jm - 1 - y));
  data.values = values;
  for (int y = 0; y < jm; ++y)
    for (int x = 0; x < im; ++x) data.mask.push_back(x < im / 2 ? 1.0f : 0.0f);
  data.coast = coast;
  data.mask_sea = mask_sea;
  data.title = "temperature [K], 850 hPa";
  data.subtitle = "case.bin.KVOwrk, record 5";
  data.caption = "t: temperature [K]";
  data.frame = c2m::plot::GridFrame{60, 41, -10, 29, im, jm};  // 1 degree from 41N 10W
  Drawn d{c2m::plot::plan_picture(im, jm, 0), std::nullopt};
  const std::string path = dir.file("p.png");
  c2m::plot::write_png(c2m::plot::render_picture(d.g, data), path);
  d.picture = c2m::plot::Picture::load(path);
  return d;
}

TEST(Picture, DrawnAsAViewerSeesIt) {
  TempDir dir;
  const Drawn d = draw(dir, true, false);
  ASSERT_TRUE(d.picture.has_value());
  const auto& p = *d.picture;
  const auto& g = d.g;
  ASSERT_EQ(p.width(), g.width);
  ASSERT_EQ(p.height(), g.height);
  const int block = g.map_w / 40;  // 20 pixels a point
  ASSERT_EQ(block, 20);
  const auto centre = [&](int i, int row_from_north) {
    return p.at(g.map_x + i * block + block / 2, g.map_y + row_from_north * block + block / 2);
  };
  // North at the top: the top row holds the largest value, the bottom row
  // the smallest.
  EXPECT_EQ(centre(5, 0), c2m::plot::scale_colour(1.0));
  EXPECT_EQ(centre(5, 19), c2m::plot::scale_colour(0.0));
  EXPECT_GT(luminance(centre(30, 2)), luminance(centre(30, 17)) + 50);

  const auto count_if = [&](int x0, int y0, int x1, int y1, auto&& pred) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += pred(p.at(x, y));
    return n;
  };
  const auto not_background = [](Rgb c) { return c != c2m::plot::background; };
  // The title and the line under it are drawn above the map.
  EXPECT_GT(count_if(0, 0, g.width / 2, g.title_y + 4, not_background), 100);
  EXPECT_GT(count_if(0, g.title_y + 4, g.width / 2, g.map_y - 2, not_background), 50);
  // The colour bar runs from the dark end to the light one, with tick
  // labels and the caption under it.
  const int bar_mid = g.bar_y + g.bar_h / 2;
  EXPECT_TRUE(near(p.at(g.bar_x + 1, bar_mid), c2m::plot::scale_colour(0.0), 4));
  EXPECT_TRUE(near(p.at(g.bar_x + g.bar_w - 2, bar_mid), c2m::plot::scale_colour(1.0), 4));
  EXPECT_GT(count_if(g.bar_x, g.bar_y + g.bar_h + 2, g.bar_x + g.bar_w, g.labels_y + 3, not_background), 100);
  EXPECT_GT(count_if(0, g.labels_y + 4, g.width, g.caption_y + 4, not_background), 50);

  // Latitudes left of the map, longitudes under it, each with its tick at
  // the centre of the points it names: 50N at the 11th row (from 60N), 0
  // at the 11th column (from 10W).
  EXPECT_GT(count_if(0, g.map_y, g.map_x - 8, g.map_y + g.map_h, not_background), 200);
  EXPECT_GT(count_if(g.map_x, g.map_y + g.map_h + 8, g.map_x + g.map_w, g.longitudes_y + 3, not_background), 200);
  EXPECT_LT(luminance(p.at(g.map_x - 4, g.map_y + 10 * block + block / 2)), 60);
  EXPECT_EQ(p.at(g.map_x - 4, g.map_y + 10 * block + block / 2 + 5), c2m::plot::background);
  EXPECT_LT(luminance(p.at(g.map_x + 10 * block + block / 2, g.map_y + g.map_h + 3)), 60);
  EXPECT_EQ(p.at(g.map_x + 10 * block + block / 2 + 5, g.map_y + g.map_h + 3), c2m::plot::background);

  // The coastline: dark along the boundary between points 20 (land) and
  // 21 (sea), which is the boundary between their blocks; the blocks
  // themselves keep their colours away from it.
  const int coast_x = g.map_x + 20 * block;
  int dark = 0;
  for (int y = g.map_y + block; y < g.map_y + g.map_h - block; ++y)
    dark += luminance(p.at(coast_x, y)) < 40 || luminance(p.at(coast_x - 1, y)) < 40;
  EXPECT_GT(dark, (g.map_h - 2 * block) * 9 / 10);
  EXPECT_EQ(centre(18, 10), centre(22, 10));  // same value both sides of the coast

  // Without the coastline the boundary takes the field's colour.
  const Drawn plain = draw(dir, false, false);
  EXPECT_EQ(plain.picture->at(coast_x, g.map_y + g.map_h / 2),
            plain.picture->at(coast_x + block / 2, g.map_y + g.map_h / 2));
}

TEST(Picture, LatitudesAndLongitudesInWords) {
  struct Row {
    double v, step;
    const char* latitude;  // "" beyond the poles
    const char* longitude;
  };
  const Row rows[] = {
      {45, 5, "45\u00b0N", "45\u00b0E"},       {-2.5, 0.5, "2.5\u00b0S", "2.5\u00b0W"},
      {0, 10, "0\u00b0", "0\u00b0"},             {1e-13, 0.1, "0\u00b0", "0\u00b0"},
      {-90, 30, "90\u00b0S", "90\u00b0W"},     {180, 20, "", "180\u00b0"},
      {200, 20, "", "160\u00b0W"},   {-180, 20, "", "180\u00b0"},
      {357.5, 0.5, "", "2.5\u00b0W"}, {360, 60, "", "0\u00b0"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(c2m::plot::longitude_label(r.v, r.step), r.longitude) << r.v;
    if (*r.latitude) {
      EXPECT_EQ(c2m::plot::latitude_label(r.v, r.step), r.latitude) << r.v;
    }
  }
}

TEST(Picture, MissingPointsGreyAndMaskedSeaPale) {
  TempDir dir;
  std::vector<float> values(40 * 20, 3.0f);
  values[0] = std::numeric_limits<float>::quiet_NaN();  // north-west corner
  values[1] = -99999.0f;
  values[2] = std::numeric_limits<float>::infinity();
  values[30] = 1e6f;  // a sea point that would swamp the scale
  const Drawn d = draw(dir, false, true, values);
  const auto& g = d.g;
  const int block = g.map_w / 40;
  const auto centre = [&](int i, int row) {
    return d.picture->at(g.map_x + i * block + block / 2, g.map_y + row * block + block / 2);
  };
  for (int i = 0; i < 3; ++i) EXPECT_EQ(centre(i, 0), c2m::plot::missing_grey) << i;
  EXPECT_EQ(centre(30, 0), c2m::plot::sea_colour);
  EXPECT_EQ(centre(35, 10), c2m::plot::sea_colour);
  // The land, all 3.0, takes the middle of a scale made from the land alone.
  EXPECT_EQ(centre(10, 10), c2m::plot::scale_colour(0.5));
}

}  // namespace
