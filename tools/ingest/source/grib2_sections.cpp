#include "source/grib2_sections.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace c2m::ingest::grib2 {

namespace {

// N^S as ecCodes makes it: by |S| multiplications or divisions from 1.
double power(std::int64_t s, long n) {
  double v = 1.0;
  if (s == 0) return 1.0;
  if (s == 1) return static_cast<double>(n);
  for (; s < 0; ++s) v /= static_cast<double>(n);
  for (; s > 0; --s) v *= static_cast<double>(n);
  return v;
}

}  // namespace

bool find_sections(std::span<const unsigned char> m, Sections& s) {
  if (m.size() < 16 + 4 || std::memcmp(m.data(), "GRIB", 4) != 0 || m[7] != 2) return false;
  if (be(m.data() + 8, 8) != m.size() || std::memcmp(m.data() + m.size() - 4, "7777", 4) != 0) return false;
  std::uint64_t pos = 16;
  const std::uint64_t end = m.size() - 4;
  int data_sections = 0;
  while (pos < end) {
    if (end - pos < 5) return false;
    const std::uint64_t len = be(m.data() + pos, 4);
    const int num = m[pos + 4];
    if (len < 5 || len > end - pos) return false;
    const unsigned char* p = m.data() + pos;
    if (num == 5) s.s5 = p, s.len5 = len;
    else if (num == 6) s.s6 = p, s.len6 = len;
    else if (num == 7) s.s7 = p, s.len7 = len, ++data_sections;
    else if (num < 1 || num > 7) return false;
    pos += len;
  }
  if (data_sections != 1 || !s.s5 || !s.s6 || !s.s7 || !(s.s5 < s.s6 && s.s6 < s.s7) || s.len5 < 21) return false;
  s.template5 = static_cast<int>(be(s.s5 + 9, 2));
  return true;
}

Scale Scale::of(const unsigned char* s5) {
  const float r32 = std::bit_cast<float>(static_cast<std::uint32_t>(be(s5 + 11, 4)));
  return {static_cast<double>(r32), power(signed_magnitude(s5 + 15, 2), 2), power(-signed_magnitude(s5 + 17, 2), 10)};
}

bool bitmap_of(const Sections& s, std::uint64_t points, const unsigned char*& bitmap) {
  const int indicator = s.len6 >= 6 ? s.s6[5] : -1;
  bitmap = nullptr;
  if (indicator == 255) return true;
  if (indicator != 0 || s.len6 - 6 < (points + 7) / 8) return false;
  bitmap = s.s6 + 6;
  return true;
}

bool values_fit(const Sections& s, std::uint64_t points, std::uint64_t coded, const unsigned char*& bitmap) {
  if (!bitmap_of(s, points, bitmap)) return false;
  return bitmap ? coded <= points && bits_set(bitmap, points) == coded : coded == points;
}

bool compressed_fit(const Sections& s, std::uint64_t points, std::uint64_t& coded, int& bits,
                    const unsigned char*& bitmap) {
  coded = be(s.s5 + 5, 4);
  bits = s.s5[19];
  return bits >= 1 && bits <= 31 && coded >= 1 && values_fit(s, points, coded, bitmap);
}

std::uint64_t bits_set(const unsigned char* bitmap, std::uint64_t points) {
  // Eight octets at a time: the count of a word costs about what that of
  // an octet does.
  std::uint64_t set = 0, k = 0;
  for (; k + 64 <= points; k += 64) {
    std::uint64_t w;
    std::memcpy(&w, bitmap + k / 8, 8);
    set += static_cast<std::uint64_t>(std::popcount(w));
  }
  for (; k < points; ++k) set += bit(bitmap, k);
  return set;
}

}  // namespace c2m::ingest::grib2

namespace c2m::ingest {

namespace {

// Calls EACH(i, x) for the integers I = FIRST .. FIRST + COUNT - 1 of INTS.
template <class Each>
void integers(const PackedIntegers& ints, std::uint64_t first, std::uint64_t count, Each each) {
  const std::uint64_t end = first + count;
  const unsigned char* p = ints.samples.data();
  switch (ints.bytes) {
    case 0:
      for (std::uint64_t i = first; i < end; ++i) each(i, static_cast<double>(ints.x[i]));
      return;
    case 1:
      for (std::uint64_t i = first; i < end; ++i) each(i, static_cast<double>(p[i]));
      return;
    case 2:
      for (std::uint64_t i = first; i < end; ++i) {
        std::uint16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        each(i, static_cast<double>(v));
      }
      return;
    default:
      for (std::uint64_t i = first; i < end; ++i) {
        std::uint32_t v;
        std::memcpy(&v, p + 4 * i, 4);
        each(i, static_cast<double>(v));
      }
  }
}

}  // namespace

void PackedIntegers::made(const grib2::Scale& s, std::uint64_t n, const unsigned char* bits) {
  scale = s;
  points = n;
  bitmap = bits;
  double lo = 0, hi = 0;
  integers(*this, 0, coded, [&](std::uint64_t i, double v) {
    if (i == 0 || v < lo) lo = v;
    if (i == 0 || v > hi) hi = v;
  });
  finite = std::isfinite(scale.value(lo)) && std::isfinite(scale.value(hi));
}

void packed_values_range(const PackedIntegers& ints, std::uint64_t first, double missing, std::span<double> out) {
  double* o = out.data();
  if (!ints.bitmap) {
    integers(ints, first, out.size(), [&](std::uint64_t i, double v) { o[i - first] = ints.scale.value(v); });
    return;
  }
  // The coded values of the range: those of the points set in it, after
  // those set before it.
  const std::uint64_t before = grib2::bits_set(ints.bitmap, first);
  std::uint64_t k = first;
  const std::uint64_t end = first + out.size();
  integers(ints, before, grib2::bits_set(ints.bitmap, end) - before, [&](std::uint64_t, double v) {
    while (!grib2::bit(ints.bitmap, k)) o[k++ - first] = missing;
    o[k++ - first] = ints.scale.value(v);
  });
  for (; k < end; ++k) o[k - first] = missing;
}

void packed_values(const PackedIntegers& ints, double missing, std::vector<double>& values) {
  values.resize(ints.points);
  packed_values_range(ints, 0, missing, values);
}

}  // namespace c2m::ingest
