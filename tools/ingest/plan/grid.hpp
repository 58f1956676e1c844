// The grid of the case: a regular latitude/longitude grid as the input
// grid file orders it (rows from north to south, points from west to
// east), an optional sub-area cut from it, and the run description's grid
// integers.  The values are turned into that order when the case is
// written (case/extract).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "layout/run_description_text.hpp"
#include "source/fields.hpp"

namespace c2m::ingest {

// A regular latitude/longitude grid in the case's order.  Angles in
// degrees; west in [0, 360).
struct LatLon {
  std::int64_t ni = 0, nj = 0;
  double north = 0, west = 0;
  double dlon = 0, dlat = 0;  // > 0, or 0 along an axis of one point
  bool global = false;        // the rows go round the whole earth

  double south() const { return north - static_cast<double>(nj - 1) * dlat; }
  // Same points (within a hundred-thousandth of a degree).
  bool same_points(const LatLon& o) const;
  // "144 x 73 points, 2.5 x 2.5 degrees, 90N to 90S, from 0E (global)"
  std::string words() const;
};

// The words for a kind of grid that ingest does not take ("lambert" ->
// "Lambert conformal"), empty for one it does not know.
std::string grid_type_words(const std::string& type);

// The grid of a field in the case's order.  WHERE names the field for the
// diagnostics.  Refuses (IoFailure) any grid but a regular
// latitude/longitude one, and geometry that cannot be one.
LatLon normalise(const GridInfo& g, const std::string& where);

// An area in degrees: south, west, north, east.  East below west is an
// area across 180 degrees (or across 0 when given as, say, -20 and 20).
struct Area {
  double south = 0, west = 0, north = 0, east = 0;
};

// The piece of a grid a case takes: rows from row0 (0 the northernmost)
// and columns from col0 (0 the westernmost, taken round the earth modulo
// ni on a global grid).
struct Cut {
  std::int64_t row0 = 0, rows = 0;
  std::int64_t col0 = 0, cols = 0;
  std::int64_t points() const { return rows * cols; }
};

Cut whole(const LatLon& g);
// The grid points inside AREA (edges included); IoFailure when none is.
Cut cut_area(const LatLon& g, const Area& area);

// The run description's grid integers of the cut: type 0, the south-west
// corner, the north-east corner and the increments in thousandths of a
// degree, rounded to the nearest, with the north-east corner following
// from the south-west one and the increments.  The first longitude is in
// [0, 360000), or negative (down to -180000) for an area across 0 degrees.
layout::RunGrid run_grid(const LatLon& g, const Cut& cut);

}  // namespace c2m::ingest
