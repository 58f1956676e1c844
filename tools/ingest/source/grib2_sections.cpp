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

std::uint64_t bits_set(const unsigned char* bitmap, std::uint64_t points) {
  std::uint64_t set = 0;
  for (std::uint64_t k = 0; k < points / 8; ++k) set += static_cast<std::uint64_t>(std::popcount(bitmap[k]));
  for (std::uint64_t k = points / 8 * 8; k < points; ++k) set += bit(bitmap, k);
  return set;
}

}  // namespace c2m::ingest::grib2

namespace c2m::ingest {

void PackedIntegers::made(const grib2::Scale& s, std::uint64_t n, const unsigned char* bits) {
  scale = s;
  points = n;
  bitmap = bits;
  const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
  finite = x.empty() || (std::isfinite(scale.value(*lo)) && std::isfinite(scale.value(*hi)));
}

void packed_values(const PackedIntegers& ints, double missing, std::vector<double>& values) {
  values.resize(ints.points);
  if (ints.bitmap) {
    grib2::spread(ints.bitmap, ints.points, missing, [&](std::uint64_t i) { return ints.value(i); }, values.data());
    return;
  }
  for (std::uint64_t i = 0; i < ints.points; ++i) values[i] = ints.value(i);
}

void packed_values_range(const PackedIntegers& ints, std::uint64_t first, std::span<double> out) {
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = ints.value(first + i);
}

}  // namespace c2m::ingest
