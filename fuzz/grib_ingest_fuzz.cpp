// Fuzz target: a sequence of GRIB messages (edition 1 or 2, as the bytes
// are) written as a file and ingested in-process into a scratch
// directory on one thread.  The pass rule is that of every ingest target
// (ingest_run.hpp): status 0 or 2, never a crash, a hang or a sanitizer's
// report, nothing left outside the scratch directory.
//
// The seeds in fuzz/corpus/grib_ingest_fuzz are small whole cases as
// synth writes them (both editions, both packings), NCEP's winds in one
// message, and single messages cut from the real files of the tests
// (written by grib_seeds, in tests/ingest).
#include <cstddef>
#include <cstdint>

#include "ingest_run.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzrun::ingest_bytes(data, size, "in.grib");
  return 0;
}
