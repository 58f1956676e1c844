#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "conv2model/context.hpp"
#include "conv2model/record_io.hpp"
#include "textio/log.hpp"

namespace c2m {

// Ends the model data file's name and stands, with its blank, in two log
// lines.
inline constexpr const char* output_label = "KVOwrk ";

// The GRIB edition 1 grid description of a latitude/longitude grid, as
// integers: kgds[n - 1] is element n.
using Kgds = std::array<std::int32_t, 20>;
Kgds fill_kgds(const RunContext& ctx);

// The lines of the grid description file, each with its line feed.
std::string grid_description_text(const RunContext& ctx, const WorkArrays& work,
                                  const Kgds& kgds);

// The checks of stage 10 alone, for a run that writes nothing: the names
// can be formed and each could take a new file.
void check_output_names(const RunContext& ctx);

// The two outputs of a run while it writes them.  Each is made under a
// temporary name beside its own; both are moved into place together once
// the last record is written, so that after any run the two names hold
// either both earlier files or both new ones.
struct Outputs {
  OutputFile model_data;
  OutputFile grid_description;
  Outputs(const std::string& model_name, const std::string& gds_name)
      : model_data(model_name), grid_description(gds_name) {}
};

// Stage 10: name the outputs after the input stem, make the model data
// file's temporary file, then write and close the grid description's.
// Returns both, the model data file open for its records.
std::unique_ptr<Outputs> write_grid_description(RunContext& ctx, const WorkArrays& work,
                                                Log& log);

}  // namespace c2m
