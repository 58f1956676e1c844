// Writes the seed corpus of the netCDF ingest fuzz target: small cases
// (4 x 3 points, 2 levels) in the layouts of the ingest tests, each a file
// that ingests whole but one of two times, which is refused for want of
// --time.  netcdf_seeds DIR (fuzz/corpus/netcdf_ingest_fuzz).
#include <netcdf.h>

#include <cstdio>
#include <string>

#include "grib_files.hpp"
#include "netcdf_files.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: netcdf_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  testsupport::ScratchDir work;
  ingesttest::make_case(work.path(), 4, 3, 40.0, -1.0, 1.0, 2);
  using ingesttest::NcLayout;
  struct Seed {
    const char* name;
    NcLayout layout;
  };
  NcLayout packed;
  packed.packed = true;
  packed.longitudes_0_360 = true;
  NcLayout classic;
  classic.format = NC_CLASSIC_MODEL;
  classic.rows_south_to_north = true;
  NcLayout data64;
  data64.format = NC_64BIT_DATA;
  data64.lon_before_lat = true;
  NcLayout times;
  times.dates = {"2026120800", "2026120806"};
  NcLayout pa;
  pa.levels_in_pa = true;
  pa.rows_south_to_north = true;
  NcLayout nc4_classic;
  nc4_classic.format = NC_NETCDF4 | NC_CLASSIC_MODEL;
  nc4_classic.expver = true;
  nc4_classic.level_after_grid = true;
  NcLayout offset64;
  offset64.format = NC_64BIT_OFFSET;
  offset64.level_after_grid = true;
  const Seed seeds[] = {
      {"era5_newer_netcdf4", {}},         {"era5_older_packed", packed},
      {"classic_south_to_north", classic}, {"data64_lon_before_lat", data64},
      {"netcdf4_two_times", times},        {"netcdf4_classic_model_expver", nc4_classic},
      {"offset64_level_after_grid", offset64}, {"netcdf4_levels_in_pa", pa},
  };
  for (const Seed& s : seeds) ingesttest::case_as_netcdf(work.path(), dir + "/" + s.name, s.layout);
  std::printf("%zu seeds written in %s\n", sizeof seeds / sizeof seeds[0], dir.c_str());
  return 0;
}
