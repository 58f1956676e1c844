#include "source/simple_packing.hpp"

#include <bit>
#include <cmath>
#include <cstring>

namespace c2m::ingest {

namespace {

std::uint64_t be(const unsigned char* p, int n) {
  std::uint64_t v = 0;
  for (int k = 0; k < n; ++k) v = (v << 8) | p[k];
  return v;
}

// A 16-bit scale factor: a sign bit and the magnitude.
long signed16(const unsigned char* p) {
  const long v = static_cast<long>(be(p, 2) & 0x7fff);
  return (p[0] & 0x80) ? -v : v;
}

// N^S as ecCodes makes it: by |S| multiplications or divisions from 1.
double power(long s, long n) {
  double v = 1.0;
  if (s == 0) return 1.0;
  if (s == 1) return static_cast<double>(n);
  for (; s < 0; ++s) v /= static_cast<double>(n);
  for (; s > 0; --s) v *= static_cast<double>(n);
  return v;
}

struct Sections {
  const unsigned char* s5 = nullptr;
  const unsigned char* s6 = nullptr;
  const unsigned char* s7 = nullptr;
  std::uint64_t len5 = 0, len6 = 0, len7 = 0;
};

// The sections 5, 6 and 7 of a message of one field; false when the
// message is of several fields or its sections do not fit it.
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
  return data_sections == 1 && s.s5 && s.s6 && s.s7 && s.s5 < s.s6 && s.s6 < s.s7;
}

// Unpacks COUNT integers of BITS bits (1 to 32, big-endian, no padding
// between them) from DATA, starting with the integer number FIRST, and
// makes each a value; DATA holds enough.
template <class Put>
void unpack(const unsigned char* data, std::uint64_t first, std::uint64_t count, int bits, Put put) {
  if (bits == 16) {
    const unsigned char* p = data + 2 * first;
    for (std::uint64_t i = 0; i < count; ++i) put(i, static_cast<std::uint32_t>((p[2 * i] << 8) | p[2 * i + 1]));
    return;
  }
  if (bits == 8) {
    const unsigned char* p = data + first;
    for (std::uint64_t i = 0; i < count; ++i) put(i, static_cast<std::uint32_t>(p[i]));
    return;
  }
  const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
  const std::uint64_t start = first * static_cast<std::uint64_t>(bits);
  std::uint64_t at = start / 8;
  std::uint64_t acc = 0;  // bits not yet taken, at the low end
  int held = 0;
  if (start % 8 != 0) {
    held = 8 - static_cast<int>(start % 8);
    acc = data[at++] & ((1u << held) - 1);
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    while (held < bits) {
      acc = (acc << 8) | data[at++];
      held += 8;
    }
    held -= bits;
    put(i, static_cast<std::uint32_t>((acc >> held) & mask));
  }
}

// What a message of simple packing holds: its values (coded of them, BITS
// bits each, at DATA), how to make them values, and its bitmap if any.
struct Packed {
  std::uint64_t points = 0, coded = 0;
  int bits = 0;
  double reference = 0, scale2 = 1, scale10 = 1;
  const unsigned char* data = nullptr;
  const unsigned char* bitmap = nullptr;  // none: every point holds a value
  bool finite = true;                      // every value a number

  double value(std::uint32_t x) const { return ((static_cast<double>(x) * scale2) + reference) * scale10; }
};

// MESSAGE taken apart, or false when it is not one this decoder takes or
// its sections do not add up.
bool take_apart(std::span<const unsigned char> message, std::int64_t points, Packed& out) {
  Sections s;
  if (points < 1 || !find_sections(message, s)) return false;
  // Section 5, template 0: values coded, R, E, D and the bits of a value.
  if (s.len5 < 21 || be(s.s5 + 9, 2) != 0) return false;
  const std::uint64_t coded = be(s.s5 + 5, 4);
  const float r32 = std::bit_cast<float>(static_cast<std::uint32_t>(be(s.s5 + 11, 4)));
  const long e = signed16(s.s5 + 15), d = signed16(s.s5 + 17);
  const int bits = s.s5[19];
  if (bits < 1 || bits > 32) return false;
  // Section 6: no bitmap, or one that follows here.
  const int indicator = s.len6 >= 6 ? s.s6[5] : -1;
  const auto n = static_cast<std::uint64_t>(points);
  if (indicator == 255) {
    if (coded != n) return false;
  } else if (indicator == 0) {
    if (s.len6 - 6 < (n + 7) / 8 || coded > n) return false;
  } else {
    return false;
  }
  // Section 7: the packed values, whole.
  if ((s.len7 - 5) * 8 < coded * static_cast<std::uint64_t>(bits) || coded > (std::uint64_t{1} << 40)) return false;
  // With a bitmap the values go, in order, to the points whose bit is
  // set: as many points as values.
  const unsigned char* bitmap = indicator == 0 ? s.s6 + 6 : nullptr;
  if (bitmap) {
    std::uint64_t set = 0;
    for (std::uint64_t k = 0; k < n / 8; ++k) set += static_cast<std::uint64_t>(std::popcount(bitmap[k]));
    for (std::uint64_t k = n / 8 * 8; k < n; ++k) set += (bitmap[k / 8] >> (7 - k % 8)) & 1u;
    if (set != coded) return false;
  }
  out.points = n;
  out.coded = coded;
  out.bits = bits;
  out.reference = static_cast<double>(r32);
  out.scale2 = power(e, 2);
  out.scale10 = power(-d, 10);
  out.data = s.s7 + 5;
  out.bitmap = bitmap;
  // Values grow with the stored integer: when the least and the greatest
  // are numbers, so is every value.
  out.finite = std::isfinite(out.value(0)) &&
               std::isfinite(out.value(static_cast<std::uint32_t>((std::uint64_t{1} << bits) - 1)));
  return true;
}

}  // namespace

bool decode_simple_packing(std::span<const unsigned char> message, std::int64_t points, double missing,
                           std::vector<double>& values) {
  Packed m;
  if (!take_apart(message, points, m)) return false;
  values.resize(static_cast<std::size_t>(m.points));
  double* out = values.data();
  if (!m.bitmap) {
    unpack(m.data, 0, m.coded, m.bits, [&](std::uint64_t i, std::uint32_t x) { out[i] = m.value(x); });
    return true;
  }
  std::uint64_t at = 0;
  unpack(m.data, 0, m.coded, m.bits, [&](std::uint64_t, std::uint32_t x) {
    while (!((m.bitmap[at / 8] >> (7 - at % 8)) & 1u)) out[at++] = missing;
    out[at++] = m.value(x);
  });
  for (; at < m.points; ++at) out[at] = missing;
  return true;
}

bool decode_simple_packing_range(std::span<const unsigned char> message, std::int64_t points, std::int64_t first,
                                 std::span<double> out) {
  Packed m;
  if (!take_apart(message, points, m) || m.bitmap || !m.finite || first < 0 ||
      static_cast<std::uint64_t>(first) + out.size() > m.points)
    return false;
  double* o = out.data();
  unpack(m.data, static_cast<std::uint64_t>(first), out.size(), m.bits,
         [&](std::uint64_t i, std::uint32_t x) { o[i] = m.value(x); });
  return true;
}

}  // namespace c2m::ingest
