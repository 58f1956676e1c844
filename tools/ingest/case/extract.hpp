// The values of a field turned and cut into the case's plane: from the
// order its file stores them (any scanning mode) to the case's rows north
// to south and points west to east, the cut's rows and columns only (round
// the earth on a global grid), each value scaled into the case's units as
// a 4-byte real.
#pragma once

#include <cstdint>
#include <span>

#include "plan/grid.hpp"
#include "source/fields.hpp"

namespace c2m::ingest {

// How the stored values of a field map onto the case's plane.
struct Turn {
  std::int64_t ni = 0, nj = 0;
  bool i_negative = false, j_positive = false, j_consecutive = false, alternating = false;
  static Turn of(const GridInfo& g) {
    return {g.ni, g.nj, g.i_negative, g.j_positive, g.j_consecutive, g.alternating};
  }
  // Index in the stored values of the point in row R (from the north) and
  // column C (from the west) of the whole grid.
  std::int64_t index(std::int64_t r, std::int64_t c) const;
};

// Rows ROW_BEGIN to ROW_END - 1 of the cut of SRC (stored as TURN says)
// into OUT ((ROW_END - ROW_BEGIN) x cut.cols, rows north to south), each
// value v becoming v x SCALE + OFFSET as a 4-byte real.  Undefined points
// stay undefined; values beyond the range of a 4-byte real become
// infinite.
void extract_rows(const Turn& turn, const Cut& cut, std::span<const double> src, double scale,
                  double offset, std::int64_t row_begin, std::int64_t row_end, std::span<float> out);
// The whole cut (cut.rows x cut.cols values).
inline void extract(const Turn& turn, const Cut& cut, std::span<const double> src, double scale,
                    double offset, std::span<float> out) {
  extract_rows(turn, cut, src, scale, offset, 0, cut.rows, out);
}

}  // namespace c2m::ingest
