// Number texts of the model data file's own kinds shared by the inventory,
// the descriptor and the picture labels (the plain number forms are the
// kit's, kit/numbers.hpp).
#pragma once

#include <cstdint>
#include <string>

namespace c2m::md {

// Thousandths of a degree as an exact decimal number of degrees, without
// trailing zeros: -180000 -> "-180", 2500 -> "2.5", -500 -> "-0.5".
std::string degrees(std::int64_t millidegrees);

// VALUE right-aligned (or left-aligned) in WIDTH characters; longer texts
// are kept whole.
std::string right(const std::string& value, std::size_t width);
std::string left(const std::string& value, std::size_t width);

}  // namespace c2m::md
