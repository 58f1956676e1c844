#include "simple_packing.hpp"

#include <bit>
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
// between them) from DATA and makes each a value; DATA holds enough.
template <class Put>
void unpack(const unsigned char* data, std::uint64_t count, int bits, Put put) {
  if (bits == 16) {
    for (std::uint64_t i = 0; i < count; ++i)
      put(i, static_cast<std::uint32_t>((data[2 * i] << 8) | data[2 * i + 1]));
    return;
  }
  if (bits == 8) {
    for (std::uint64_t i = 0; i < count; ++i) put(i, static_cast<std::uint32_t>(data[i]));
    return;
  }
  const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
  std::uint64_t acc = 0;  // bits not yet taken, at the low end
  int held = 0;
  std::uint64_t at = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    while (held < bits) {
      acc = (acc << 8) | data[at++];
      held += 8;
    }
    held -= bits;
    put(i, static_cast<std::uint32_t>((acc >> held) & mask));
  }
}

}  // namespace

bool decode_simple_packing(std::span<const unsigned char> message, std::int64_t points, double missing,
                           std::vector<double>& values) {
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
  if ((s.len7 - 5) * 8 < coded * static_cast<std::uint64_t>(bits) ||
      coded > (std::uint64_t{1} << 40))
    return false;

  // With a bitmap the values go, in order, to the points whose bit is
  // set: as many points as values.
  const unsigned char* bitmap = s.s6 + 6;
  if (indicator == 0) {
    std::uint64_t set = 0;
    for (std::uint64_t k = 0; k < n / 8; ++k) set += static_cast<std::uint64_t>(std::popcount(bitmap[k]));
    for (std::uint64_t k = n / 8 * 8; k < n; ++k) set += (bitmap[k / 8] >> (7 - k % 8)) & 1u;
    if (set != coded) return false;
  }

  const double reference = static_cast<double>(r32);
  const double scale2 = power(e, 2), scale10 = power(-d, 10);
  const unsigned char* data = s.s7 + 5;
  values.resize(static_cast<std::size_t>(n));
  double* out = values.data();
  if (indicator == 255) {
    unpack(data, coded, bits, [&](std::uint64_t i, std::uint32_t x) {
      out[i] = ((static_cast<double>(x) * scale2) + reference) * scale10;
    });
    return true;
  }
  std::uint64_t at = 0;
  unpack(data, coded, bits, [&](std::uint64_t, std::uint32_t x) {
    while (!((bitmap[at / 8] >> (7 - at % 8)) & 1u)) out[at++] = missing;
    out[at++] = ((static_cast<double>(x) * scale2) + reference) * scale10;
  });
  for (; at < n; ++at) out[at] = missing;
  return true;
}

}  // namespace c2m::ingest
