// The inventory of a model data file: what the grid is, and one line per
// record with its field, level, range, mean and the count of points that
// are not valid.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "grid_info.hpp"
#include "model_file.hpp"

namespace kvo {

// One line on the grid: sizes, record length, corners and increments in
// degrees.
std::string grid_summary(const GridInfo& grid);

// Remarks on a grid description that the converter copied without checking:
// a grid type or scanning mode other than a latitude/longitude grid with
// rows south to north, or a last point that the first point and the
// increments do not lead to.
std::vector<std::string> grid_notes(const GridInfo& grid);

// Writes the grid summary, the notes, a header and one line per record,
// reading the records one by one.  With ONLY set, the line of that record
// alone.
void write_inventory(std::ostream& out, ModelFile& file,
                     std::optional<std::int64_t> only = std::nullopt);

}  // namespace kvo
