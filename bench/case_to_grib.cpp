// Writes a case (its run description, date file and input grid file) as
// GRIB, for the ingest benchmark: case_to_grib CASE_DIR INPUT OUT
// [--grib1] [--ieee].
#include <cstdio>
#include <cstring>
#include <exception>

#include "grib_writer.hpp"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: case_to_grib CASE_DIR INPUT OUT [--grib1] [--ieee]\n");
    return 2;
  }
  c2m::ingest::GribWriteOptions o;
  for (int a = 4; a < argc; ++a) {
    if (std::strcmp(argv[a], "--grib1") == 0) o.edition = c2m::ingest::GribEdition::one;
    else if (std::strcmp(argv[a], "--ieee") == 0) o.packing = c2m::ingest::GribPacking::ieee;
    else {
      std::fprintf(stderr, "case_to_grib: unknown option %s\n", argv[a]);
      return 2;
    }
  }
  try {
    c2m::ingest::write_case_as_grib(argv[1], argv[2], argv[3], o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "case_to_grib: %s\n", e.what());
    return 2;
  }
  return 0;
}
