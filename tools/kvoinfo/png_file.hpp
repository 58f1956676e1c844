// Writing a picture as an 8-bit RGB PNG file.
#pragma once

#include <string>

#include "quicklook.hpp"

namespace kvo {

// Writes IMAGE to PATH.  Throws WriteError naming PATH and the cause; a
// partly written file is removed.
void write_png(const std::string& path, const Image& image);

}  // namespace kvo
