// The vertical coordinates of a netCDF file other than pressure: layers
// below the ground, and the level of a variable that lies on neither a
// pressure nor a depth axis.
//
// A depth axis has units of length (m, cm, mm) and says it goes down
// (positive = "down"), or is named for depth or soil in its name,
// long_name or standard_name (and does not say positive = "up").  Each
// of its values is a layer of the soil, and a soil variable on an axis of
// n layers gives n fields, ranked by depth.  The variable its bounds
// attribute names (n x 2 values, as CDO writes depth_bnds) gives each
// layer's top and bottom; without one, the coordinate's value ranks the
// layers and their bounds are unknown.
//
// A variable on no pressure or depth axis is at the surface, unless it
// lies on a vertical coordinate of length 1 (a height of 2 m, or a level
// CDO knows only by a number, lev_15) or carries CDO's level_type
// attribute (tropopause, toa, isotherm0): a geopotential height at the
// tropopause is no topography.
#pragma once

#include <string>
#include <vector>

#include "source/netcdf_library.hpp"

namespace c2m::ingest::netcdf {

// Metres in one UNIT of length, or 0 for a unit that is not one.
double metres_per(const std::string& units);

// The attributes of a coordinate variable that tell its kind, in lower
// case and without blanks at either end.
struct CoordinateWords {
  std::string name, units, standard, long_name, positive, axis;
};
CoordinateWords coordinate_words(int ncid, int vid, const std::string& name);

// Whether C is a coordinate of depth below the ground.
bool depth_coordinate(const CoordinateWords& c);

// The layers of a depth axis: its coordinate (variable VID, LABEL in
// diagnostics) holds VALUES in UNITS.  The tops and bottoms in metres,
// from the bounds where the coordinate has usable ones, else both the
// coordinate's value; or the reason the axis cannot be used.
struct DepthLayers {
  std::vector<double> top, bottom;
  bool bounded = false;
  std::string failure;
};
DepthLayers depth_layers(const NetcdfFile& file, int vid, int dim, const std::string& label,
                         const std::vector<double>& values, const std::string& units);

// The kind of level, in ecCodes' words, of a vertical coordinate that is
// neither pressure nor depth: heightAboveGround, heightAboveSea, or the
// dimension's own name DIMENSION for one of no known kind; "" when C is
// not vertical at all.
std::string vertical_level_type(const CoordinateWords& c, const std::string& dimension);

// Why variables on such a coordinate (LABEL), of more than one level,
// hold no field of a case.
std::string vertical_unusable(const std::string& level_type, const std::string& label, const std::string& units);

// The kind of level that the level_type attribute of variable VID names,
// in ecCodes' words ("tropopause", "nominalTop"); "" when it has none.
std::string level_type_attribute(int ncid, int vid);

}  // namespace c2m::ingest::netcdf
