#include "conv2model/field_prep.hpp"

namespace c2m {

namespace {

constexpr float mask_threshold = 0.1f;

}  // namespace

// The loops are written without branches so that the compiler can take
// several values at a time; each result is the one the plain test gives.

void geopotential_to_height(std::span<float> ht) {
  for (float& v : ht) {
    const float h = (v == missing_value) ? v : v / gravity;
    v = (v == undefined_value) ? missing_value : h;
  }
}

void topography_from_geopotential(std::span<float> plane) {
  for (float& v : plane) v = (v == undefined_value) ? 0.0f : v / gravity;
}

void land_sea_mask(std::span<float> plane) {
  for (float& v : plane) {
    // NaN: neither comparison holds, the value stays.
    float m = (v >= mask_threshold) ? 1.0f : v;
    m = (v < mask_threshold) ? 0.0f : m;
    v = (v == undefined_value) ? 0.0f : m;
  }
}

void replace_undefined(std::span<float> values, float replacement) {
  for (float& v : values) v = (v == undefined_value) ? replacement : v;
}

void prepare(Prep prep, std::span<float> values) {
  switch (prep) {
    case Prep::height:
      geopotential_to_height(values);
      replace_undefined(values, missing_value);
      break;
    case Prep::upper_air:
      replace_undefined(values, missing_value);
      break;
    case Prep::mask:
      land_sea_mask(values);
      replace_undefined(values, 0.0f);
      break;
    case Prep::topography:
      topography_from_geopotential(values);
      replace_undefined(values, 0.0f);
      break;
    case Prep::surface:
      replace_undefined(values, 0.0f);
      break;
  }
}

void prepare_fields(WorkArrays& work) {
  for (Field* f : {&work.ht, &work.uw, &work.vw, &work.tp, &work.rh, &work.q, &work.slp})
    for (std::int32_t k = 1; k <= f->levels(); ++k) {
      Plane& p = f->plane(k);
      prepare(p.prep, std::span<float>(&p.first, 1));
    }
}

}  // namespace c2m
