#include "conv2model/surface_fill.hpp"

#include <algorithm>

namespace c2m {

void cap_soil_moisture(std::span<float> plane) {
  for (float& v : plane)
    if (v > 0.6f) v = 0.3f;
}

namespace {

// The 15 sweeps settle in one walk along the row.  The pass from the west
// runs with i ascending, so in the first sweep it carries a value across a
// whole run of zeros east of it; the pass from the east moves a value one
// point per sweep, so it gives the last zero of a run its eastern
// neighbour's value before the pass from the west reaches it.  Hence:
//   - a run with a value on both sides takes the western value, except its
//     last point, which takes the eastern one;
//   - a run at the eastern end of the row takes the western value;
//   - the run at the western end, with nothing west of it, gains one point
//     per sweep from the east: its 15 easternmost points take the value
//     east of it, the rest stay 0;
//   - a row of zeros stays as it is.
void fill_row(float* row, std::size_t n) {
  std::size_t first = 0;
  while (first < n && row[first] == 0.0f) ++first;
  if (first == n) return;
  const std::size_t reach = std::min<std::size_t>(first, fill_sweeps);
  std::fill(row + (first - reach), row + first, row[first]);

  for (std::size_t i = first + 1; i < n; ++i) {
    if (row[i] != 0.0f) continue;
    const std::size_t a = i;  // run of zeros a..b-1, row[a - 1] a value
    std::size_t b = a;
    while (b < n && row[b] == 0.0f) ++b;
    const float west = row[a - 1];
    if (b < n) {
      std::fill(row + a, row + b - 1, west);
      row[b - 1] = row[b];
    } else {
      std::fill(row + a, row + b, west);
    }
    i = b;
  }
}

}  // namespace

void zero_fill(std::span<float> plane, std::int32_t im, std::int32_t jm) {
  const auto n = static_cast<std::size_t>(im);
  for (std::int32_t j = 0; j < jm; ++j) fill_row(plane.data() + static_cast<std::size_t>(j) * n, n);
}

void fill_surface(const RunContext& ctx, WorkArrays& work, Log& log) {
  Field& slp = work.slp;
  log.put(FreeLine("going to use nsfcfld= ").integer(ctx.nsfcfld));
  for (std::int32_t n = plane::soil_moist_1; n <= surface_planes; n += 2) {
    Plane& p = slp.plane(n);
    p.capped = true;
    cap_soil_moisture(std::span<float>(&p.first, 1));
  }

  for (std::int32_t n = plane::soil_temp_1; n <= ctx.nsfcfld; ++n) {
    if (slp.first_point(n) == missing_value) {
      log.put(FreeLine("SURFACE DATA MISSING... ").integer(n));
      // Layers 3 and 4 are filled from layer 2, as it stands after its own
      // cap and fill; a missing layer 1 or 2 is reported and goes on as it
      // is.
      if (n == 9 || n == 11) {
        log.put("filling soil temp data...");
        slp.copy_level(plane::soil_temp_2, n);
      } else if (n == 10 || n == 12) {
        log.put("filling soil moisture data...");
        slp.copy_level(plane::soil_moist_2, n);
      }
    }
    // Done on the plane's values as its record is written.
    ++slp.plane(n).fills;
  }
}

}  // namespace c2m
