#include "source/grib_source.hpp"

#include <eccodes.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <thread>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "eccodes_context.hpp"
#include "source/param_memo.hpp"
#include "source/simple_packing.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

// Header sections are read in one piece of at most this many bytes; a
// message whose headers need more is read whole (up to the larger limit).
// GRIB 2 is read first in a shorter piece, then to its section 5.
constexpr std::int64_t header_bytes = 64 * 1024;
constexpr std::int64_t header_bytes_max = 64 * 1024 * 1024;
constexpr std::int64_t grib2_header_bytes = 4 * 1024;

std::string decimal(long long v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

codes_context* context() { return eccodes(); }

// The multi-field reader of ecCodes keeps its place in shared state.
std::mutex& multi_field_mutex() {
  static std::mutex m;
  return m;
}

void multi_field_support() {
  static std::once_flag once;
  std::call_once(once, [] { codes_grib_multi_support_on(context()); });
}

struct Handle {
  codes_handle* h = nullptr;
  Handle() = default;
  explicit Handle(codes_handle* p) : h(p) {}
  ~Handle() {
    if (h) codes_handle_delete(h);
  }
  Handle(Handle&& o) noexcept : h(o.h) { o.h = nullptr; }
  Handle& operator=(Handle&& o) noexcept {
    std::swap(h, o.h);
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

bool defined(codes_handle* h, const char* key) { return codes_is_defined(h, key) != 0; }

std::optional<long> get_long(codes_handle* h, const char* key) {
  if (!defined(h, key)) return std::nullopt;
  int err = 0;
  if (codes_is_missing(h, key, &err) == 1 && err == 0) return std::nullopt;
  long v = 0;
  if (codes_get_long(h, key, &v) != 0) return std::nullopt;
  return v;
}

std::optional<double> get_double(codes_handle* h, const char* key) {
  if (!defined(h, key)) return std::nullopt;
  int err = 0;
  if (codes_is_missing(h, key, &err) == 1 && err == 0) return std::nullopt;
  double v = 0;
  if (codes_get_double(h, key, &v) != 0) return std::nullopt;
  return v;
}

std::string get_string(codes_handle* h, const char* key) {
  if (!defined(h, key)) return "";
  char buf[256];
  std::size_t len = sizeof buf;
  if (codes_get_string(h, key, buf, &len) != 0) return "";
  return std::string(buf, ::strnlen(buf, std::min(len, sizeof buf)));
}

// SV x 10^-(SF + SHIFT) as a 4-byte real, through its decimal text so
// that 85000 Pa is exactly 850 hPa and 79432.82 Pa exactly 794.3282.
std::optional<float> scaled_real(long sv, long sf, int shift) {
  const std::string text = decimal(sv) + "e" + decimal(-(sf + shift));
  float v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || !(v > 0.0f) || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<double> scaled_depth(codes_handle* h, const char* value_key, const char* factor_key) {
  const auto sv = get_long(h, value_key);
  if (!sv) return std::nullopt;
  const long sf = get_long(h, factor_key).value_or(0);
  if (sf < -20 || sf > 20) return std::nullopt;
  return static_cast<double>(*sv) * std::pow(10.0, -static_cast<double>(sf));
}

// The level of a message: the pressure of an isobaric one, the depths of
// a layer (or level) below the land surface.
void read_level(codes_handle* h, FieldInfo& f) {
  if (f.level_type == "isobaricInhPa" || f.level_type == "isobaricInPa") {
    if (f.edition == 2) {
      const auto sv = get_long(h, "scaledValueOfFirstFixedSurface");
      const long sf = get_long(h, "scaleFactorOfFirstFixedSurface").value_or(0);
      if (sv && sf >= -20 && sf <= 20) f.pressure_hpa = scaled_real(*sv, sf, 2);
    } else if (const auto level = get_long(h, "level")) {
      f.pressure_hpa = scaled_real(*level, 0, f.level_type == "isobaricInPa" ? 2 : 0);
    }
    return;
  }
  if (f.level_type == "depthBelowLandLayer" || f.level_type == "depthBelowLand") {
    if (f.edition == 2) {
      f.depth_top_m = scaled_depth(h, "scaledValueOfFirstFixedSurface", "scaleFactorOfFirstFixedSurface");
      f.depth_bottom_m = scaled_depth(h, "scaledValueOfSecondFixedSurface", "scaleFactorOfSecondFixedSurface");
      if (!f.depth_bottom_m) f.depth_bottom_m = f.depth_top_m;
    } else if (f.level_type == "depthBelowLandLayer") {
      // Edition 1 states the layer's top and bottom in centimetres.
      if (const auto top = get_long(h, "topLevel")) f.depth_top_m = static_cast<double>(*top) / 100.0;
      if (const auto bottom = get_long(h, "bottomLevel"))
        f.depth_bottom_m = static_cast<double>(*bottom) / 100.0;
    } else if (const auto level = get_long(h, "level")) {
      f.depth_top_m = f.depth_bottom_m = static_cast<double>(*level) / 100.0;
    }
  }
}

void read_grid(codes_handle* h, FieldInfo& f) {
  GridInfo& g = f.grid;
  g.type = get_string(h, "gridType");
  f.points = get_long(h, "numberOfDataPoints").value_or(0);
  if (g.type != "regular_ll") return;
  g.ni = get_long(h, "Ni").value_or(0);
  g.nj = get_long(h, "Nj").value_or(0);
  g.lat_first = get_double(h, "latitudeOfFirstGridPointInDegrees").value_or(0);
  g.lon_first = get_double(h, "longitudeOfFirstGridPointInDegrees").value_or(0);
  g.lat_last = get_double(h, "latitudeOfLastGridPointInDegrees").value_or(0);
  g.lon_last = get_double(h, "longitudeOfLastGridPointInDegrees").value_or(0);
  g.di = get_double(h, "iDirectionIncrementInDegrees");
  g.dj = get_double(h, "jDirectionIncrementInDegrees");
  g.i_negative = get_long(h, "iScansNegatively").value_or(0) != 0;
  g.j_positive = get_long(h, "jScansPositively").value_or(0) != 0;
  g.j_consecutive = get_long(h, "jPointsAreConsecutive").value_or(0) != 0;
  g.alternating = get_long(h, "alternativeRowScanning").value_or(0) != 0;
}

std::string run_words(codes_handle* h) {
  const long date = get_long(h, "dataDate").value_or(0);
  const long time = get_long(h, "dataTime").value_or(0);
  ValidTime run{date, static_cast<int>(time)};
  std::string w = "run " + run.words();
  const std::string step = get_string(h, "stepRange");
  if (!step.empty()) {
    w += " + " + step;
    const std::string units = get_string(h, "stepUnits");
    if (!units.empty()) w += " " + units;
  }
  return w;
}

std::uint64_t big_endian(const unsigned char* p, int n) {
  std::uint64_t v = 0;
  for (int k = 0; k < n; ++k) v = (v << 8) | p[k];
  return v;
}

// The unit of a forecast time: ecCodes divides by the unit's length in
// seconds when it works out the validity time, and for a code no table
// knows that length is 0 (ecCodes 2.28 dies of the division, in
// grib_g1_step_get_steps).  WMO's GRIB 1 table 4 and GRIB 2 table 4.4.
bool known_time_unit(int edition, int unit) {
  if (unit >= 0 && unit <= 7) return true;
  if (unit >= 10 && unit <= 13) return true;
  return edition == 1 ? unit == 254 : unit == 255;
}

// GRIB 2 product templates whose octet 18 is the unit of the forecast
// time: the analyses and forecasts at a point in time or over an interval,
// of single members, ensembles, derived fields, probabilities, percentiles.
bool unit_at_octet_18(int product_template) {
  return (product_template >= 0 && product_template <= 15) || (product_template >= 40 && product_template <= 48) ||
         (product_template >= 50 && product_template <= 60);
}

}  // namespace

GribSource::GribSource(std::string path, int index, unsigned threads)
    : path_(std::move(path)), index_(index), threads_(std::max(1u, threads)) {
  context();
  fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw CannotOpen(system_reason(path_, errno));
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int err = errno;
    ::close(fd_);
    throw CannotOpen(system_reason(path_, err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd_);
    throw CannotOpen(path_ + ": not a regular file");
  }
  size_ = static_cast<std::int64_t>(st.st_size);
  try {
    walk();
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

GribSource::~GribSource() {
  if (fd_ >= 0) ::close(fd_);
}

std::string GribSource::format() const {
  if (edition1_ && edition2_) return "GRIB 1 and 2";
  return edition1_ ? "GRIB 1" : "GRIB 2";
}

namespace {

// Reads N bytes at OFFSET whole.
void read_exact(int fd, const std::string& path, unsigned char* dst, std::int64_t n,
                std::int64_t offset) {
  std::int64_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(fd, dst + done, static_cast<std::size_t>(n - done),
                              static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      throw ReadFailure(system_reason(path, errno));
    }
    if (r == 0) throw ShortFile(path + ": ends at byte " + decimal(offset + done) + " while reading");
    done += r;
  }
}

}  // namespace

namespace {

// A message found in the file: where it starts and how long it is.
struct Span {
  int number = 0;
  std::int64_t at = 0, total = 0;
  int edition = 0;
};

// The short name of a parameter is the same in every message of it, and
// working it out costs as much as the parameter itself: it is worked out
// once per paramId, and not at all for the parameters a case is made of,
// whose names (ecCodes' own) are known here.
std::string short_name_of(codes_handle* h, long param_id) {
  static std::mutex m;
  static std::map<long, std::string> known = {
      {129, "z"},       {156, "gh"},        {133, "q"},      {157, "r"},      {130, "t"},
      {131, "u"},       {132, "v"},         {172, "lsm"},    {151, "msl"},    {260074, "prmsl"},
      {260317, "mslet"}, {134, "sp"},       {228002, "orog"}, {139, "stl1"},  {170, "stl2"},
      {183, "stl3"},    {236, "stl4"},      {39, "swvl1"},   {40, "swvl2"},   {41, "swvl3"},
      {42, "swvl4"},    {228139, "st"},     {260185, "soilw"}, {228039, "sm"}};
  {
    std::lock_guard<std::mutex> lock(m);
    if (auto it = known.find(param_id); it != known.end()) return it->second;
  }
  std::string name = get_string(h, "shortName");
  std::lock_guard<std::mutex> lock(m);
  known.emplace(param_id, name);
  return name;
}

}  // namespace

void GribSource::walk() {
  // First the frame of every message, in order: its mark, its length
  // against the file, its end mark.
  std::vector<Span> spans;
  std::vector<unsigned char> buf;
  std::int64_t off = 0;
  for (;;) {
    // The next "GRIB" mark at or after OFF.
    std::int64_t at = -1;
    if (off + 4 <= size_) {
      unsigned char first[4];
      read_exact(fd_, path_, first, 4, off);
      if (std::memcmp(first, "GRIB", 4) == 0) at = off;
    }
    while (at < 0 && off + 4 <= size_) {
      const std::int64_t n = std::min<std::int64_t>(header_bytes, size_ - off);
      buf.resize(static_cast<std::size_t>(n));
      read_exact(fd_, path_, buf.data(), n, off);
      const unsigned char mark[4] = {'G', 'R', 'I', 'B'};
      const auto it = std::search(buf.begin(), buf.end(), mark, mark + 4);
      if (it != buf.end()) {
        at = off + (it - buf.begin());
        break;
      }
      off += n - 3;
    }
    if (at < 0) break;
    const int number = static_cast<int>(spans.size()) + 1;
    const std::string where = path_ + ": message " + decimal(number) + " (at byte " + decimal(at) + ")";
    auto corrupt = [&](const std::string& why) { return IoFailure(where + ": " + why); };
    auto truncated = [&](std::int64_t claimed) {
      return ShortFile(where + ": the message claims " + decimal(claimed) + " bytes, but the file ends " +
                       decimal(size_ - at) + " bytes into it: it is truncated");
    };
    if (at + 16 > size_)
      throw ShortFile(where + ": the file ends " + decimal(size_ - at) +
                      " bytes into the message: it is truncated");
    unsigned char head[16];
    read_exact(fd_, path_, head, 16, at);
    const int edition = head[7];
    if (edition != 1 && edition != 2)
      throw corrupt("GRIB edition " + decimal(edition) + ", not 1 or 2: the message is corrupt");
    std::int64_t total = 0;
    if (edition == 2) {
      const std::uint64_t stated = big_endian(head + 8, 8);
      if (stated > static_cast<std::uint64_t>(size_ - at)) {
        if (stated < (std::uint64_t{1} << 62)) throw truncated(static_cast<std::int64_t>(stated));
        throw corrupt("the message claims a length of " + std::to_string(stated) + " bytes");
      }
      total = static_cast<std::int64_t>(stated);
    } else {
      total = static_cast<std::int64_t>(big_endian(head + 4, 3));
      if (total & 0x800000) {
        // A large edition 1 message states its length in another way,
        // which ecCodes works out from its sections.
        const std::int64_t n = std::min(header_bytes_max, size_ - at);
        buf.resize(static_cast<std::size_t>(n));
        read_exact(fd_, path_, buf.data(), n, at);
        Handle h(codes_handle_new_from_partial_message(context(), buf.data(), static_cast<std::size_t>(n)));
        if (!h.h) throw corrupt("its header sections cannot be read (" + eccodes_reason(GRIB_DECODING_ERROR) + ")");
        total = get_long(h.h, "totalLength").value_or(0);
      }
      if (total > size_ - at) throw truncated(total);
    }
    if (total < 16 + 4) throw corrupt("the message claims a length of " + decimal(total) + " bytes");
    unsigned char tail[4];
    read_exact(fd_, path_, tail, 4, at + total - 4);
    if (std::memcmp(tail, "7777", 4) != 0)
      throw corrupt("the message of " + decimal(total) + " bytes does not end with 7777: it is corrupt or truncated");
    spans.push_back({number, at, total, edition});
    off = at + total;
  }
  messages_ = static_cast<int>(spans.size());
  if (messages_ == 0)
    throw IoFailure(path_ + ": neither GRIB nor netCDF: no GRIB message in its " + decimal(size_) +
                    " bytes, and no netCDF mark (CDF, or HDF5's) at its start");

  // Then the header sections of each, parsed on every worker.
  std::vector<std::vector<FieldInfo>> found(spans.size());
  std::vector<std::exception_ptr> failures(spans.size());
  std::atomic<std::size_t> next{0};
  auto parse_some = [&] {
    std::vector<unsigned char> header, whole;
    for (;;) {
      const std::size_t n = next.fetch_add(1);
      if (n >= spans.size()) return;
      try {
        found[n] = parse(spans[n].number, spans[n].at, spans[n].total, spans[n].edition, header, whole);
      } catch (...) {
        failures[n] = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  const unsigned threads = std::min<unsigned>(threads_, static_cast<unsigned>(spans.size()));
  try {
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(parse_some);
  } catch (const std::system_error&) {
    // Fewer threads than asked for: the ones there are do the work.
  }
  parse_some();
  for (auto& th : pool) th.join();
  for (std::size_t n = 0; n < spans.size(); ++n) {
    if (failures[n]) std::rethrow_exception(failures[n]);
    for (FieldInfo& f : found[n]) fields_.push_back(std::move(f));
    (spans[n].edition == 1 ? edition1_ : edition2_) = true;
  }
}

std::vector<FieldInfo> GribSource::parse(int number, std::int64_t at, std::int64_t total, int edition,
                                         std::vector<unsigned char>& header,
                                         std::vector<unsigned char>& whole) const {
  const std::string where = path_ + ": message " + decimal(number) + " (at byte " + decimal(at) + ")";
  auto corrupt = [&](const std::string& why) { return IoFailure(where + ": " + why); };
  // GRIB 2 states the grid and the product in a few hundred bytes: the
  // first read is short, and made longer below when they need more.
  std::int64_t got = std::min(edition == 2 ? grib2_header_bytes : header_bytes, total);
  header.resize(static_cast<std::size_t>(got));
  read_exact(fd_, path_, header.data(), got, at);

  // The fields: GRIB 2 sections, walked by their lengths, tell how many.
  int fields = 1;
  std::int64_t section5 = 0;  // where the first section 5 starts
  if (edition == 2) {
    fields = 0;
    std::int64_t pos = at + 16;
    const std::int64_t end = at + total - 4;
    // N bytes at FROM: from the bytes already read where they reach, else
    // from the file.
    auto bytes_at = [&](unsigned char* dst, std::int64_t from, std::int64_t n) {
      if (from + n <= at + got)
        std::memcpy(dst, header.data() + (from - at), static_cast<std::size_t>(n));
      else
        read_exact(fd_, path_, dst, n, from);
    };
    std::int64_t grid_points = -1;  // of the latest section 3
    while (pos < end) {
      unsigned char sec[5];
      if (pos + 5 > end) throw corrupt("a section header runs into the end mark");
      bytes_at(sec, pos, 5);
      const auto len = static_cast<std::int64_t>(big_endian(sec, 4));
      const int num = sec[4];
      if (num < 1 || num > 7 || len < 5 || len > end - pos)
        throw corrupt("section " + decimal(num) + " at byte " + decimal(pos) + " claims " + decimal(len) +
                      " bytes, beyond the message's end: it is corrupt");
      // A bitmap has a bit for every point of the grid: one shorter than
      // that would have the decoder read past it into the data.
      if (num == 3 && len >= 10) {
        unsigned char n[4];
        bytes_at(n, pos + 6, 4);
        grid_points = static_cast<std::int64_t>(big_endian(n, 4));
        if (grid_points > max_plane_points)
          throw SizeFailure(where + ": claims a grid of " + decimal(grid_points) + " points, more than the limit of " +
                            decimal(max_plane_points) + " a plane");
      }
      if (num == 6 && len >= 6) {
        unsigned char indicator = 0;
        bytes_at(&indicator, pos + 5, 1);
        if (indicator == 0 && grid_points >= 0 && (len - 6) * 8 < grid_points)
          throw corrupt("its bitmap (section 6 at byte " + decimal(pos) + ") holds " + decimal((len - 6) * 8) +
                        " bits where its grid has " + decimal(grid_points) + " points: it is corrupt");
      }
      if (num == 4 && len >= 18) {
        unsigned char p[11];
        bytes_at(p, pos + 7, 11);
        const int product_template = static_cast<int>(big_endian(p, 2));
        if (unit_at_octet_18(product_template) && !known_time_unit(2, p[10]))
          throw corrupt("the unit of its forecast time (" + decimal(p[10]) +
                        ", section 4) is none of WMO's code table 4.4: it is corrupt");
      }
      if (num == 7) ++fields;
      if (num == 5 && section5 == 0) section5 = pos;
      pos += len;
    }
    if (fields == 0) throw corrupt("the message holds no data section");
    if (fields == 1 && section5 > at + got && section5 - at <= header_bytes_max) {
      got = section5 - at;
      header.resize(static_cast<std::size_t>(got));
      read_exact(fd_, path_, header.data(), got, at);
    }
  }

  // Edition 1 states the unit of its forecast time in octet 18 of its
  // product section, which starts at byte 8.
  if (edition == 1 && got >= 8 + 18 && !known_time_unit(1, header[8 + 17]))
    throw corrupt("the unit of its forecast time (" + decimal(header[8 + 17]) +
                  ", product section octet 18) is none of WMO's code table 4: it is corrupt");

  // The header sections parsed: of a GRIB 2 message of one field, only
  // sections 0 to 4 (the grid and the product), which is all a field's
  // description needs; else, or when that fails, as much as was read, and
  // more if that is not enough.
  Handle h;
  for (bool first = true;; first = false) {
    const std::int64_t use = first && fields == 1 && section5 > at && section5 <= at + got ? section5 - at : got;
    h = Handle(codes_handle_new_from_partial_message(context(), header.data(), static_cast<std::size_t>(use)));
    if (h.h || (!first && got >= std::min(total, header_bytes_max))) break;
    if (got >= std::min(total, header_bytes_max)) continue;
    got = std::min(total, header_bytes_max);
    header.resize(static_cast<std::size_t>(got));
    read_exact(fd_, path_, header.data(), got, at);
  }
  if (!h.h) throw corrupt("its header sections cannot be read (" + eccodes_reason(GRIB_DECODING_ERROR) + ")");

  // Edition 1 tells the kind of grid only with the data section (which
  // says whether the values are grid points or spectral coefficients):
  // such a message is parsed whole.
  if (edition == 1 && get_string(h.h, "gridType").empty()) {
    whole.resize(static_cast<std::size_t>(total));
    read_exact(fd_, path_, whole.data(), total, at);
    h = Handle(codes_handle_new_from_message(context(), whole.data(), whole.size()));
    if (!h.h) throw corrupt("it cannot be read (" + eccodes_reason(GRIB_DECODING_ERROR) + ")");
  }

  std::vector<FieldInfo> out;
  auto describe = [&](codes_handle* fh, int subfield) {
    FieldInfo f;
    f.file = index_;
    f.message = number;
    f.subfield = subfield;
    f.edition = edition;
    f.offset = at;
    f.length = total;
    f.centre = get_long(fh, "centre").value_or(0);
    f.centre_name = get_string(fh, "centre");
    // A field alone in its message, its sections 0 to 4 read: its
    // parameter may be known from an earlier message of its definition.
    if (subfield == 0 && edition == 2 && section5 > at && section5 <= at + got)
      f.param_id = param_id_of(fh, std::span(header.data(), static_cast<std::size_t>(section5 - at))).value_or(0);
    else
      f.param_id = get_long(fh, "paramId").value_or(0);
    f.short_name = short_name_of(fh, f.param_id);
    f.level_type = get_string(fh, "typeOfLevel");
    read_level(fh, f);
    f.valid.date = get_long(fh, "validityDate").value_or(0);
    f.valid.hhmm = static_cast<int>(get_long(fh, "validityTime").value_or(0));
    f.member = get_long(fh, "number").value_or(0);
    f.run = run_words(fh);
    read_grid(fh, f);
    out.push_back(std::move(f));
  };
  if (fields == 1) {
    describe(h.h, 0);
    return out;
  }
  // Several fields in one message: each gets a handle of its own.
  multi_field_support();
  whole.resize(static_cast<std::size_t>(total));
  read_exact(fd_, path_, whole.data(), total, at);
  std::lock_guard<std::mutex> lock(multi_field_mutex());
  void* data = whole.data();
  std::size_t left = whole.size();
  int err = 0;
  int k = 0;
  for (;;) {
    Handle fh(codes_grib_handle_new_from_multi_message(context(), &data, &left, &err));
    if (!fh.h) break;
    describe(fh.h, ++k);
  }
  if (err != 0 || k != fields)
    throw corrupt("its " + decimal(fields) + " fields cannot all be read (" + eccodes_reason(err) + ")");
  return out;
}

void GribSource::load(const FieldInfo& f, DecodeScratch& scratch) const {
  if (scratch.held_file == index_ && scratch.held_offset == f.offset &&
      static_cast<std::int64_t>(scratch.bytes.size()) == f.length)
    return;
  scratch.held_file = -1;
  scratch.bytes.resize(static_cast<std::size_t>(f.length));
  read_exact(fd_, path_, scratch.bytes.data(), f.length, f.offset);
  scratch.held_file = index_;
  scratch.held_offset = f.offset;
}

bool GribSource::read_range(const FieldInfo& f, DecodeScratch& scratch, std::int64_t first,
                            std::span<double> out) const {
  if (f.subfield != 0 || f.edition != 2 || f.points < 1 || f.points > max_plane_points) return false;
  load(f, scratch);
  return decode_simple_packing_range(scratch.bytes, f.points, first, out);
}

void GribSource::read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const {
  const std::string where = path_ + ": message " + decimal(f.message) +
                            (f.subfield > 0 ? " field " + decimal(f.subfield) : std::string()) +
                            " (" + f.short_name + ", " + f.level_words() + ")";
  if (f.points < 1 || f.points > max_plane_points)
    throw SizeFailure(where + ": claims " + decimal(f.points) + " values, more than the limit of " +
                      decimal(max_plane_points) + " a plane");
  load(f, scratch);
  // The usual packing of a message of one field, decoded here from its
  // bytes (the same values as ecCodes gives, without a handle); ecCodes
  // reads every other kind.
  if (f.subfield == 0 && f.edition == 2 &&
      decode_simple_packing(scratch.bytes, f.points, undefined_double, values))
    return;
  scratch.held_file = -1;  // the bytes are ecCodes' to read now
  Handle h;
  std::unique_lock<std::mutex> lock(multi_field_mutex(), std::defer_lock);
  if (f.subfield == 0) {
    h = Handle(codes_handle_new_from_message(context(), scratch.bytes.data(), scratch.bytes.size()));
  } else {
    lock.lock();
    void* data = scratch.bytes.data();
    std::size_t left = scratch.bytes.size();
    int err = 0;
    for (int k = 1; k <= f.subfield; ++k) {
      h = Handle(codes_grib_handle_new_from_multi_message(context(), &data, &left, &err));
      if (!h.h) break;
    }
    // The rest of the message read too, so that the reader starts afresh
    // with the next one.
    for (int more = 0; h.h && more < 1000; ++more) {
      Handle rest(codes_grib_handle_new_from_multi_message(context(), &data, &left, &err));
      if (!rest.h) break;
    }
  }
  if (!h.h) throw IoFailure(where + ": cannot be read (" + eccodes_reason(GRIB_DECODING_ERROR) + ")");
  // What the header claims must fit the message before room is made for
  // the values: a bitmap of a bit a point, packed values of so many bits.
  const std::int64_t bits_held = f.length * 8;
  if (get_long(h.h, "bitmapPresent").value_or(0) != 0 && f.points > bits_held)
    throw IoFailure(where + ": claims a bitmap of " + decimal(f.points) + " points, which its " +
                    decimal(f.length) + " bytes cannot hold: it is corrupt");
  const std::string packing = get_string(h.h, "packingType");
  if (packing == "grid_simple" || packing == "grid_ieee") {
    // IEEE packing states its precision instead: 1, 2, 3 for 32, 64, 128 bits.
    const long bits = packing == "grid_ieee" ? 16L << std::clamp(get_long(h.h, "precision").value_or(1), 1L, 3L)
                                             : get_long(h.h, "bitsPerValue").value_or(0);
    const long coded = get_long(h.h, "numberOfCodedValues").value_or(0);
    if (bits > 0 && coded > 0 && coded > bits_held / bits)
      throw IoFailure(where + ": claims " + decimal(coded) + " values of " + decimal(bits) + " bits, which its " +
                      decimal(f.length) + " bytes cannot hold: it is corrupt");
  }
  int err = codes_set_double(h.h, "missingValue", undefined_double);
  std::size_t n = 0;
  if (err == 0) err = codes_get_size(h.h, "values", &n);
  if (err != 0) throw IoFailure(where + ": its values cannot be decoded (" + eccodes_reason(err) + ")");
  if (static_cast<std::int64_t>(n) != f.points)
    throw IoFailure(where + ": holds " + decimal(static_cast<long long>(n)) + " values where its grid has " +
                    decimal(f.points) + " points: it is corrupt");
  values.resize(n);
  err = codes_get_double_array(h.h, "values", values.data(), &n);
  if (err != 0) throw IoFailure(where + ": its values cannot be decoded (" + eccodes_reason(err) + ")");
  if (static_cast<std::int64_t>(n) != f.points)
    throw IoFailure(where + ": yields " + decimal(static_cast<long long>(n)) + " values where its grid has " +
                    decimal(f.points) + " points: it is corrupt");
}

}  // namespace c2m::ingest
