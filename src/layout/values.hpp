// The two marks that stand in the files where a value is not, the same in
// the input grid file, the model data file and everything that reads or
// writes them; and where the land-sea mask turns to land.
#pragma once

namespace c2m::layout {

// A missing datum.  A level of an upper-air field, or a surface plane, is
// missing when its first point (the south-west corner, the first point of
// the southernmost row) holds it; the converter writes it where a value
// cannot be had, and the tools leave such points out of their statistics.
inline constexpr float missing_value = -99999.0f;

// The input grid file's mark of an undefined point (bit pattern
// 0x6258D19A): a point of a field that has no value there, such as the
// soil over sea.
inline constexpr float undefined_value = 9.999e20f;

// The land-sea mask is a fraction of land; the converter makes land of a
// point whose mask is at least this, and sea of the rest.
inline constexpr float mask_land_from = 0.1f;

}  // namespace c2m::layout
