#pragma once

#include <string>
#include <vector>

#include "estab/estab.hpp"
#include "textio/log.hpp"

namespace c2m {

struct RunOptions {
  // Run every read and check (stages 1 to 9) and make sure the outputs
  // could be written, but write nothing.
  bool check_only = false;
  // The directory in which the run description, the date file, a relative
  // input grid file and the outputs are found; empty: the working
  // directory.  Diagnostics name the files as a run in that directory
  // would, so that a caller elsewhere sees the converter's own words.
  std::string directory;
};

// The converter's specific humidity at 1 % relative humidity (kg/kg per
// percent) at temperature T (K) and pressure P (hPa): the saturation table
// entry at its own truncated index and 0.00622 e / (p - e), capped where e
// nears p, in 4-byte reals.  A relative humidity R gives q = R x this.
// The saturation table must have been filled (estab::es_ini).
float saturation_humidity(float t, float p);

// The same for the many points of one level at pressure P: the value of
// every table entry worked out once, each point's taken by its index (the
// very value saturation_humidity gives).  The table must have been filled.
class LevelSaturation {
 public:
  explicit LevelSaturation(float p);
  float operator()(float t) const { return qs_[static_cast<std::size_t>(esat_index(t) - estab::n_first)]; }
  float pressure() const { return p_; }

 private:
  float p_;
  std::vector<float> qs_;
};

// Converts one case: INPUT_PATH and SECOND_PATH are the two 255-character
// lines of standard input (the second has no effect).  The run description
// and the date file are read from the working directory; the outputs are
// written beside the input grid file.  Returns when the outputs are
// complete; throws a RunFailure otherwise.
void conv2model(const std::string& input_path, const std::string& second_path, Log& log,
                const RunOptions& options = {});

}  // namespace c2m
