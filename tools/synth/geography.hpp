// Rough geography of the Earth for synthetic cases: where the land is and
// how high it stands.  Shapes are coarse (a few dozen vertices a continent)
// but in their real places, so a picture of the mask shows the world the
// right way up and the familiar coasts are recognisable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace synth {

// Longitude folded into [-180, 180).
double fold_longitude(double lon_deg);

// Land (1) or sea (0) for a row of points on the parallel lat_deg; lon_deg
// holds the longitude of each point (any range, folded internally).
void land_row(double lat_deg, std::span<const double> lon_deg,
              std::span<std::uint8_t> land);

// Raises `height` (metres; a plane of row_lat_deg.size() rows of
// col_lon_deg.size() points, row-major) to the large-scale terrain wherever
// that is higher: mountain ranges, plateaus and ice sheets, each a smooth
// ridge, where ranges meet the higher one wins.  Sea points get heights
// too; the caller masks them.
void raise_mountains(std::span<const double> row_lat_deg,
                   std::span<const double> col_lon_deg, std::span<float> height);

}  // namespace synth
