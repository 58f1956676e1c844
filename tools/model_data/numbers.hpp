// Number texts shared by the inventory, the descriptor and the picture
// labels.  All go through std::to_chars, so they do not depend on the locale.
#pragma once

#include <cstdint>
#include <string>

namespace c2m::md {

// The shortest text that reads back as the same 4-byte real ("287.15",
// "-99999", "1e-05", "nan").
std::string shortest(float value);

// VALUE with at most DIGITS significant digits, trailing zeros dropped
// ("283.1667", "1.234568e+06").
std::string significant(double value, int digits);

// Thousandths of a degree as an exact decimal number of degrees, without
// trailing zeros: -180000 -> "-180", 2500 -> "2.5", -500 -> "-0.5".
std::string degrees(std::int64_t millidegrees);

// VALUE right-aligned (or left-aligned) in WIDTH characters; longer texts
// are kept whole.
std::string right(const std::string& value, std::size_t width);
std::string left(const std::string& value, std::size_t width);

}  // namespace c2m::md
