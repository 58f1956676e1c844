#pragma once

#include <cstdint>
#include <vector>

#include "conv2model/field.hpp"
#include "conv2model/record_io.hpp"

namespace c2m {

// The values of plane K of FIELD, as the stages before the output have made
// them: its record read from the input grid file with the rows turned,
// prepared, and capped and zero-filled as its recipe says, into VALUES (im x
// jm values, row 1 the southernmost).
void load_plane(const Field& field, std::int32_t k, const InputGrid& in, std::vector<float>& values);

}  // namespace c2m
