#include "plan/regrid_advice.hpp"

#include <algorithm>
#include <filesystem>

#include "kit/numbers.hpp"
#include "plan/grid.hpp"
#include "plan/shell_word.hpp"

namespace c2m::ingest {

namespace {

enum class Remedy {
  remap,         // cdo remapbil takes it as it is
  make_regular,  // a reduced Gaussian grid: regular along its rows first
  grid_points,   // spectral: to grid points first
  none,          // CDO cannot remap it
};

Remedy remedy_of(const std::string& type) {
  static const char* const as_is[] = {"regular_gg", "rotated_ll", "rotated_gg", "lambert",
                                      "lambert_azimuthal_equal_area", "polar_stereographic", "mercator",
                                      "albers", "lambert_lam"};
  if (std::find(std::begin(as_is), std::end(as_is), type) != std::end(as_is)) return Remedy::remap;
  if (type == "reduced_gg") return Remedy::make_regular;
  if (type == "sh") return Remedy::grid_points;
  return Remedy::none;
}

bool projected(const std::string& type) {
  return type == "lambert" || type == "lambert_azimuthal_equal_area" || type == "polar_stereographic" ||
         type == "mercator" || type == "rotated_ll" || type == "rotated_gg" || type == "albers" ||
         type == "lambert_lam";
}

// NAME's stem with SUFFIX and its extension (".grib" when it has none), in
// the working directory: "eta.grb" -> "eta_r360x181.grb".
std::string beside(const std::string& path, const std::string& suffix) {
  const std::filesystem::path p(path);
  std::string ext = p.extension().string();
  if (ext.empty()) ext = ".grib";
  return p.stem().string() + suffix + ext;
}

std::string command(const Remedy r, const RefusedFile& f) {
  const std::string in = shell_word(f.path), out = shell_word(beside(f.path, "_r360x181"));
  std::string remap = "cdo remapbil,r360x181 ";
  if (r == Remedy::make_regular) remap += "-setgridtype,regular ";
  if (r == Remedy::grid_points) remap += "-sp2gp ";
  if (!f.several_fields_a_message) return remap + in + " " + out;
  const std::string split = shell_word(beside(f.path, "_split"));
  return "grib_copy " + in + " " + split + " && " + remap + split + " " + out;
}

}  // namespace

std::string grid_kind_words(const GridInfo& g) {
  if (g.type.empty())
    return g.catalogued != 0 ? "the grid is one given only by its number (GRIB 1 catalogued grid " +
                                   decimal(g.catalogued) + ")"
                             : "the grid is of a kind the file does not name";
  const std::string words = grid_type_words(g.type);
  return "the grid type is " + g.type + (words.empty() ? "" : " (" + words + ")");
}

std::string regrid_advice(const GridInfo& g, const RefusedFile& f) {
  const Remedy r = remedy_of(g.type);
  if (r == Remedy::none)
    return "CDO cannot remap this kind of grid (it reads it as a generic one, without coordinates): regrid it "
           "to a regular latitude/longitude grid with the tools of the centre that made it";
  std::string t = "regrid it first, for example to a 1-degree global grid with CDO: " + command(r, f);
  if (f.several_fields_a_message)
    t += " (the file holds several fields in one message, as NCEP stores u and v together, and CDO reads "
         "only the first of each: grib_copy splits them)";
  if (f.winds_relative_to_grid && projected(g.type))
    t += "; its winds are stated along the grid's own x and y (uvRelativeToGrid = 1), and stay so after the "
         "remap: they then need rotating to east and north";
  return t;
}

RefusedFile refused_file(const Sources& sources, int n) {
  const FieldSource& s = *sources[static_cast<std::size_t>(n)];
  RefusedFile f;
  f.path = s.path();
  for (const FieldInfo& field : s.fields()) {
    if (field.subfield > 0) f.several_fields_a_message = true;
    if (field.uv_relative_to_grid) f.winds_relative_to_grid = true;
  }
  return f;
}

}  // namespace c2m::ingest
