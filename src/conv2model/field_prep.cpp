#include "conv2model/field_prep.hpp"

#include "layout/values.hpp"

namespace c2m {

namespace {

constexpr float mask_threshold = layout::mask_land_from;

}  // namespace

// The loops are written without branches, the division done for every
// element and the choice made after it, so that the compiler can take
// several values at a time; each result is the one the plain test gives.

void geopotential_to_height(std::span<float> ht) {
  for (float& v : ht) {
    const float quotient = v / gravity;
    const float h = (v == missing_value) ? v : quotient;
    v = (v == undefined_value) ? missing_value : h;
  }
}

void topography_from_geopotential(std::span<float> plane) {
  for (float& v : plane) {
    const float quotient = v / gravity;
    v = (v == undefined_value) ? 0.0f : quotient;
  }
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

void prepare(Prep prep, std::span<const float> in, std::span<float> out) {
  // One pass per record, each element taken through its steps in order.
  // Each element is read before its result is stored, so IN may be OUT.
  const std::size_t n = out.size();
  const float* src = in.data();
  float* dst = out.data();
  switch (prep) {
    case Prep::height:
      for (std::size_t i = 0; i < n; ++i) {
        const float v = src[i];
        const float quotient = v / gravity;
        const float h = (v == missing_value) ? v : quotient;
        const float m = (v == undefined_value) ? missing_value : h;
        dst[i] = (m == undefined_value) ? missing_value : m;
      }
      break;
    case Prep::upper_air:
      for (std::size_t i = 0; i < n; ++i) {
        const float v = src[i];
        dst[i] = (v == undefined_value) ? missing_value : v;
      }
      break;
    case Prep::mask:
      for (std::size_t i = 0; i < n; ++i) {
        const float v = src[i];
        float m = (v >= mask_threshold) ? 1.0f : v;
        m = (v < mask_threshold) ? 0.0f : m;
        dst[i] = (v == undefined_value) ? 0.0f : m;  // 0 and 1 are never undefined
      }
      break;
    case Prep::topography:
      for (std::size_t i = 0; i < n; ++i) {
        const float v = src[i];
        const float quotient = v / gravity;
        const float h = (v == undefined_value) ? 0.0f : quotient;
        dst[i] = (h == undefined_value) ? 0.0f : h;
      }
      break;
    case Prep::surface:
      for (std::size_t i = 0; i < n; ++i) {
        const float v = src[i];
        dst[i] = (v == undefined_value) ? 0.0f : v;
      }
      break;
  }
}

void prepare(Prep prep, std::span<float> values) { prepare(prep, values, values); }

void prepare_fields(WorkArrays& work) {
  for (Field* f : {&work.ht, &work.uw, &work.vw, &work.tp, &work.rh, &work.q, &work.slp})
    for (std::int32_t k = 1; k <= f->levels(); ++k) {
      Plane& p = f->plane(k);
      prepare(p.prep, std::span<float>(&p.first, 1));
    }
}

}  // namespace c2m
