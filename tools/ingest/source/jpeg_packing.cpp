#include "source/jpeg_packing.hpp"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace c2m::ingest {

namespace {

// The codestream in memory, as OpenJPEG reads a stream.
struct Bytes {
  const unsigned char* p;
  std::uint64_t size, at = 0;
};

OPJ_SIZE_T read_bytes(void* into, OPJ_SIZE_T n, void* user) {
  auto* b = static_cast<Bytes*>(user);
  const std::uint64_t left = b->size - b->at;
  if (left == 0) return static_cast<OPJ_SIZE_T>(-1);  // the end, as OpenJPEG wants it told
  const std::uint64_t k = std::min<std::uint64_t>(n, left);
  std::memcpy(into, b->p + b->at, k);
  b->at += k;
  return k;
}

OPJ_OFF_T skip_bytes(OPJ_OFF_T n, void* user) {
  auto* b = static_cast<Bytes*>(user);
  if (n < 0) return -1;
  const std::uint64_t k = std::min<std::uint64_t>(static_cast<std::uint64_t>(n), b->size - b->at);
  b->at += k;
  return static_cast<OPJ_OFF_T>(k);
}

OPJ_BOOL seek_bytes(OPJ_OFF_T to, void* user) {
  auto* b = static_cast<Bytes*>(user);
  if (to < 0 || static_cast<std::uint64_t>(to) > b->size) return OPJ_FALSE;
  b->at = static_cast<std::uint64_t>(to);
  return OPJ_TRUE;
}

void quiet(const char*, void*) {}

struct Codec {
  opj_codec_t* c;
  ~Codec() { opj_destroy_codec(c); }
};
struct Stream {
  opj_stream_t* s;
  ~Stream() { opj_stream_destroy(s); }
};
struct Image {
  opj_image_t* i = nullptr;
  ~Image() { opj_image_destroy(i); }
};

// The one component of the codestream at P (SIZE bytes) decoded, or
// nullptr when OpenJPEG cannot; a codestream begins with its SOC marker
// (FF 4F), a JP2 file with its signature box.
bool decode(const unsigned char* p, std::uint64_t size, Image& image) {
  const bool jp2 = size >= 12 && std::memcmp(p + 4, "jP  ", 4) == 0;
  Codec codec{opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K)};
  if (!codec.c) return false;
  opj_set_info_handler(codec.c, quiet, nullptr);
  opj_set_warning_handler(codec.c, quiet, nullptr);
  opj_set_error_handler(codec.c, quiet, nullptr);
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(codec.c, &params)) return false;
  Stream stream{opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE)};
  if (!stream.s) return false;
  Bytes bytes{p, size};
  opj_stream_set_user_data(stream.s, &bytes, nullptr);
  opj_stream_set_user_data_length(stream.s, size);
  opj_stream_set_read_function(stream.s, read_bytes);
  opj_stream_set_skip_function(stream.s, skip_bytes);
  opj_stream_set_seek_function(stream.s, seek_bytes);
  return opj_read_header(stream.s, codec.c, &image.i) && opj_decode(codec.c, stream.s, image.i) &&
         opj_end_decompress(codec.c, stream.s);
}

}  // namespace

Decoding decode_jpeg_integers(std::span<const unsigned char> message, std::int64_t points, PackedIntegers& out) {
  grib2::Sections s;
  if (points < 1 || !grib2::find_sections(message, s) || s.template5 != 40) return {};
  if (s.len5 < 23) return Decoding::broken("its section 5 is too short for JPEG 2000 packing");
  // Section 5: values coded, R, E, D and the bits of a value.
  const auto n = static_cast<std::uint64_t>(points);
  std::uint64_t coded = 0;
  int bits = 0;
  const unsigned char* bitmap = nullptr;
  if (!grib2::compressed_fit(s, n, coded, bits, bitmap)) return {};
  constexpr const char* broken = "its JPEG 2000 codestream does not decode to the values it states";
  // The integers of the field before given back first: OpenJPEG's image
  // and working are the most this worker holds, not those as well.
  std::vector<unsigned char>().swap(out.samples);
  std::vector<std::int32_t>().swap(out.x);
  Image image;
  if (s.len7 <= 5 || !decode(s.s7 + 5, s.len7 - 5, image) || image.i->numcomps != 1) return Decoding::broken(broken);
  const opj_image_comp_t& c = image.i->comps[0];
  if (!c.data || c.sgnd || c.prec > 31 || std::uint64_t{c.w} * c.h != coded) return Decoding::broken(broken);
  // The samples in 2 bytes each when they fit, else 4.
  const bool narrow = c.prec <= 16;
  out.bytes = narrow ? 2 : 0;
  if (narrow) out.samples.resize(coded * 2);
  else out.x.resize(coded);
  for (std::uint64_t i = 0; i < coded; ++i) {
    const OPJ_INT32 v = c.data[i];
    if (v < 0) return Decoding::broken(broken);
    if (narrow) {
      if (v > 0xffff) return Decoding::broken(broken);
      const auto h = static_cast<std::uint16_t>(v);
      std::memcpy(out.samples.data() + 2 * i, &h, 2);
    } else {
      out.x[i] = v;
    }
  }
  out.coded = coded;
  out.made(grib2::Scale::of(s.s5), n, bitmap);
  return {Decoding::decoded};
}

}  // namespace c2m::ingest
