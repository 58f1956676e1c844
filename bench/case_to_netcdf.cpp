// A case written as netCDF in ERA5's newer layout (netCDF-4, deflate,
// 4-byte reals), as the ingest tests write theirs, for the netCDF ingest
// benchmark.  case_to_netcdf CASE_DIR OUT.nc
#include <cstdio>
#include <exception>

#include "netcdf_files.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: case_to_netcdf CASE_DIR OUT.nc\n");
    return 2;
  }
  try {
    ingesttest::case_as_netcdf(argv[1], argv[2], ingesttest::NcLayout{});
  } catch (const std::exception& e) {
    std::fprintf(stderr, "case_to_netcdf: %s\n", e.what());
    return 2;
  }
  return 0;
}
