// The values of a plane as the model data file receives them, made a band
// of rows at a time from the plane's record of the input grid file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "conv2model/field.hpp"
#include "conv2model/record_io.hpp"

namespace c2m {

// Rows of a band of IM points each: about 64 Ki values (256 KiB), so that a
// band read, prepared and written stays in the cache of its core; at least
// one row.
std::int32_t band_rows(std::int32_t im);

// Rows J_LO to J_HI of plane P (IM points a row), as the stages before the
// output have made them: read from the input grid file IN in one read into
// STORED, turned south to north, prepared, and capped and zero-filled as
// the plane's recipe says, into OUT (row J_LO first).  STORED and OUT hold
// (j_hi - j_lo + 1) x im values or more.
void make_rows(const Plane& p, const InputGrid& in, std::int32_t im, std::int32_t j_lo,
               std::int32_t j_hi, std::span<float> stored, std::span<float> out);

// The whole plane K of FIELD, made band by band as above, into VALUES
// (im x jm values, row 1 the southernmost).
void load_plane(const Field& field, std::int32_t k, const InputGrid& in, std::vector<float>& values);

}  // namespace c2m
