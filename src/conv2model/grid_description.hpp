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

// The longest input stem whose output names fit their 255-character fields
// with a blank to spare: stem + ".KVOwrk.gdsinfo" + blank.
inline constexpr std::size_t max_stem_length = 239;

// The GRIB edition 1 grid description of a latitude/longitude grid, as
// integers: kgds[n - 1] is element n.
using Kgds = std::array<std::int32_t, 20>;
Kgds fill_kgds(const RunContext& ctx);

// The lines of the grid description file, each with its line feed.
std::string grid_description_text(const RunContext& ctx, const WorkArrays& work,
                                  const Kgds& kgds);

// Stage 10: name the outputs after the input stem, open the model data
// file (created if missing, kept in place if present), and write and close
// the grid description file.  Returns the open model data file.
std::unique_ptr<RecordWriter> write_grid_description(RunContext& ctx, const WorkArrays& work,
                                                     Log& log);

}  // namespace c2m
