#include "conv2model/field_prep.hpp"

namespace c2m {

namespace {

constexpr float mask_threshold = 0.1f;

}  // namespace

void geopotential_to_height(std::span<float> ht) {
  for (float& v : ht) {
    if (v == undefined_value)
      v = missing_value;
    else if (v != missing_value)
      v = v / gravity;
  }
}

void topography_from_geopotential(std::span<float> plane) {
  for (float& v : plane) v = (v == undefined_value) ? 0.0f : v / gravity;
}

void land_sea_mask(std::span<float> plane) {
  for (float& v : plane) {
    if (v == undefined_value)
      v = 0.0f;
    else if (v < mask_threshold)
      v = 0.0f;
    else if (v >= mask_threshold)
      v = 1.0f;
    // NaN: neither comparison holds, the value stays.
  }
}

void replace_undefined(std::span<float> values, float replacement) {
  for (float& v : values)
    if (v == undefined_value) v = replacement;
}

void prepare_fields(WorkArrays& work) {
  topography_from_geopotential(work.slp.plane(plane::topography));
  land_sea_mask(work.slp.plane(plane::land_sea_mask));
  for (Field* f : {&work.ht, &work.uw, &work.vw, &work.tp, &work.rh, &work.q})
    replace_undefined(f->all(), missing_value);
  replace_undefined(work.slp.all(), 0.0f);
}

}  // namespace c2m
