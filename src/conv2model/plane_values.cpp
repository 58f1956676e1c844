#include "conv2model/plane_values.hpp"

#include <algorithm>

#include "conv2model/field_prep.hpp"
#include "conv2model/surface_fill.hpp"

namespace c2m {

std::int32_t band_rows(std::int32_t im) { return std::max<std::int32_t>(1, 65536 / std::max(im, 1)); }

void make_rows(const Plane& p, const InputGrid& in, std::int32_t im, std::int32_t j_lo,
               std::int32_t j_hi, std::span<float> stored, std::span<float> out) {
  in.read_stored_rows(p.record, j_lo, j_hi, stored);
  const auto row = static_cast<std::size_t>(im);
  const auto rows = static_cast<std::size_t>(j_hi - j_lo + 1);
  // The band lies in the file from its northern row down; each row is
  // prepared into its place counted from the south.  Every step works on
  // each value (the fill on each row) alone, so the band can go through
  // them by itself.
  for (std::size_t s = 0; s < rows; ++s)
    prepare(p.prep, stored.subspan(s * row, row), out.subspan((rows - 1 - s) * row, row));
  const std::span<float> band = out.first(rows * row);
  if (p.capped) cap_soil_moisture(band);
  for (std::int32_t n = 0; n < p.fills; ++n) zero_fill(band, im, j_hi - j_lo + 1);
}

void load_plane(const Field& field, std::int32_t k, const InputGrid& in, std::vector<float>& values) {
  const Plane& p = field.plane(k);
  const std::int32_t im = field.im(), jm = field.jm();
  const auto row = static_cast<std::size_t>(im);
  values.resize(row * static_cast<std::size_t>(jm));
  const std::int32_t band = band_rows(im);
  std::vector<float> stored(row * static_cast<std::size_t>(std::min(band, jm)));
  for (std::int32_t j_hi = jm; j_hi >= 1; j_hi -= band) {
    const std::int32_t j_lo = std::max(1, j_hi - band + 1);
    make_rows(p, in, im, j_lo, j_hi, stored,
              std::span<float>(values).subspan(static_cast<std::size_t>(j_lo - 1) * row));
  }
}

}  // namespace c2m
