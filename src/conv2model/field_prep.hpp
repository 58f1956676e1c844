// Field preparation: the fields as stored become the quantities the later
// stages work with.  Each element's result depends on that element alone.
#pragma once

#include <span>

#include "conv2model/context.hpp"

namespace c2m {

// Geopotential (m2 s-2) to geopotential height (m): a single-precision
// division by 9.8.  The file's marks are recognised on the stored values:
// an undefined point becomes missing_value, and a stored missing_value
// stays missing instead of becoming a made-up height.
void geopotential_to_height(std::span<float> ht);

// Surface geopotential to topography (m); an undefined point becomes 0.
void topography_from_geopotential(std::span<float> plane);

// Land-sea mask to 0 (sea) and 1 (land) at the threshold 0.1; an undefined
// point becomes 0; NaN keeps its value.
void land_sea_mask(std::span<float> plane);

// Every element exactly equal to the undefined value becomes REPLACEMENT.
void replace_undefined(std::span<float> values, float replacement);

// The whole preparation of a record of kind PREP.  Heights are divided
// before their undefined points are replaced, topography and mask are made
// before the surface's undefined points are replaced: the order in which
// the whole fields are taken through the steps, applied to each element.
void prepare(Prep prep, std::span<float> values);

// The same, from IN (read only) into OUT, of the same length: a row can be
// prepared straight into its turned place.  IN may be OUT itself, but no
// other overlap is allowed.
void prepare(Prep prep, std::span<const float> in, std::span<float> out);

// Stage 6: the points (1, 1) that the checks look at are prepared; every
// other point is prepared as its record is written.
void prepare_fields(WorkArrays& work);

}  // namespace c2m
