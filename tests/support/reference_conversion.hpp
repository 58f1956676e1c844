// A whole conversion done the plain way, every work array held in memory
// and every step taken over the whole array in the order of the stages:
// the reference that the converter, which keeps its planes in the input
// grid file and makes each one as it is written, is checked against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/case_files.hpp"

namespace testsupport {

struct ReferenceResult {
  int status = 0;          // 0 converted, 1 data stop
  std::string model_data;  // the bytes of the model data file when converted
};

// Converts C.  The saturation table must be filled (estab::es_ini).
ReferenceResult reference_conversion(const TestCase& c);

}  // namespace testsupport
