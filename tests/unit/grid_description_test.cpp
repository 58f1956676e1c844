// The grid description file: number of levels, pressures in Pa from the top
// down, the GRIB edition 1 grid description integers and the field listing.
#include "conv2model/grid_description.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/work_fixture.hpp"

using testsupport::lines_of;

namespace {

testsupport::StageCase grid_case(std::vector<float> pr) {
  auto c = testsupport::stage_case(4, 3, std::move(pr));
  c.ctx.grid = {0, -90000, 0, 90000, 357500, 2500, 2500};
  return c;
}

std::string text_of(const testsupport::StageCase& c) {
  return c2m::grid_description_text(c.ctx, c.work, c2m::fill_kgds(c.ctx));
}

TEST(GridDescription, OneLevelWholeFile) {
  const auto c = grid_case({1000.0f});
  const std::string want =
      "           1  => Number of Levels\n"
      " Pressure in Pa\n"
      "   100000.000    \n"
      "           0 kgds(1)\n"
      "           4 kgds(2)\n"
      "           3 kgds(3)\n"
      "      -90000 kgds(4)\n"
      "           0 kgds(5)\n"
      "         128 kgds(6)\n"
      "       90000 kgds(7)\n"
      "      357500 kgds(8)\n"
      "        2500 kgds(9)\n"
      "        2500 kgds(10)\n"
      "          64 kgds(11)\n"
      "         255 kgds(12)\n"
      "\n"
      " Fields names and writing order\n"
      "\n"
      "         3D \n"
      " first written record: botton of the atmosphere\n"
      " Zonal wind                (m/s)\n"
      " Meridional wind           (m/s)\n"
      " Geopotential height       (m)\n"
      " Specific humidity         (kg/kg)\n"
      " Temperature               (K)\n"
      "\n"
      "         2D\n"
      " Land-sea mask             ( )\n"
      " M S L Pressure            (hPa)\n"
      " Surface Pressure          (hPa)\n"
      " Topography                (m)\n"
      " Soil Temperature  layer 1 (K)\n"
      " Soil Moisture layer 1     (0-1)\n"
      " Soil Temperature  layer 2 (K)\n"
      " Soil Moisture layer 2     (0-1)\n"
      " Soil Temperature  layer 3 (K)\n"
      " Soil Moisture layer 3     (0-1)\n"
      " Soil Temperature  layer 4 (K)\n"
      " Soil Moisture layer 4     (0-1)\n";
  EXPECT_EQ(text_of(c), want);
  EXPECT_EQ(lines_of(want).size(), 39u);
}

// Pressures run from the top level down, as pr x 100 formed in 4-byte reals.
TEST(GridDescription, PressuresTopFirstInPa) {
  const struct {
    std::vector<float> pr;
    std::vector<std::string> lines;
  } cases[] = {
      {{1000.0f, 850.0f, 500.0f},
       {"   50000.0000    ", "   85000.0000    ", "   100000.000    "}},
      // 850.1 x 100 is 85010 in 4-byte reals (85009.9976 in 8-byte ones).
      {{1013.25f, 850.1f, 0.5f, 0.0005f},
       {"   5.00000007E-02", "   50.0000000    ", "   85010.0000    ", "   101325.000    "}},
  };
  for (const auto& cs : cases) {
    const auto lines = lines_of(text_of(grid_case(cs.pr)));
    const std::size_t n = cs.pr.size();
    ASSERT_EQ(lines.size(), n + 38);
    EXPECT_EQ(lines[0], "           " + std::to_string(n) + "  => Number of Levels");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.begin() + 2 + static_cast<long>(n)),
              cs.lines);
    EXPECT_EQ(lines[n + 2], "           0 kgds(1)");
  }
}

TEST(GridDescription, KgdsFromSizesAndGridIntegers) {
  auto c = grid_case({1000.0f});
  c.ctx.im = 10;
  c.ctx.jm = 20;
  c.ctx.grid = {1, 2, 3, 4, 5, 6, 7};
  const c2m::Kgds k = c2m::fill_kgds(c.ctx);
  const std::int32_t want[11] = {1, 10, 20, 2, 3, 128, 4, 5, 6, 7, 64};
  for (std::size_t n = 0; n < 11; ++n) EXPECT_EQ(k[n], want[n]) << "kgds(" << n + 1 << ")";
  EXPECT_EQ(k[19], 255);
}

TEST(GridDescription, KgdsLines) {
  auto c = grid_case({1000.0f});
  c.ctx.grid[2] = -180000;
  c2m::Kgds k = c2m::fill_kgds(c.ctx);
  k[11] = 77;  // element 12 is not written: its line carries element 20
  const auto lines = lines_of(c2m::grid_description_text(c.ctx, c.work, k));
  EXPECT_EQ(lines[7], "     -180000 kgds(5)");
  EXPECT_EQ(lines[14], "         255 kgds(12)");
  EXPECT_EQ(lines[13], "          64 kgds(11)");
}

}  // namespace
