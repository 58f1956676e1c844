#include "source/netcdf_scan.hpp"

#include <cmath>
#include <set>

#include "kit/numbers.hpp"
#include "source/netcdf_axes.hpp"
#include "source/netcdf_vertical.hpp"

namespace c2m::ingest::netcdf {

namespace {

// The types a field may be stored in.
bool field_type(nc_type t) {
  return t == NC_BYTE || t == NC_UBYTE || t == NC_SHORT || t == NC_USHORT || t == NC_INT || t == NC_UINT ||
         t == NC_FLOAT || t == NC_DOUBLE;
}

// The axes of a variable that it has fields along, or null.
struct AlongAxes {
  const Axis* time = nullptr;
  const Axis* level = nullptr;
  const Axis* member = nullptr;
};

class Scanner {
 public:
  Scanner(const NetcdfFile& file, int index, const Centre& centre)
      : file_(file), index_(index), centre_(centre) {}

  Contents run();

 private:
  void variable(int vid);
  // The places of V's dimensions (VDIMS) among its axes, their words into
  // DIMS_WORDS; the reason it holds no field, or "" when it holds some.
  std::string place_dimensions(Variable& v, const std::vector<int>& vdims, std::string& dims_words);
  // The time, pressure and member axes of V, loaded and checked, and the
  // file's count of fields with V's planes.
  AlongAxes along(Variable& v, const std::vector<int>& vdims);
  // The quantity, units, packing and missing marks of V.
  const Known* quantity(Variable& v);
  void add_fields(const Variable& var, const Known* known, const GridInfo& grid, const AlongAxes& axes);

  const NetcdfFile& file_;
  int index_;
  Centre centre_;
  Axes axes_;
  std::set<std::string> bounds_;  // the names of the coordinates' bounds variables
  Grids grids_;
  Contents out_;
  std::int64_t total_fields_ = 0;
};

Contents Scanner::run() {
  const int ncid = file_.ncid;
  int ndims = 0, nvars = 0;
  file_.check(nc_inq_dimids(ncid, &ndims, nullptr, 0), "the dimensions");
  file_.check(nc_inq_varids(ncid, &nvars, nullptr), "the variables");
  if (ndims < 0 || nvars < 0) throw file_.fail("the header claims a negative number of dimensions or variables");
  std::vector<int> dimids(static_cast<std::size_t>(ndims)), varids(static_cast<std::size_t>(nvars));
  if (ndims > 0) file_.check(nc_inq_dimids(ncid, &ndims, dimids.data(), 0), "the dimensions");
  if (nvars > 0) file_.check(nc_inq_varids(ncid, &nvars, varids.data()), "the variables");
  axes_ = read_axes(file_, dimids);
  // The bounds of a coordinate (depth_bnds) belong to it: no field, and
  // nothing to list among what the file holds besides its fields.
  for (const auto& [d, a] : axes_)
    if (a.coordinate >= 0)
      if (const auto bounds = text_att(ncid, a.coordinate, "bounds")) bounds_.insert(*bounds);
  for (const int vid : varids) variable(vid);
  return std::move(out_);
}

// Why a variable on the dimension of axis A, of more than one value,
// holds no field: "on dimension depth of 4, whose coordinate ...".
std::string passed_over(const Axis& a) {
  const std::string on = "on dimension " + a.name + " of " + decimal(static_cast<long long>(a.length));
  if (!a.unusable.empty()) return "on dimension " + a.name + ", where " + a.unusable;
  if (a.coordinate < 0) return on + ", " + a.why_none;
  return on + ", whose coordinate " + a.label + (a.units.empty() ? "" : " (in '" + trimmed(a.units) + "')") +
         " is no latitude, longitude, pressure, depth, time or member axis";
}

std::string Scanner::place_dimensions(Variable& v, const std::vector<int>& vdims, std::string& dims_words) {
  std::string passed;
  for (std::size_t k = 0; k < vdims.size(); ++k) {
    const auto it = axes_.find(vdims[k]);
    if (it == axes_.end()) throw file_.fail("variable " + v.name + " is on a dimension the file does not have");
    const Axis& a = it->second;
    v.shape.push_back(a.length);
    dims_words += (dims_words.empty() ? "" : ", ") + a.name + " " + decimal(static_cast<long long>(a.length));
    int* slot = a.role == Role::lat                                   ? &v.lat
                : a.role == Role::lon                                 ? &v.lon
                : a.role == Role::pressure || a.role == Role::depth ? &v.level
                : a.role == Role::time                                ? &v.time
                : a.role == Role::member                              ? &v.member
                                                                      : nullptr;
    if (slot && *slot < 0) {
      *slot = static_cast<int>(k);
    } else if (a.length != 1 && passed.empty()) {
      passed = slot ? "on two dimensions of one kind" : passed_over(a);
    } else if (!slot && !a.level_type.empty()) {
      v.level_type = a.level_type;  // a single level of a kind of its own
    }
  }
  if (passed.empty() && (v.lat < 0 || v.lon < 0)) passed = "not on a latitude and a longitude axis";
  if (passed.empty() && !field_type(v.type)) passed = "of type " + type_words(v.type);
  if (passed.empty() && v.level_type.empty()) v.level_type = level_type_attribute(file_.ncid, v.id);
  return passed;
}

AlongAxes Scanner::along(Variable& v, const std::vector<int>& vdims) {
  auto axis_at = [&](int position) { return position >= 0 ? &axes_[vdims[static_cast<std::size_t>(position)]] : nullptr; };
  Axis* time = axis_at(v.time);
  Axis* level = axis_at(v.level);
  Axis* member = axis_at(v.member);
  for (Axis* a : {time, level, member}) {
    if (!a) continue;
    if (a->coordinate < 0)
      throw file_.fail("variable " + v.name + " is on dimension " + a->name + ", " + a->why_none);
    load(file_, *a);
    if (!a->failure.empty()) throw file_.fail(a->failure + " (the axis of variable " + v.name + ")");
  }
  v.times = time ? time->length : 1;
  v.levels = level ? level->length : 1;
  v.members = member ? member->length : 1;
  const auto planes = static_cast<std::int64_t>(v.times * v.levels * v.members);
  if (planes > max_netcdf_fields - total_fields_)
    throw SizeFailure(file_.path + ": variable " + v.name + " brings the fields of the file to more than the limit of " +
                      decimal(max_netcdf_fields) + "; cut the file into fewer times or levels first");
  total_fields_ += planes;
  return {time, level, member};
}

const Known* Scanner::quantity(Variable& v) {
  const int ncid = file_.ncid;
  const std::string standard = text_att(ncid, v.id, "standard_name").value_or("");
  const std::string units = text_att(ncid, v.id, "units").value_or("");
  const std::string grib_param = text_att(ncid, v.id, "param").value_or("");
  const bool surface = v.level < 0 && v.level_type.empty();
  const Known* known = known_quantity(v.name, standard, grib_param, centre_.number, surface);
  v.units = unit_change(known ? known->param : 0, units);

  // Packing and missing points.
  const auto scale = numeric_att(ncid, v.id, "scale_factor", 1);
  const auto offset = numeric_att(ncid, v.id, "add_offset", 1);
  if (!scale.empty() || !offset.empty()) {
    v.packed = true;
    v.scale = scale.empty() ? 1.0 : scale[0];
    v.offset = offset.empty() ? 0.0 : offset[0];
    if (!std::isfinite(v.scale) || !std::isfinite(v.offset))
      throw file_.fail("variable " + v.name + " has a scale_factor or add_offset that is not a number");
  }
  const auto fill = numeric_att(ncid, v.id, "_FillValue", 1);
  const auto missing = numeric_att(ncid, v.id, "missing_value", 16);
  v.fills.insert(v.fills.end(), fill.begin(), fill.end());
  v.fills.insert(v.fills.end(), missing.begin(), missing.end());
  // Without a _FillValue of its own, a real's unwritten points hold
  // libnetcdf's default fill, a value no data has.
  if (fill.empty() && v.type == NC_FLOAT) v.fills.push_back(static_cast<double>(NC_FILL_FLOAT));
  if (fill.empty() && v.type == NC_DOUBLE) v.fills.push_back(NC_FILL_DOUBLE);
  return known;
}

void Scanner::variable(int vid) {
  const int ncid = file_.ncid;
  char cname[NC_MAX_NAME + 1] = {};
  nc_type type = 0;
  int rank = 0;
  file_.check(nc_inq_varname(ncid, vid, cname), "variable " + decimal(vid));
  const std::string name = cname;
  file_.check(nc_inq_vartype(ncid, vid, &type), "variable " + name);
  file_.check(nc_inq_varndims(ncid, vid, &rank), "variable " + name);
  if (rank < 2 || bounds_.count(name) > 0) return;  // scalars, coordinates, labels, bounds
  if (rank > NC_MAX_VAR_DIMS) throw file_.fail("variable " + name + " claims " + decimal(rank) + " dimensions");
  std::vector<int> vdims(static_cast<std::size_t>(rank));
  file_.check(nc_inq_vardimid(ncid, vid, vdims.data()), "variable " + name);
  Variable v;
  v.id = vid;
  v.name = name;
  v.type = type;
  std::string dims_words;
  const std::string passed = place_dimensions(v, vdims, dims_words);
  if (!passed.empty()) {
    out_.others.push_back(name + " (" + dims_words + ": " + passed + ")");
    return;
  }
  v.value_bytes = bytes_of(type);
  file_.check_extent(vid, name, v.shape, v.value_bytes);

  const int lat_dim = vdims[static_cast<std::size_t>(v.lat)], lon_dim = vdims[static_cast<std::size_t>(v.lon)];
  GridInfo grid = grids_.of(file_, axes_, lat_dim, lon_dim);
  grid.j_consecutive = v.lon < v.lat;  // stored column by column
  v.points = static_cast<std::int64_t>(axes_[lat_dim].length * axes_[lon_dim].length);
  const AlongAxes axes = along(v, vdims);
  const Known* known = quantity(v);
  out_.vars.push_back(std::move(v));
  add_fields(out_.vars.back(), known, grid, axes);
}

void Scanner::add_fields(const Variable& var, const Known* known, const GridInfo& grid, const AlongAxes& axes) {
  FieldInfo base;
  base.file = index_;
  base.message = static_cast<int>(out_.vars.size());
  base.centre = centre_.number;
  base.centre_name = centre_.name;
  base.param_id = known ? known->param : 0;
  base.short_name = var.name;
  base.variable = var.name;
  base.unit_conversion = var.units.words;
  base.grid = grid;
  base.points = var.points;
  base.length = var.points * static_cast<std::int64_t>(var.value_bytes);
  const bool depth = axes.level && axes.level->role == Role::depth;
  if (axes.level) {
    base.level_type = depth ? "depthBelowLandLayer" : "isobaricInhPa";
  } else if (!var.level_type.empty()) {
    base.level_type = var.level_type;
  } else if (known && known->soil > 0) {
    base.level_type = "depthBelowLandLayer";
    base.depth_top_m = soil_depths[known->soil - 1];
    base.depth_bottom_m = soil_depths[known->soil];
  } else {
    base.level_type = "surface";
  }
  base.timeless = axes.time == nullptr;
  if (base.timeless) base.run = "no time axis";
  for (std::size_t t = 0; t < var.times; ++t)
    for (std::size_t l = 0; l < var.levels; ++l)
      for (std::size_t m = 0; m < var.members; ++m) {
        FieldInfo f = base;
        f.offset = static_cast<std::int64_t>((t * var.levels + l) * var.members + m);
        if (axes.time) {
          f.valid = axes.time->times[t];
          f.run = axes.time->time_words[t];
        }
        if (depth) {
          f.depth_top_m = axes.level->depth_top[l];
          f.depth_bottom_m = axes.level->depth_bottom[l];
          f.depth_bounds_unknown = !axes.level->depth_bounded;
        } else if (axes.level) {
          f.pressure_hpa = axes.level->pressures[l];
        }
        if (axes.member) f.member = axes.member->members[m];
        out_.fields.push_back(std::move(f));
      }
}

}  // namespace

Contents scan(const NetcdfFile& file, int index, const Centre& centre) {
  return Scanner(file, index, centre).run();
}

}  // namespace c2m::ingest::netcdf
