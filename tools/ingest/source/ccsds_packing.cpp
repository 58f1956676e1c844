#include "source/ccsds_packing.hpp"

#include <libaec.h>

#include <bit>

namespace c2m::ingest {

namespace {

using grib2::be;

// Section 5 of CCSDS packing with a block size and reference sample
// interval libaec can start with.
bool usable(const grib2::Sections& s) { return s.s5[22] != 0 && be(s.s5 + 23, 2) != 0; }

}  // namespace

Decoding decode_ccsds_integers(std::span<const unsigned char> message, std::int64_t points, PackedIntegers& out) {
  grib2::Sections s;
  if (points < 1 || !grib2::find_sections(message, s) || s.template5 != 42) return {};
  if (s.len5 < 25) return Decoding::broken("its section 5 is too short for CCSDS packing");
  if (!usable(s))
    return Decoding::broken("its CCSDS compression states a block size or reference sample interval of 0, "
                            "which no decoder takes");
  // Section 5: values coded, R, E, D, the bits of a value, then the
  // compression's options, block size and reference sample interval.
  const auto n = static_cast<std::uint64_t>(points);
  std::uint64_t coded = 0;
  int bits = 0;
  const unsigned char* bitmap = nullptr;
  if (!grib2::compressed_fit(s, n, coded, bits, bitmap)) return {};
  // Each sample in 1, 2 or 4 bytes, this machine's order, never 3.
  const int bytes = bits <= 8 ? 1 : bits <= 16 ? 2 : 4;
  // Signed samples (a flag GRIB does not use) would not be simple packing's.
  if (s.s5[21] & AEC_DATA_SIGNED) return {};
  unsigned flags = s.s5[21] & ~static_cast<unsigned>(AEC_DATA_3BYTE | AEC_DATA_MSB);
  if (std::endian::native == std::endian::big) flags |= AEC_DATA_MSB;
  std::vector<unsigned char>& samples = out.samples;
  samples.resize(coded * static_cast<std::uint64_t>(bytes));
  aec_stream strm{};
  strm.next_in = s.s7 + 5;
  strm.avail_in = s.len7 - 5;
  strm.next_out = samples.data();
  strm.avail_out = samples.size();
  strm.bits_per_sample = static_cast<unsigned>(bits);
  strm.block_size = s.s5[22];
  strm.rsi = static_cast<unsigned>(be(s.s5 + 23, 2));
  strm.flags = flags;
  if (aec_buffer_decode(&strm) != AEC_OK || strm.total_out != samples.size())
    return Decoding::broken("its CCSDS-compressed values cannot be decompressed to as many as it states");
  out.bytes = bytes;
  out.coded = coded;
  out.made(grib2::Scale::of(s.s5), n, bitmap);
  return {Decoding::decoded};
}

}  // namespace c2m::ingest
