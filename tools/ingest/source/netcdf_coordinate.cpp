#include "source/netcdf_coordinate.hpp"

#include <algorithm>

namespace c2m::ingest::netcdf {

namespace {

std::string variable_name(int ncid, int vid) {
  char name[NC_MAX_NAME + 1] = {};
  if (nc_inq_varname(ncid, vid, name) != NC_NOERR) return "?";
  return name;
}

std::string dimension_name(int ncid, int dim) {
  char name[NC_MAX_NAME + 1] = {};
  if (nc_inq_dimname(ncid, dim, name) != NC_NOERR) return "?";
  return name;
}

// Why the variable VID of the dimension's name is not its coordinate:
// "lies on (y, x)", "is of type char".
std::string why_not_coordinate(int ncid, int vid) {
  int rank = 0;
  nc_type type = 0;
  if (nc_inq_varndims(ncid, vid, &rank) != NC_NOERR || rank < 0 || rank > NC_MAX_VAR_DIMS)
    return "cannot be read";
  if (rank == 0) return "is a single value";
  std::vector<int> dims(static_cast<std::size_t>(rank));
  if (rank != 1 || nc_inq_vartype(ncid, vid, &type) != NC_NOERR || numeric_type(type)) {
    if (nc_inq_vardimid(ncid, vid, dims.data()) != NC_NOERR) return "cannot be read";
    std::string on;
    for (const int d : dims) on += (on.empty() ? "" : ", ") + dimension_name(ncid, d);
    return "lies on (" + on + ")";
  }
  return "is of type " + type_words(type);
}

}  // namespace

std::map<int, std::vector<int>> one_dimensional_variables(const NetcdfFile& file) {
  int nvars = 0;
  file.check(nc_inq_varids(file.ncid, &nvars, nullptr), "the variables");
  std::map<int, std::vector<int>> out;
  if (nvars <= 0) return out;
  std::vector<int> ids(static_cast<std::size_t>(nvars));
  file.check(nc_inq_varids(file.ncid, &nvars, ids.data()), "the variables");
  for (const int vid : ids) {
    int rank = 0, dim = -1;
    nc_type type = 0;
    if (nc_inq_varndims(file.ncid, vid, &rank) != NC_NOERR || rank != 1) continue;
    if (nc_inq_vardimid(file.ncid, vid, &dim) != NC_NOERR) continue;
    if (nc_inq_vartype(file.ncid, vid, &type) != NC_NOERR || !numeric_type(type)) continue;
    out[dim].push_back(vid);
  }
  return out;
}

Coordinate find_coordinate(const NetcdfFile& file, const std::string& name, const std::vector<int>& on_dimension) {
  const int ncid = file.ncid;
  Coordinate c;
  int own = -1;
  std::string own_words;  // why the variable of the dimension's name is not its coordinate
  if (nc_inq_varid(ncid, name.c_str(), &own) == NC_NOERR) {
    if (std::find(on_dimension.begin(), on_dimension.end(), own) != on_dimension.end()) {
      c.varid = own;
      c.label = name;
      return c;
    }
    own_words = "its variable " + name + " " + why_not_coordinate(ncid, own);
  }
  std::vector<int> others;
  for (const int vid : on_dimension)
    if (vid != own) others.push_back(vid);
  if (others.size() == 1) {
    c.varid = others.front();
    c.label = variable_name(ncid, c.varid) + "(" + name + ")";
    return c;
  }
  if (others.empty()) {
    c.why_none = "which has no coordinate variable (" +
                 (own_words.empty() ? "no variable " + name + "(" + name + ")" : own_words) +
                 ", and no other variable lies on " + name + " alone)";
    return c;
  }
  std::string list;
  for (std::size_t k = 0; k < others.size(); ++k) {
    if (k > 0) list += k + 1 == others.size() ? " and " : ", ";
    list += variable_name(ncid, others[k]) + "(" + name + ")";
  }
  c.why_none = "which has no coordinate variable of its name" + (own_words.empty() ? "" : " (" + own_words + ")") +
               ", and " + list + " could each be its coordinate";
  return c;
}

}  // namespace c2m::ingest::netcdf
