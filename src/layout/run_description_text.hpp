// The text of a run description, InputModelInf.txt, as the case makers
// write it and the converter reads it: the label, "im jm lm", the seven
// grid integers one per line (grid type, latitude and longitude of the
// first point, the south-west corner, latitude and longitude of the last
// point, the north-east corner, increments along i and j; angles in
// thousandths of a degree), then the pressure of each level in hPa from
// level 1, the bottom, up.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace c2m::layout {

inline constexpr const char* run_description_file = "InputModelInf.txt";
inline constexpr const char* date_file = "adate.txt";

struct RunGrid {
  std::int32_t im = 0, jm = 0;
  // type, lat1, lon1, lat2, lon2, di, dj
  std::array<std::int32_t, 7> grid{};
};

// Pressures are written in their shortest form that reads back to the same
// 4-byte real.  The label should be one word of at most 20 characters: the
// converter keeps 20 and shows what comes before the first blank.
std::string run_description_text(const std::string& label, const RunGrid& g,
                                  std::span<const float> pressures_hpa);

}  // namespace c2m::layout
