#include "conv2model/plane_values.hpp"

#include <algorithm>
#include <span>

#include "conv2model/field_prep.hpp"
#include "conv2model/surface_fill.hpp"

namespace c2m {

void load_plane(const Field& field, std::int32_t k, const InputGrid& in, std::vector<float>& values) {
  const Plane& p = field.plane(k);
  const std::int32_t im = field.im(), jm = field.jm();
  values.resize(static_cast<std::size_t>(im) * static_cast<std::size_t>(jm));
  // Every step works on each row alone, so the plane goes through them a
  // band of rows at a time, while the band is still in the cache; from the
  // north, in the order the rows are stored.
  const std::int32_t band = std::max<std::int32_t>(1, 65536 / im);
  const auto row = static_cast<std::size_t>(im);
  for (std::int32_t j_hi = jm; j_hi >= 1; j_hi -= band) {
    const std::int32_t j_lo = std::max(1, j_hi - band + 1);
    in.read_rows(p.record, j_lo, j_hi, values);
    const std::span<float> rows(values.data() + static_cast<std::size_t>(j_lo - 1) * row,
                                static_cast<std::size_t>(j_hi - j_lo + 1) * row);
    prepare(p.prep, rows);
    if (p.capped) cap_soil_moisture(rows);
    for (std::int32_t n = 0; n < p.fills; ++n) zero_fill(rows, im, j_hi - j_lo + 1);
  }
}

}  // namespace c2m
