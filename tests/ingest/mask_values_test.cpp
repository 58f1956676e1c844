// A land-sea mask that holds codes of other surfaces (2 a lake, 3 or 4 an
// ice shelf) instead of fractions of land: the values are named in the
// warning with their counts and what the converter makes of them, in
// process and through ingest's report; a mask of fractions warns of
// nothing.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <limits>

#include "case/mask_values.hpp"
#include "grib_files.hpp"
#include "netcdf_files.hpp"

using namespace ingesttest;
using c2m::ingest::MaskValues;
using testsupport::ScratchDir;

namespace {

constexpr float undefined = 9.999e20f;
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

TEST(MaskValues, ValuesOutsideZeroToOneNamedWithWhatTheConverterMakesOfThem) {
  struct Row {
    const char* name;
    std::vector<float> values;
    std::string warning;  // "" for none
  };
  const Row rows[] = {
      {"fractions, both ends and undefined points", {0.0f, 0.05f, 0.5f, 1.0f, undefined}, ""},
      {"lake and ice-shelf codes",
       {0, 1, 2, 2, 3, 4, 4, 4, 1},
       "record 157 (lsm, from in.nc variable lsm): the land-sea mask holds values outside 0 to 1: 2 at 2 points, "
       "3 at 1 point, 4 at 3 points (codes of other surfaces, such as lakes or ice shelves, rather than fractions of "
       "land); taken as they are, so the converter makes land of 6 points of them (a mask from 0.1 up is land) and "
       "sea of 0 points"},
      {"a mask below 0 is sea, one just above 1 land",
       {-1, -1, 1.0000001f},
       "values outside 0 to 1: -1 at 2 points, 1.0000001 at 1 point (codes"},
      {"no number is sea",
       {nan, 0.5f},
       "outside 0 to 1: no number at 1 point (codes of other surfaces, such as lakes or ice shelves, rather than "
       "fractions of land); taken as they are, so the converter makes land of 0 points of them (a mask from 0.1 up "
       "is land) and sea of 1 point"},
      {"a mask in per cent: too many values to name, their range instead",
       {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100},
       "outside 0 to 1: at 10 points from 10 to 100 (codes"},
  };
  for (const Row& row : rows) {
    MaskValues m;
    // In two blocks, as the writer gives them.
    const std::size_t half = row.values.size() / 2;
    m.add(std::span<const float>(row.values.data(), half));
    m.add(std::span<const float>(row.values.data() + half, row.values.size() - half));
    const auto w = m.warning(157, "in.nc variable lsm");
    if (row.warning.empty()) {
      EXPECT_FALSE(w.has_value()) << row.name << ": " << w.value_or("");
      continue;
    }
    ASSERT_TRUE(w.has_value()) << row.name;
    EXPECT_NE(w->find(row.warning), std::string::npos) << row.name << ":\n" << *w;
  }
}

TEST(MaskValues, IngestsReportWarnsOfLakeCodesInTheMask) {
  ScratchDir dir;
  make_case(dir.path(), 8, 6, 40.0, 0.0, 1.0, 4);
  case_as_netcdf(dir.path(), dir / "in.nc", NcLayout{});
  int nc = -1, v = -1;
  ASSERT_EQ(nc_open((dir / "in.nc").c_str(), NC_WRITE, &nc), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(nc, "lsm", &v), NC_NOERR);
  const std::size_t start[3] = {0, 2, 3}, count[3] = {1, 1, 3};
  const float codes[3] = {2, 3, 2};
  ASSERT_EQ(nc_put_vara_float(nc, v, start, count, codes), NC_NOERR);
  ASSERT_EQ(nc_close(nc), NC_NOERR);
  const auto r = conv2model(dir.path(), {"ingest", "out", "in.nc"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("warnings:\n  - record "), std::string::npos) << r.out;
  for (const char* said : {"(lsm, from in.nc variable lsm (surface, ",
                           "): the land-sea mask holds values outside 0 to 1: 2 at 2 points, 3 at 1 point (codes"})
    EXPECT_NE(r.out.find(said), std::string::npos) << said << "\n" << r.out;
}

}  // namespace
