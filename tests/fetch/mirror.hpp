// The providers' trees as the fetch tests serve them: synthetic cases
// written as GRIB, made to look like each provider's files (NCEP's
// geopotential height, mean sea-level pressure, orography and soil layers,
// u and v in one message; ECMWF's open data without the surface and soil
// fields it does not publish), with an index in each provider's format
// written beside each file, and messages no case needs between the others.
#pragma once

#include <string>

namespace fetchtest {

struct MirrorFile {
  std::string data_path, index_path;  // below the tree's root
  std::string bytes;                  // of the GRIB file
  int messages = 0;
};

// The GFS file of CYCLE (YYYYMMDDHH) and STEP at 1 degree, global, LM
// levels, below ROOT (WORK for the case it is made from).
MirrorFile gfs_file(const std::string& root, const std::string& work, const std::string& cycle, int step, int lm);

// ECMWF's file of CYCLE and STEP below ROOT, on a small regional grid,
// and INVARIANT (a GRIB file) with what the provider does not publish:
// the land-sea mask, the surface geopotential and the soil.
MirrorFile ifs_file(const std::string& root, const std::string& work, const std::string& cycle, int step, int lm,
                    const std::string& invariant);

}  // namespace fetchtest
