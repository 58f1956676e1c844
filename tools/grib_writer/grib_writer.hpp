// A case written as GRIB: every record of its input grid file becomes one
// GRIB message in ECMWF's parameter conventions (centre 98): geopotential
// z (129), relative humidity r (157), specific humidity q (133),
// temperature t (130), winds u and v (131, 132) on isobaric levels; the
// land-sea mask lsm (172), mean sea-level pressure msl (151, in Pa) and
// surface pressure sp (134, in Pa), surface geopotential z (129) at the
// surface; soil temperature stl1..stl4 (139, 170, 183, 236) and volumetric
// soil moisture swvl1..swvl4 (39 .. 42) on ECMWF's layers 0-7, 7-28,
// 28-100 and 100-289 cm.  Rows go north to south as the input grid file
// stores them; undefined points (9.999e20) are bitmapped.
//
// With IEEE packing (64-bit reals) the file holds the case exactly: read
// back by ingest with --rh as-is it gives the same input grid file, bit
// for bit (the pressures go to Pa and back exactly in 8-byte reals).  With
// 16-bit simple packing each plane keeps its range in 65536 steps.
#pragma once

#include <string>

namespace c2m::ingest {

enum class GribEdition { one = 1, two = 2 };
enum class GribPacking {
  simple16,  // grid_simple, 16 bits a value: the usual
  ieee,      // grid_ieee, 64-bit reals: exact
};

struct GribWriteOptions {
  GribEdition edition = GribEdition::two;
  GribPacking packing = GribPacking::simple16;
};

// Writes the case in CASE_DIR (its run description InputModelInf.txt, its
// date file adate.txt holding YYYYMMDDHH, and the input grid file
// INPUT_NAME, relative to CASE_DIR unless absolute) as GRIB to OUT (one
// message per record, written the safe way: OUT is whole or as it was).
// Throws c2m::IoFailure and its kinds naming the file and the cause: an
// unreadable case, a date that is not one, a level GRIB 1 cannot state
// (only whole hPa), values that cannot be packed.
void write_case_as_grib(const std::string& case_dir, const std::string& input_name,
                        const std::string& out, const GribWriteOptions& options);

}  // namespace c2m::ingest
