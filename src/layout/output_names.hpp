// The names of the converter's two outputs, beside its input grid file
// NAME: NAME.KVOwrk, the model data file, and NAME.KVOwrk.gdsinfo, its
// grid description.  The converter forms them in text fields of 255
// characters and cuts a name at its first blank, so the input's name must
// leave room for the longer suffix and a blank.
#pragma once

#include <cstddef>

namespace c2m::layout {

// The longest input name whose output names fit their 255-character fields
// with a blank to spare: NAME + ".KVOwrk.gdsinfo" + blank.
inline constexpr std::size_t max_stem_length = 239;

}  // namespace c2m::layout
