#include "plan/grid.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kit/numbers.hpp"
#include "plan/regrid_advice.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

// Angles closer than this are the same (files state them to a millionth
// of a degree at best).
constexpr double eps_deg = 1e-5;

double wrap360(double lon) {
  double w = std::fmod(lon, 360.0);
  if (w < 0) w += 360.0;
  if (w >= 360.0 - eps_deg * 0.1) w = 0.0;
  return w;
}

// A value that files state to a millionth of a degree, rid of the last
// bits of the arithmetic that led to it.
double snap(double deg) { return std::round(deg * 1e6) / 1e6; }

// Refuses (IoFailure naming WHERE) a grid that cannot be placed: points
// closer than the thousandth of a degree in which a case's grid is given,
// or an increment the grid states that disagrees with the spacing of its
// first and last point by more than half a thousandth of a degree a step.
// The case is made from the corners, so a disagreeing increment means the
// header is wrong about one or the other, and which is unknown.
void refuse_unplaceable(const GridInfo& g, const LatLon& o, const std::string& where) {
  struct Axis {
    const char* along;
    const char* points;
    const char* coordinate;
    std::int64_t n;
    double first, last, step;
    std::optional<double> stated;
  };
  const Axis axes[] = {{"i", "columns", "longitude", g.ni, g.lon_first, g.lon_last, o.dlon, g.di},
                       {"j", "rows", "latitude", g.nj, g.lat_first, g.lat_last, o.dlat, g.dj}};
  for (const Axis& a : axes) {
    if (a.n < 2) continue;
    const std::string points = decimal(a.n) + " " + a.points + " from " + a.coordinate + " " +
                               shortest_double(a.first) + " to " + shortest_double(a.last);
    if (a.stated && std::fabs(*a.stated - a.step) > 0.0005)
      throw IoFailure(where + ": the grid states an increment of " + shortest_double(*a.stated) +
                      " degrees along " + a.along + ", but its " + points + " are " + shortest_double(snap(a.step)) +
                      " degrees apart; the header is wrong about one or the other");
    if (std::llround(a.step * 1000.0) == 0)
      throw IoFailure(where + ": the grid's " + points + " are " + shortest_double(a.step) +
                      " degrees apart, which is 0 in thousandths of a degree, the unit of a case's grid");
  }
}

}  // namespace

bool LatLon::same_points(const LatLon& o) const {
  if (ni != o.ni || nj != o.nj) return false;
  if (std::fabs(north - o.north) > eps_deg) return false;
  const double dw = std::fabs(west - o.west);
  if (std::min(dw, 360.0 - dw) > eps_deg) return false;
  if (std::fabs(dlon - o.dlon) * static_cast<double>(std::max<std::int64_t>(ni - 1, 1)) > eps_deg)
    return false;
  if (std::fabs(dlat - o.dlat) * static_cast<double>(std::max<std::int64_t>(nj - 1, 1)) > eps_deg)
    return false;
  return true;
}

std::string LatLon::words() const {
  std::string w = decimal(ni) + " x " + decimal(nj) + " points, " + shortest_double(dlon) + " x " +
                  shortest_double(dlat) + " degrees, latitudes " + shortest_double(north) + " to " +
                  shortest_double(snap(south())) + ", longitudes from " + shortest_double(west);
  if (global) w += " round the earth";
  else w += " to " + shortest_double(snap(west + static_cast<double>(ni - 1) * dlon));
  return w;
}

std::string grid_type_words(const std::string& type) {
  static const std::pair<const char*, const char*> names[] = {
      {"regular_ll", "regular latitude/longitude"},
      {"rotated_ll", "rotated latitude/longitude"},
      {"reduced_ll", "reduced latitude/longitude"},
      {"regular_gg", "regular Gaussian"},
      {"reduced_gg", "reduced Gaussian"},
      {"rotated_gg", "rotated Gaussian"},
      {"reduced_rotated_gg", "reduced rotated Gaussian"},
      {"lambert", "Lambert conformal"},
      {"lambert_azimuthal_equal_area", "Lambert azimuthal equal-area"},
      {"polar_stereographic", "polar stereographic"},
      {"mercator", "Mercator"},
      {"sh", "spherical harmonics (spectral)"},
      {"rotated_sh", "rotated spherical harmonics (spectral)"},
      {"space_view", "space view"},
      {"unstructured_grid", "unstructured"},
      {"healpix", "HEALPix"},
  };
  for (const auto& [name, words] : names)
    if (type == name) return words;
  return "";
}

LatLon normalise(const GridInfo& g, const std::string& where) {
  if (g.type != "regular_ll")
    throw IoFailure(where + ": " + grid_kind_words(g) +
                    ", not a regular latitude/longitude grid, the only kind a case can have; regrid the file "
                    "first");
  auto bad = [&](const std::string& why) { return IoFailure(where + ": " + why); };
  if (g.ni < 1 || g.nj < 1)
    throw bad("the grid claims " + decimal(g.ni) + " x " + decimal(g.nj) + " points");
  if (g.ni > max_plane_points / g.nj)
    throw SizeFailure(where + ": the grid claims " + decimal(g.ni) + " x " + decimal(g.nj) +
                      " points, more than the limit of " + decimal(max_plane_points) + " a plane");
  for (const double lat : {g.lat_first, g.lat_last})
    if (!(std::fabs(lat) <= 90.0 + eps_deg))
      throw bad("the grid claims a row at latitude " + shortest_double(lat));
  for (const double lon : {g.lon_first, g.lon_last})
    if (!(std::fabs(lon) <= 720.0))
      throw bad("the grid claims a column at longitude " + shortest_double(lon));

  LatLon o;
  o.ni = g.ni;
  o.nj = g.nj;
  if (g.nj > 1) {
    if (g.j_positive != (g.lat_last > g.lat_first))
      throw bad("the grid's rows go " + std::string(g.j_positive ? "north" : "south") +
                " by its scanning mode, but its last row (" + shortest_double(g.lat_last) + ") lies " +
                (g.lat_last > g.lat_first ? "north" : "south") + " of its first (" +
                shortest_double(g.lat_first) + ")");
    o.dlat = std::fabs(g.lat_last - g.lat_first) / static_cast<double>(g.nj - 1);
  } else {
    o.dlat = g.dj.value_or(0.0);
  }
  o.north = snap(g.j_positive ? g.lat_first + static_cast<double>(g.nj - 1) * o.dlat : g.lat_first);
  if (g.ni > 1) {
    double span = g.i_negative ? g.lon_first - g.lon_last : g.lon_last - g.lon_first;
    span = std::fmod(span, 360.0);
    if (span <= eps_deg) span += 360.0;
    o.dlon = span / static_cast<double>(g.ni - 1);
    o.global = std::fabs(static_cast<double>(g.ni) * o.dlon - 360.0) < 0.01 * o.dlon;
  } else {
    o.dlon = g.di.value_or(0.0);
  }
  if (!(o.dlat >= 0.0 && o.dlat <= 180.0) || !(o.dlon >= 0.0 && o.dlon <= 360.0))
    throw bad("the grid's increments cannot be worked out from its corners");
  refuse_unplaceable(g, o, where);
  o.west = snap(wrap360(g.i_negative ? g.lon_first - static_cast<double>(g.ni - 1) * o.dlon
                                     : g.lon_first));
  if (o.west >= 360.0) o.west = 0.0;
  return o;
}

Cut whole(const LatLon& g) { return Cut{0, g.nj, 0, g.ni}; }

Cut cut_area(const LatLon& g, const Area& a) {
  const double e = 1e-6;
  Cut c;
  // Rows: latitude north - r dlat within [south, north] of the area.
  if (g.nj == 1 || g.dlat == 0.0) {
    c.row0 = 0;
    c.rows = (g.north >= a.south - e && g.north <= a.north + e) ? 1 : 0;
  } else {
    const double first = std::ceil((g.north - a.north) / g.dlat - e);
    const double last = std::floor((g.north - a.south) / g.dlat + e);
    const double r0 = std::max(first, 0.0);
    const double r1 = std::min(last, static_cast<double>(g.nj - 1));
    c.row0 = static_cast<std::int64_t>(std::clamp(r0, 0.0, static_cast<double>(g.nj)));
    c.rows = r1 >= r0 ? static_cast<std::int64_t>(r1 - r0) + 1 : 0;
  }
  // Columns: eastward from the area's west edge over its width.
  double width = a.east - a.west;
  while (width < 0) width += 360.0;
  if (width > 360.0) width = 360.0;
  if (g.ni == 1 || g.dlon == 0.0) {
    double off = std::fmod(g.west - a.west, 360.0);
    if (off < 0) off += 360.0;
    c.col0 = 0;
    c.cols = (off <= width + e || off >= 360.0 - e) ? 1 : 0;
  } else if (g.global) {
    double off = std::fmod(a.west - g.west, 360.0);
    if (off < 0) off += 360.0;
    const double first = std::ceil(off / g.dlon - e);
    const double reach = off + width - first * g.dlon;  // from the first column to the east edge
    std::int64_t count = reach < -e * g.dlon ? 0 : static_cast<std::int64_t>(std::floor(reach / g.dlon + e)) + 1;
    count = std::min(count, g.ni);
    c.col0 = static_cast<std::int64_t>(first) % g.ni;
    c.cols = count;
  } else {
    const double span = static_cast<double>(g.ni - 1) * g.dlon;
    std::int64_t best_c0 = 0, best_n = 0;
    for (int k = -2; k <= 2; ++k) {
      const double lo_a = a.west + 360.0 * k - g.west;
      const double lo = std::max(lo_a, 0.0), hi = std::min(lo_a + width, span);
      if (hi < lo - e) continue;
      const double c0 = std::max(std::ceil(lo / g.dlon - e), 0.0);
      const double c1 = std::min(std::floor(hi / g.dlon + e), static_cast<double>(g.ni - 1));
      if (c1 < c0) continue;
      const auto n = static_cast<std::int64_t>(c1 - c0) + 1;
      if (n > best_n) {
        best_n = n;
        best_c0 = static_cast<std::int64_t>(c0);
      }
    }
    c.col0 = best_c0;
    c.cols = best_n;
  }
  if (c.rows <= 0 || c.cols <= 0)
    throw IoFailure("the area " + shortest_double(a.south) + "," + shortest_double(a.west) + "," +
                    shortest_double(a.north) + "," + shortest_double(a.east) +
                    " (south, west, north, east) holds no point of the grid (" +
                    g.words() + ")");
  return c;
}

layout::RunGrid run_grid(const LatLon& g, const Cut& cut) {
  const double south = g.north - static_cast<double>(cut.row0 + cut.rows - 1) * g.dlat;
  const double west = wrap360(snap(g.west + static_cast<double>(cut.col0) * g.dlon));
  const std::int64_t dj = std::llround(g.dlat * 1000.0);
  const std::int64_t di = std::llround(g.dlon * 1000.0);
  const std::int64_t lat1 = std::llround(snap(south) * 1000.0);
  std::int64_t lon1 = std::llround(west * 1000.0);
  if (lon1 >= 360000) lon1 -= 360000;
  if (lon1 + (cut.cols - 1) * di > 360000 && lon1 - 360000 >= -180000) lon1 -= 360000;
  const std::int64_t lat2 = lat1 + (cut.rows - 1) * dj;
  const std::int64_t lon2 = lon1 + (cut.cols - 1) * di;
  layout::RunGrid r;
  r.im = static_cast<std::int32_t>(cut.cols);
  r.jm = static_cast<std::int32_t>(cut.rows);
  const std::int64_t v[7] = {0, lat1, lon1, lat2, lon2, di, dj};
  for (int n = 0; n < 7; ++n) {
    if (v[n] < std::numeric_limits<std::int32_t>::min() || v[n] > std::numeric_limits<std::int32_t>::max())
      throw SizeFailure("the grid's corners in thousandths of a degree do not fit 32 bits (" +
                        g.words() + ")");
    r.grid[static_cast<std::size_t>(n)] = static_cast<std::int32_t>(v[n]);
  }
  return r;
}

}  // namespace c2m::ingest
