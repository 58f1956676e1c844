#include "source/grib_source.hpp"

#include <eccodes.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>
#include <tuple>
#include <utility>

#include "eccodes_context.hpp"
#include "kit/numbers.hpp"
#include "kit/workers.hpp"
#include "source/ccsds_packing.hpp"
#include "source/complex_packing.hpp"
#include "source/grib_framing.hpp"
#include "source/jpeg_packing.hpp"
#include "source/grib_header.hpp"
#include "source/grib_keys.hpp"
#include "source/simple_packing.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

using grib::get_long;
using grib::get_string;
using grib::Handle;

namespace {

// Messages framed before their headers are parsed: their heads held meanwhile.
constexpr std::size_t batch_messages = 1024;

// The modification time of an open file, in nanoseconds, and its size.
std::pair<std::int64_t, std::int64_t> size_and_mtime(const SourceFile& file) {
  struct stat st {};
  if (::fstat(file.fd(), &st) != 0) throw ReadFailure(system_reason(file.path(), errno));
  return {static_cast<std::int64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

GribSource::GribSource(SourceFile file, int index, unsigned threads, bool partial)
    : file_(std::move(file)), index_(index), threads_(std::max(1u, threads)), partial_(partial) {
  grib::context();
  std::tie(size_, mtime_ns_) = size_and_mtime(file_);
  walk();
}

GribSource::GribSource(std::string path, int index, unsigned threads, bool partial)
    : GribSource(SourceFile(std::move(path)), index, threads, partial) {}

std::string GribSource::format() const {
  if (edition1_ && edition2_) return "GRIB 1 and 2";
  return edition1_ ? "GRIB 1" : "GRIB 2";
}

void GribSource::end_at(int number, std::int64_t at, const std::exception_ptr& failure) {
  if (!partial_) std::rethrow_exception(failure);
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    end_ = IndexEnd{number, at, e.what()};
  }
}

bool GribSource::parse(std::vector<grib::MessageSpan>& batch) {
  std::vector<std::vector<FieldInfo>> found(batch.size());
  std::vector<std::exception_ptr> failures(batch.size());
  // Each message's failure is kept at its place: the first in the file's
  // order is the one thrown, whichever worker met it first.
  std::atomic<std::size_t> next{0};
  const unsigned threads = std::min<unsigned>(threads_, static_cast<unsigned>(batch.size()));
  run_on_threads(static_cast<int>(threads), [&](int) {
    grib::HeaderBuffers buffers;
    for (;;) {
      const std::size_t n = next.fetch_add(1);
      if (n >= batch.size()) return;
      try {
        found[n] = grib::parse_header(file_, index_, batch[n], buffers);
      } catch (...) {
        failures[n] = std::current_exception();
      }
      std::vector<unsigned char>().swap(batch[n].head);
    }
  });
  for (std::size_t n = 0; n < batch.size(); ++n) {
    if (failures[n]) {
      end_at(batch[n].number, batch[n].at, failures[n]);
      return false;
    }
    for (FieldInfo& f : found[n]) fields_.push_back(std::move(f));
    (batch[n].edition == 1 ? edition1_ : edition2_) = true;
    messages_ = batch[n].number;
  }
  return true;
}

void GribSource::walk() {
  // The frames of a batch of messages, in order, then their header
  // sections, parsed on every worker; a message that cannot be framed
  // comes after those before it.
  grib::Framer framer(file_);
  std::vector<grib::MessageSpan> batch;
  for (bool more = true; more;) {
    std::exception_ptr framing;
    batch.clear();
    try {
      while (batch.size() < batch_messages) {
        std::optional<grib::MessageSpan> m = framer.next();
        if (!m) {
          more = false;
          break;
        }
        batch.push_back(std::move(*m));
      }
    } catch (...) {
      framing = std::current_exception();
      more = false;
    }
    if (!batch.empty() && !parse(batch)) return;
    if (framing) {
      end_at(framer.count() + 1, framer.mark(), framing);
      return;
    }
  }
  if (messages_ == 0) grib::no_message(file_);
}

void GribSource::check_unchanged() const {
  if (size_and_mtime(file_) != std::pair{size_, mtime_ns_})
    throw IoFailure(path() + ": changed while ingest read it (its size or modification time is no longer "
                    "what it was when it was opened): its messages may no longer be those indexed");
}

void GribSource::load(const FieldInfo& f, DecodeScratch& scratch) const {
  if (scratch.held_file == index_ && scratch.held_offset == f.offset &&
      static_cast<std::int64_t>(scratch.bytes.size()) == f.length)
    return;
  scratch.held_file = -1;
  scratch.integers_held = false;
  scratch.bytes.resize(static_cast<std::size_t>(f.length));
  grib::read_exact(file_, scratch.bytes.data(), f.length, f.offset);
  // The message indexed, still: its head as it was (and so its length),
  // and its end mark.
  const unsigned char* b = scratch.bytes.data();
  if ((f.digest != 0 && grib::head_digest(b, f.length) != f.digest) || f.length < 4 ||
      std::memcmp(b + f.length - 4, "7777", 4) != 0)
    throw IoFailure(grib::message_where(file_, f.message, f.offset) + ": is no longer the message indexed there (" +
                    f.short_name + ", " + f.level_words() + ", " + f.valid.words() +
                    "): the file changed while ingest read it");
  scratch.held_file = index_;
  scratch.held_offset = f.offset;
}

namespace {

// F in a diagnostic: its file, message (and field) and what it holds.
std::string field_where(const std::string& path, const FieldInfo& f) {
  return path + ": message " + decimal(f.message) + (f.subfield > 0 ? " field " + decimal(f.subfield) : std::string()) +
         " (" + f.short_name + ", " + f.level_words() + ")";
}

// The integers of F, of the bytes SCRATCH holds, decoded once, when it is
// packed in complex packing, CCSDS or JPEG 2000; nullptr for a message of
// another packing (or one those decoders leave to ecCodes).  IoFailure
// naming it (PATH its file) when its packing does not add up.
const PackedIntegers* integers_of(const std::string& path, const FieldInfo& f, DecodeScratch& scratch) {
  if (scratch.integers_held) return scratch.integers.get();
  if (!scratch.integers) scratch.integers = std::make_shared<PackedIntegers>();
  for (auto* decoder : {decode_complex_integers, decode_ccsds_integers, decode_jpeg_integers}) {
    const Decoding d = decoder(scratch.bytes, f.points, *scratch.integers);
    if (d.kind == Decoding::corrupt) throw IoFailure(field_where(path, f) + ": " + d.why + ": it is corrupt");
    if (d.kind == Decoding::decoded) {
      scratch.integers_held = true;
      return scratch.integers.get();
    }
  }
  return nullptr;
}

}  // namespace

bool GribSource::read_range(const FieldInfo& f, DecodeScratch& scratch, std::int64_t first,
                            std::span<double> out) const {
  if (f.subfield != 0 || f.edition != 2 || f.points < 1 || f.points > max_plane_points) return false;
  load(f, scratch);
  if (decode_simple_packing_range(scratch.bytes, f.points, first, undefined_double, out)) return true;
  const PackedIntegers* ints = integers_of(path(), f, scratch);
  if (!ints || !ints->finite || first < 0 || static_cast<std::uint64_t>(first) + out.size() > ints->points)
    return false;
  packed_values_range(*ints, static_cast<std::uint64_t>(first), undefined_double, out);
  return true;
}

namespace {

// The handle of F from its message's bytes: the message's own, or that of
// its field among several (the multi-field reader's lock held).
Handle handle_of(const FieldInfo& f, std::vector<unsigned char>& bytes) {
  if (f.subfield == 0) return grib::handle_from(bytes.data(), bytes.size(), false);
  Handle h;
  void* data = bytes.data();
  std::size_t left = bytes.size();
  int err = 0;
  for (int k = 1; k <= f.subfield; ++k) {
    h = grib::next_field_handle(&data, &left, &err);
    if (!h.h) break;
  }
  // The rest of the message read too, so that the reader starts afresh
  // with the next one.
  for (int more = 0; h.h && more < 1000; ++more) {
    Handle rest = grib::next_field_handle(&data, &left, &err);
    if (!rest.h) break;
  }
  return h;
}

// What the header of F claims must fit the message before room is made for
// the values: a bitmap of a bit a point, packed values of so many bits.
void check_claims(codes_handle* h, const FieldInfo& f, const std::string& where) {
  const std::int64_t bits_held = f.length * 8;
  if (get_long(h, "bitmapPresent").value_or(0) != 0 && f.points > bits_held)
    throw IoFailure(where + ": claims a bitmap of " + decimal(f.points) + " points, which its " +
                    decimal(f.length) + " bytes cannot hold: it is corrupt");
  const std::string packing = get_string(h, "packingType");
  if (packing == "grid_simple" || packing == "grid_ieee") {
    // IEEE packing states its precision instead: 1, 2, 3 for 32, 64, 128 bits.
    const long bits = packing == "grid_ieee" ? 16L << std::clamp(get_long(h, "precision").value_or(1), 1L, 3L)
                                             : get_long(h, "bitsPerValue").value_or(0);
    const long coded = get_long(h, "numberOfCodedValues").value_or(0);
    if (bits > 0 && coded > 0 && coded > bits_held / bits)
      throw IoFailure(where + ": claims " + decimal(coded) + " values of " + decimal(bits) + " bits, which its " +
                      decimal(f.length) + " bytes cannot hold: it is corrupt");
  }
}

// Values that are not numbers (from a reference value or scale that is
// NaN or infinite) made undefined points, never data; how many.
std::int64_t undefined_where_not_finite(std::vector<double>& values) {
  std::int64_t n = 0;
  for (double& v : values)
    if (!std::isfinite(v)) {
      v = undefined_double;
      ++n;
    }
  return n;
}

// The values of H decoded by ecCodes, undefined points as the case's mark.
void decode(codes_handle* h, const FieldInfo& f, const std::string& where, std::vector<double>& values) {
  int err = codes_set_double(h, "missingValue", undefined_double);
  std::size_t n = 0;
  if (err == 0) err = codes_get_size(h, "values", &n);
  if (err != 0) throw IoFailure(where + ": its values cannot be decoded (" + eccodes_reason(err) + ")");
  if (static_cast<std::int64_t>(n) != f.points)
    throw IoFailure(where + ": holds " + decimal(n) + " values where its grid has " +
                    decimal(f.points) + " points: it is corrupt");
  values.resize(n);
  err = codes_get_double_array(h, "values", values.data(), &n);
  if (err != 0) throw IoFailure(where + ": its values cannot be decoded (" + eccodes_reason(err) + ")");
  if (static_cast<std::int64_t>(n) != f.points)
    throw IoFailure(where + ": yields " + decimal(n) + " values where its grid has " +
                    decimal(f.points) + " points: it is corrupt");
}

}  // namespace

void GribSource::read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const {
  const std::string where = field_where(path(), f);
  if (f.points < 1 || f.points > max_plane_points)
    throw SizeFailure(where + ": claims " + decimal(f.points) + " values, more than the limit of " +
                      decimal(max_plane_points) + " a plane");
  load(f, scratch);
  // The usual packings of a message of one field (simple, complex, CCSDS
  // and JPEG 2000) decoded here from its bytes (the same values as ecCodes
  // gives, without a handle); ecCodes reads every other kind.
  if (f.subfield == 0 && f.edition == 2) {
    const PackedIntegers* ints = nullptr;
    if (decode_simple_packing(scratch.bytes, f.points, undefined_double, values) ||
        (ints = integers_of(path(), f, scratch)) != nullptr) {
      if (ints) packed_values(*ints, undefined_double, values);
      scratch.non_finite += undefined_where_not_finite(values);
      return;
    }
  }
  scratch.held_file = -1;  // the bytes are ecCodes' to read now
  std::unique_lock<std::mutex> lock(grib::multi_field_mutex(), std::defer_lock);
  if (f.subfield != 0) lock.lock();
  const Handle h = handle_of(f, scratch.bytes);
  if (!h.h) throw IoFailure(where + ": cannot be read (" + eccodes_reason(GRIB_DECODING_ERROR) + ")");
  check_claims(h.h, f, where);
  decode(h.h, f, where, values);
  scratch.non_finite += undefined_where_not_finite(values);
}

}  // namespace c2m::ingest
