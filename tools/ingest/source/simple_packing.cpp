#include "source/simple_packing.hpp"

#include <cmath>

#include "source/grib2_sections.hpp"

namespace c2m::ingest {

namespace {

using grib2::be;

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
  grib2::Scale scale;
  const unsigned char* data = nullptr;
  const unsigned char* bitmap = nullptr;  // none: every point holds a value
  bool finite = true;                      // every value a number

  double value(std::uint32_t x) const { return scale.value(static_cast<double>(x)); }
};

// MESSAGE taken apart, or false when it is not one this decoder takes or
// its sections do not add up.
bool take_apart(std::span<const unsigned char> message, std::int64_t points, Packed& out) {
  grib2::Sections s;
  if (points < 1 || !grib2::find_sections(message, s)) return false;
  // Section 5, template 0: values coded, R, E, D and the bits of a value.
  if (s.template5 != 0) return false;
  const std::uint64_t coded = be(s.s5 + 5, 4);
  const int bits = s.s5[19];
  if (bits < 1 || bits > 32) return false;
  // Section 6: no bitmap, or one that follows here, with a bit set for
  // each value (the values go, in order, to the points whose bit is set).
  const auto n = static_cast<std::uint64_t>(points);
  const unsigned char* bitmap = nullptr;
  if (!grib2::values_fit(s, n, coded, bitmap)) return false;
  // Section 7: the packed values, whole.
  if ((s.len7 - 5) * 8 < coded * static_cast<std::uint64_t>(bits) || coded > (std::uint64_t{1} << 40)) return false;
  out.points = n;
  out.coded = coded;
  out.bits = bits;
  out.scale = grib2::Scale::of(s.s5);
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
                                 double missing, std::span<double> out) {
  Packed m;
  if (!take_apart(message, points, m) || !m.finite || first < 0 ||
      static_cast<std::uint64_t>(first) + out.size() > m.points)
    return false;
  double* o = out.data();
  const auto from = static_cast<std::uint64_t>(first), end = from + out.size();
  if (!m.bitmap) {
    unpack(m.data, from, out.size(), m.bits, [&](std::uint64_t i, std::uint32_t x) { o[i] = m.value(x); });
    return true;
  }
  // The coded values of the range: those of the points set in it, after
  // those set before it.
  const std::uint64_t before = grib2::bits_set(m.bitmap, from);
  std::uint64_t k = from;
  unpack(m.data, before, grib2::bits_set(m.bitmap, end) - before, m.bits, [&](std::uint64_t, std::uint32_t x) {
    while (!grib2::bit(m.bitmap, k)) o[k++ - from] = missing;
    o[k++ - from] = m.value(x);
  });
  for (; k < end; ++k) o[k - from] = missing;
  return true;
}

}  // namespace c2m::ingest
