// What the inventory and the descriptor say about the grid of a model data
// file.
#pragma once

#include <string>
#include <vector>

#include "layout/grid_description.hpp"

namespace c2m::md {

// One line on the grid: sizes, record length, corners and increments in
// degrees.
std::string grid_summary(const layout::GridDescription& grid);

// Remarks on a grid description that the converter copied without checking:
// a grid type or scanning mode other than a latitude/longitude grid with
// rows south to north, a last point that the first point and the
// increments do not lead to, or a field listing other than the converter's.
std::vector<std::string> grid_notes(const layout::GridDescription& grid);

}  // namespace c2m::md
