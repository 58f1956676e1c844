// A work array of the run: im x jm x nk 4-byte reals, indexed from 1, i
// fastest (west to east), then j (south to north), then k.
//
// The run does not hold the values of a work array in memory.  Every plane
// is a record of the input grid file, and it is read, turned south to north
// and prepared only when the model data file receives it, a band of rows at
// a time in reused buffers; the case then costs little more than reading
// its input once and writing its output once.  What the stages decide before
// (the missing-data checks, the relative-humidity patch, the soil fill)
// needs point (1, 1) of every plane alone: that point is held, and every
// other operation of those stages is kept as a step of the plane's recipe.
#pragma once

#include <cstdint>
#include <vector>

namespace c2m {

// How the values of a record are prepared once read.
enum class Prep : std::uint8_t {
  height,      // geopotential to height; undefined points to missing_value
  upper_air,   // undefined points to missing_value
  mask,        // land-sea mask to 0/1; undefined points to 0
  topography,  // surface geopotential to height; undefined points to 0
  surface,     // undefined points to 0
};

// The recipe of one plane.
struct Plane {
  std::int64_t record = 0;  // record of the input grid file, from 1
  Prep prep = Prep::upper_air;
  bool capped = false;      // soil moisture above 0.6 set to 0.3
  std::int32_t fills = 0;   // zero fills along the rows, after the cap
  float first = 0.0f;       // point (1, 1), as read and as prepared
};

class Field {
 public:
  Field() = default;
  Field(std::int32_t im, std::int32_t jm, std::int32_t nk)
      : im_(im), jm_(jm), planes_(static_cast<std::size_t>(nk)) {}

  std::int32_t im() const { return im_; }
  std::int32_t jm() const { return jm_; }
  std::int32_t levels() const { return static_cast<std::int32_t>(planes_.size()); }

  // Plane k, from 1.
  Plane& plane(std::int32_t k) { return planes_[static_cast<std::size_t>(k - 1)]; }
  const Plane& plane(std::int32_t k) const { return planes_[static_cast<std::size_t>(k - 1)]; }

  // Point (1, 1) of plane k: the point that tells whether the level is
  // missing.
  float first_point(std::int32_t k) const { return plane(k).first; }

  // Level FROM copied onto level TO, all of its values.
  void copy_level(std::int32_t from, std::int32_t to) { plane(to) = plane(from); }

 private:
  std::int32_t im_ = 0, jm_ = 0;
  std::vector<Plane> planes_;
};

}  // namespace c2m
