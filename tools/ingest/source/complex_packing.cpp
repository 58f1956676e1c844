#include "source/complex_packing.hpp"

#include <cstring>
#include <limits>

namespace c2m::ingest {

namespace {

using grib2::be;

// Integers of a few bits each, big-endian, one after the other, from a
// bit's place in BYTES bytes; the caller makes sure they are there.
class BitReader {
 public:
  BitReader(const unsigned char* p, std::uint64_t bytes, std::uint64_t bit) : p_(p), bytes_(bytes), pos_(bit) {}

  // The next N bits, 0 to 32, as an unsigned integer.
  std::uint32_t take(int n) {
    if (n == 0) return 0;
    const std::uint64_t at = pos_ >> 3;
    const int shift = static_cast<int>(pos_ & 7);
    std::uint64_t w = 0;
    if (at + 8 <= bytes_) {
      std::memcpy(&w, p_ + at, 8);
      w = __builtin_bswap64(w);
    } else {
      for (std::uint64_t k = 0; k < 8; ++k) w = (w << 8) | (at + k < bytes_ ? p_[at + k] : 0u);
    }
    pos_ += static_cast<std::uint64_t>(n);
    return static_cast<std::uint32_t>((w << shift) >> (64 - n));
  }

 private:
  const unsigned char* p_;
  std::uint64_t bytes_, pos_;
};

// Section 5 of templates 5.2 and 5.3: how the groups are described.
struct Groups {
  std::uint64_t coded = 0, count = 0;
  int ref_bits = 0, width_bits = 0, length_bits = 0;
  std::uint32_t width_ref = 0, length_ref = 0, length_increment = 0, last_length = 0;
  // Spatial differencing: its order, and the octets of each extra
  // descriptor.  ecCodes itself writes template 5.3 with the order 0 and
  // no descriptors for a field it packs without differencing.
  int order = 0, extra = 0;
};

std::uint64_t octets(std::uint64_t bits) { return (bits + 7) / 8; }

// The groups as section 5 describes them: not taken for a packing other
// than 5.2 and 5.3, missing values managed within the groups, or a field
// of one value (no groups); corrupt where the description cannot be.
Decoding groups_of(const grib2::Sections& s, Groups& g) {
  const unsigned char* q = s.s5 - 1;  // q[K]: octet K, numbered from 1 as the tables do
  const bool differenced = s.template5 == 3;
  if (s.template5 != 2 && !differenced) return {};
  if (s.len5 < (differenced ? 49u : 47u)) return Decoding::broken("its section 5 is too short for complex packing");
  g.coded = be(q + 6, 4);
  g.ref_bits = q[20];
  if (q[23] != 0) return {};  // missing values managed within the groups
  g.count = be(q + 32, 4);
  g.width_ref = q[36];
  g.width_bits = q[37];
  g.length_ref = static_cast<std::uint32_t>(be(q + 38, 4));
  g.length_increment = q[42];
  g.last_length = static_cast<std::uint32_t>(be(q + 43, 4));
  g.length_bits = q[47];
  if (differenced) g.order = q[48], g.extra = q[49];
  if (g.count == 0) return {};
  if (g.count > g.coded || g.ref_bits > 32 || g.width_bits > 32 || g.length_bits > 32)
    return Decoding::broken("its groups of complex packing cannot hold its values");
  if (differenced && !(g.order == 0 && g.extra == 0) &&
      !((g.order == 1 || g.order == 2) && g.extra >= 1 && g.extra <= 4))
    return Decoding::broken("its spatial differencing is of an order or size no decoder takes");
  return {Decoding::decoded};
}

// Where the integers go: 2 bytes each while they fit (the usual 16 bits
// or fewer of a field), 4 from the first that does not.
class Store {
 public:
  Store(PackedIntegers& out, std::uint64_t count) : out_(out) {
    out_.bytes = 2;
    out_.samples.resize(count * 2);
    narrow_ = out_.samples.data();
  }

  void put(std::uint64_t i, std::int32_t v) {
    if (narrow_ && v >= 0 && v <= 0xffff) {
      const auto h = static_cast<std::uint16_t>(v);
      std::memcpy(narrow_ + 2 * i, &h, 2);
      return;
    }
    if (narrow_) widen(i);
    out_.x[i] = v;
  }

  // The narrow samples' room given back when the integers went wide.
  void finish() {
    if (!narrow_) std::vector<unsigned char>().swap(out_.samples);
  }

 private:
  // The first I integers moved to 4 bytes each.
  void widen(std::uint64_t i) {
    out_.x.resize(out_.samples.size() / 2);
    for (std::uint64_t k = 0; k < i; ++k) {
      std::uint16_t h;
      std::memcpy(&h, narrow_ + 2 * k, 2);
      out_.x[k] = h;
    }
    out_.bytes = 0;
    narrow_ = nullptr;
  }

  PackedIntegers& out_;
  unsigned char* narrow_;
};

// The integers made again from the differences, one at a time, in order.
class Undifference {
 public:
  Undifference(int order, std::int64_t first, std::int64_t second, std::int64_t minimum)
      : order_(order), first_(first), second_(second), min_(minimum) {}

  // The integer of coded value I from its stored D, put in STORE; false
  // when it leaves the range of 4-byte integers.
  bool next(std::uint64_t i, std::int64_t d, Store& store) {
    std::int64_t v = d;
    if (order_ == 1) v = i == 0 ? first_ : d + min_ + a_;
    if (order_ == 2) v = i == 0 ? first_ : i == 1 ? second_ : d + min_ + 2 * a_ - b_;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
    b_ = a_;
    a_ = v;
    store.put(i, static_cast<std::int32_t>(v));
    return true;
  }

 private:
  int order_;
  std::int64_t first_, second_, min_;
  std::int64_t a_ = 0, b_ = 0;  // the last integer and the one before
};

constexpr const char* beyond = "its groups of complex packing do not add up to its values";

// The coded values of G from section 7, data at DATA of BYTES bytes.
Decoding unpack(const Groups& g, const unsigned char* data, std::uint64_t bytes, PackedIntegers& out) {
  // The extra descriptors, then the groups' references, widths and
  // lengths, each run filled up to a whole octet, then the values.
  const std::uint64_t head = static_cast<std::uint64_t>(g.extra) * static_cast<std::uint64_t>(g.order + 1);
  const std::uint64_t refs = head * 8, widths = refs + 8 * octets(g.count * static_cast<std::uint64_t>(g.ref_bits));
  const std::uint64_t lengths = widths + 8 * octets(g.count * static_cast<std::uint64_t>(g.width_bits));
  const std::uint64_t values = lengths + 8 * octets(g.count * static_cast<std::uint64_t>(g.length_bits));
  if (values > bytes * 8) return Decoding::broken(beyond);
  std::int64_t first = 0, second = 0, minimum = 0;
  if (g.order > 0) {
    first = grib2::signed_magnitude(data, g.extra);
    if (g.order == 2) second = grib2::signed_magnitude(data + g.extra, g.extra);
    minimum = grib2::signed_magnitude(data + g.order * g.extra, g.extra);
  }
  BitReader ref(data, bytes, refs), width(data, bytes, widths), length(data, bytes, lengths), value(data, bytes, values);
  Undifference sum(g.order, first, second, minimum);
  Store store(out, g.coded);
  std::uint64_t i = 0, bits_left = bytes * 8 - values;
  for (std::uint64_t n = 0; n < g.count; ++n) {
    const std::int64_t r = ref.take(g.ref_bits);
    const std::uint64_t w = g.width_ref + width.take(g.width_bits);
    const std::uint64_t l = n + 1 == g.count ? g.last_length
                                             : g.length_ref + std::uint64_t{g.length_increment} * length.take(g.length_bits);
    if (w > 32 || l > g.coded - i || w * l > bits_left) return Decoding::broken(beyond);
    bits_left -= w * l;
    // Integers beyond 4 bytes are ecCodes' to make.
    for (const std::uint64_t end = i + l; i < end; ++i)
      if (!sum.next(i, r + value.take(static_cast<int>(w)), store)) return {};
  }
  store.finish();
  if (i != g.coded) return Decoding::broken(beyond);
  return {Decoding::decoded};
}

}  // namespace

Decoding decode_complex_integers(std::span<const unsigned char> message, std::int64_t points, PackedIntegers& out) {
  grib2::Sections s;
  Groups g;
  if (points < 1 || !grib2::find_sections(message, s)) return {};
  if (const Decoding d = groups_of(s, g); d.kind != Decoding::decoded) return d;
  const auto n = static_cast<std::uint64_t>(points);
  const unsigned char* bitmap = nullptr;
  if (!grib2::values_fit(s, n, g.coded, bitmap)) return {};
  if (const Decoding d = unpack(g, s.s7 + 5, s.len7 - 5, out); d.kind != Decoding::decoded) return d;
  out.coded = g.coded;
  out.made(grib2::Scale::of(s.s5), n, bitmap);
  return {Decoding::decoded};
}

}  // namespace c2m::ingest
