#include "case/extract.hpp"

#include <algorithm>

namespace c2m::ingest {

std::int64_t Turn::index(std::int64_t r, std::int64_t c) const {
  std::int64_t sj = j_positive ? nj - 1 - r : r;
  std::int64_t si = i_negative ? ni - 1 - c : c;
  if (!j_consecutive) {
    if (alternating && (sj & 1)) si = ni - 1 - si;
    return sj * ni + si;
  }
  if (alternating && (si & 1)) sj = nj - 1 - sj;
  return si * nj + sj;
}

namespace {

// One value of the file into the case.  Undefined points are 9.999e20 in
// both (the double the decoder gives is that 4-byte real exactly), so a
// plain narrowing keeps them; a 4-byte real rounds values beyond its
// range to infinity and keeps NaN.
struct Plain {
  float operator()(double v) const { return static_cast<float>(v); }
};

// Scaled (in double, as the decoder gives the value, and rounded once),
// the undefined mark passed over.
struct Scaled {
  double scale, offset;
  float operator()(double v) const {
    const float x = static_cast<float>(v * scale + offset);
    return v == undefined_double ? undefined_value : x;
  }
};

// Scaled without an offset: an offset of 0 would turn -0 into +0.
struct ScaledOnly {
  double scale;
  float operator()(double v) const {
    const float x = static_cast<float>(v * scale);
    return v == undefined_double ? undefined_value : x;
  }
};

template <class Conv>
void extract_with(const Turn& t, const Cut& cut, const double* src, Conv conv, std::int64_t r0,
                  std::int64_t r1, float* out) {
  if (!t.j_consecutive && !t.alternating) {
    // Rows are stored whole: each row of the cut is one or two runs of
    // consecutive values (two when it goes round the earth).
    for (std::int64_t r = r0; r < r1; ++r) {
      const std::int64_t sj = t.j_positive ? t.nj - 1 - (cut.row0 + r) : cut.row0 + r;
      const double* row = src + sj * t.ni;
      float* o = out + (r - r0) * cut.cols;
      std::int64_t c = 0;
      while (c < cut.cols) {
        const std::int64_t col = (cut.col0 + c) % t.ni;
        const std::int64_t n = std::min(cut.cols - c, t.ni - col);
        float* oc = o + c;
        if (!t.i_negative) {
          const double* s = row + col;
          for (std::int64_t k = 0; k < n; ++k) oc[k] = conv(s[k]);
        } else {
          const double* s = row + (t.ni - 1 - col);
          for (std::int64_t k = 0; k < n; ++k) oc[k] = conv(*(s - k));
        }
        c += n;
      }
    }
    return;
  }
  for (std::int64_t r = r0; r < r1; ++r)
    for (std::int64_t c = 0; c < cut.cols; ++c)
      out[(r - r0) * cut.cols + c] = conv(src[t.index(cut.row0 + r, (cut.col0 + c) % t.ni)]);
}

}  // namespace

void extract_rows(const Turn& turn, const Cut& cut, std::span<const double> src, double scale,
                  double offset, std::int64_t row_begin, std::int64_t row_end, std::span<float> out) {
  if (scale == 1.0 && offset == 0.0)
    extract_with(turn, cut, src.data(), Plain{}, row_begin, row_end, out.data());
  else if (offset == 0.0)
    extract_with(turn, cut, src.data(), ScaledOnly{scale}, row_begin, row_end, out.data());
  else
    extract_with(turn, cut, src.data(), Scaled{scale, offset}, row_begin, row_end, out.data());
}

}  // namespace c2m::ingest
