// What to do with a file whose grid no case can have: a command that makes
// a regular latitude/longitude grid of it, chosen by the kind of grid, and
// what the user must know of its winds.
//
// CDO's bilinear remapping takes only a regular two-dimensional grid with
// coordinates: a reduced Gaussian grid must first be made regular along
// its rows (-setgridtype,regular), a spectral field turned into grid
// points (-sp2gp); a projected grid (Lambert, polar stereographic,
// rotated, Mercator) it remaps as it is.  CDO reads only the first field
// of a GRIB 2 message that holds several (NCEP stores u and v together),
// so such a file is split into messages of one field first (grib_copy).
// The commands name the input as given and write into the working
// directory; each is run as printed by the tests.
#pragma once

#include <string>

#include "source/fields.hpp"

namespace c2m::ingest {

// What is known of the file whose grid is refused.
struct RefusedFile {
  std::string path;                   // as given on the command line
  bool several_fields_a_message = false;
  bool winds_relative_to_grid = false;  // its u or v flagged relative to the grid
};

// The kind of grid in words, for a refusal: "the grid type is lambert
// (Lambert conformal)", "the grid is one given only by its number (GRIB 1
// catalogued grid 6)".
std::string grid_kind_words(const GridInfo& g);

// What to do, for a refusal: "regrid it first, for example to a 1-degree
// global grid with CDO: COMMAND", or why no command is given.
std::string regrid_advice(const GridInfo& g, const RefusedFile& f);

// What the plan knows of input file N of SOURCES for the advice.
RefusedFile refused_file(const Sources& sources, int n);

}  // namespace c2m::ingest
