#include "conv2model/surface_fill.hpp"

#include <algorithm>

namespace c2m {

void cap_soil_moisture(std::span<float> plane) {
  for (float& v : plane)
    if (v > 0.6f) v = 0.3f;
}

void zero_fill(std::span<float> plane, std::int32_t im, std::int32_t jm) {
  const auto n = static_cast<std::size_t>(im);
  for (int sweep = 0; sweep < fill_sweeps; ++sweep) {
    for (std::int32_t j = 0; j < jm; ++j) {
      float* row = plane.data() + static_cast<std::size_t>(j) * n;
      for (std::size_t i = 0; i + 1 < n; ++i)
        if (row[i] == 0.0f && row[i + 1] != 0.0f) row[i] = row[i + 1];
    }
    for (std::int32_t j = 0; j < jm; ++j) {
      float* row = plane.data() + static_cast<std::size_t>(j) * n;
      for (std::size_t i = 1; i < n; ++i)
        if (row[i] == 0.0f && row[i - 1] != 0.0f) row[i] = row[i - 1];
    }
  }
}

void fill_surface(const RunContext& ctx, WorkArrays& work, Log& log) {
  Field& slp = work.slp;
  log.put(FreeLine("going to use nsfcfld= ").integer(ctx.nsfcfld));
  for (std::int32_t n = plane::soil_moist_1; n <= surface_planes; n += 2)
    cap_soil_moisture(slp.plane(n));

  for (std::int32_t n = plane::soil_temp_1; n <= ctx.nsfcfld; ++n) {
    if (slp(1, 1, n) == missing_value) {
      log.put(FreeLine("SURFACE DATA MISSING... ").integer(n));
      // Layers 3 and 4 are filled from layer 2; a missing layer 1 or 2 is
      // reported and goes on as it is.
      std::int32_t source = 0;
      if (n == 9 || n == 11) {
        log.put("filling soil temp data...");
        source = plane::soil_temp_2;
      } else if (n == 10 || n == 12) {
        log.put("filling soil moisture data...");
        source = plane::soil_moist_2;
      }
      if (source != 0) std::ranges::copy(slp.plane(source), slp.plane(n).begin());
    }
    zero_fill(slp.plane(n), ctx.im, ctx.jm);
  }
}

}  // namespace c2m
