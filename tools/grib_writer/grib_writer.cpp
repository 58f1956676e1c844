#include "grib_writer.hpp"

#include <eccodes.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "layout/byte_order.hpp"
#include "eccodes_context.hpp"
#include "fileio/output_file.hpp"
#include "kit/file_descriptor.hpp"
#include "kit/numbers.hpp"
#include "layout/records.hpp"
#include "layout/run_description_read.hpp"
#include "layout/values.hpp"
#include "textio/errors.hpp"

namespace fs = std::filesystem;

namespace c2m::ingest {

namespace {

// The input grid file's mark of an undefined point, and the same as the
// 8-byte real that a bitmapped point is given in a message.
using layout::undefined_value;
constexpr double undefined_double = static_cast<double>(undefined_value);

struct Param {
  long id;
  const char* level_type;
  double scale;  // the case's value times this is the message's
  int layer;     // soil layer 1 .. 4, or 0
};

// ECMWF's soil layers, cm.  GRIB 1 states a depth in one octet, so the
// deepest layer ends there at 255 cm.
constexpr long layer_top_cm[5] = {0, 0, 7, 28, 100};
constexpr long layer_bottom_cm[5] = {0, 7, 28, 100, 289};
constexpr long layer_bottom_cm_grib1[5] = {0, 7, 28, 100, 255};

Param upper_param(layout::InputUpper f) {
  switch (f) {
    case layout::InputUpper::geopotential: return {129, "isobaricInhPa", 1.0, 0};
    case layout::InputUpper::rh: return {157, "isobaricInhPa", 1.0, 0};
    case layout::InputUpper::q: return {133, "isobaricInhPa", 1.0, 0};
    case layout::InputUpper::t: return {130, "isobaricInhPa", 1.0, 0};
    case layout::InputUpper::u: return {131, "isobaricInhPa", 1.0, 0};
    case layout::InputUpper::v: break;
  }
  return {132, "isobaricInhPa", 1.0, 0};
}

Param surface_param(int plane) {
  switch (plane) {
    case layout::sfc::lsm: return {172, "surface", 1.0, 0};
    case layout::sfc::msl: return {151, "meanSea", 100.0, 0};
    case layout::sfc::sp: return {134, "surface", 100.0, 0};
    case layout::sfc::orog: return {129, "surface", 1.0, 0};
    default: break;
  }
  const bool moisture = plane % 2 == 0;
  const int layer = (plane - 3) / 2;
  static constexpr long stl[5] = {0, 139, 170, 183, 236};
  return {moisture ? 38 + layer : stl[layer], "depthBelowLandLayer", 1.0, layer};
}

class Message {
 public:
  Message(GribEdition ed, const std::string& out) : out_(out) {
    h_ = codes_grib_handle_new_from_samples(eccodes(), ed == GribEdition::one ? "GRIB1" : "GRIB2");
    if (!h_) throw IoFailure(out_ + ": ecCodes has no GRIB sample to start a message from");
  }
  ~Message() { codes_handle_delete(h_); }
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;

  void set(const char* key, long v) { check(codes_set_long(h_, key, v), key); }
  void set(const char* key, double v) { check(codes_set_double(h_, key, v), key); }
  void set(const char* key, const char* v) {
    std::size_t len = std::strlen(v);
    check(codes_set_string(h_, key, v, &len), key);
  }
  void values(const std::vector<double>& v) {
    check(codes_set_double_array(h_, "values", v.data(), v.size()), "values");
  }
  std::span<const std::byte> bytes() const {
    const void* m = nullptr;
    std::size_t len = 0;
    codes_get_message(h_, &m, &len);
    return {static_cast<const std::byte*>(m), len};
  }
  void context(std::string what) { what_ = std::move(what); }

 private:
  void check(int err, const char* key) const {
    if (err != 0)
      throw IoFailure(out_ + ": " + what_ + ": ecCodes refuses " + key + " (" + eccodes_reason(err) + ")");
  }
  codes_handle* h_ = nullptr;
  std::string out_, what_;
};

// The pressure P (hPa) in Pa as SV x 10^-SF with SV whole, from the
// shortest decimal text of P, so that it reads back as the same real.
bool pascal_scaled(float p, long& sv, long& sf) {
  const std::string text = shortest_scientific(p);  // d.ddddde[+-]XX
  const auto e_at = text.find('e');
  std::string digits;
  for (std::size_t n = 0; n < e_at; ++n)
    if (text[n] != '.') digits += text[n];
  std::string_view exponent_text = std::string_view(text).substr(e_at + 1);
  if (exponent_text.starts_with('+')) exponent_text.remove_prefix(1);
  int exponent = 0;
  read_integer(exponent_text, exponent);
  // value = digits x 10^(exponent - (digits - 1)) hPa = ... x 10^(+2) Pa
  while (digits.size() > 1 && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  const long shift = exponent - static_cast<long>(digits.size() - 1) + 2;
  long long v = 0;
  read_integer(digits, v);
  for (long s = shift; s > 0; --s) v *= 10;
  sf = shift > 0 ? 0 : -shift;
  sv = static_cast<long>(v);
  return v > 0 && v <= 0xffffffffLL && sf <= 127;
}

std::string read_date(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw CannotOpen(system_reason(path, errno));
  std::string word;
  in >> word;
  if (word.size() < 10 || !std::all_of(word.begin(), word.begin() + 10, [](char c) { return c >= '0' && c <= '9'; }))
    throw IoFailure(path + ": holds \"" + word + "\", not a date YYYYMMDDHH, which a GRIB message needs");
  return word.substr(0, 10);
}

// Record N (of RECORDS) of the input grid file, open as FD, into PLANE:
// as the file holds it, rows north to south.
void read_record(int fd, const std::string& input, std::int64_t n, std::int64_t records, std::vector<float>& plane) {
  const auto bytes = static_cast<std::int64_t>(plane.size()) * 4;
  std::int64_t done = 0;
  auto* dst = reinterpret_cast<char*>(plane.data());
  while (done < bytes) {
    const ssize_t r = ::pread(fd, dst + done, static_cast<std::size_t>(bytes - done),
                              static_cast<off_t>((n - 1) * bytes + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw ReadFailure(system_reason(input, errno));
    if (r == 0)
      throw ShortFile(input + ": ends in record " + decimal(n) + " of " + decimal(records));
    done += r;
  }
  little_endian_to_host(plane);
}

// The parameter of record N of a case of the levels PRESSURES (hPa), and
// its level when it is an upper-air one.
Param record_param(std::int64_t n, const std::vector<float>& pressures, std::optional<float>& pressure) {
  const auto lm = static_cast<std::int64_t>(pressures.size());
  if (lm > 0 && n <= 6 * lm) {
    pressure = pressures[static_cast<std::size_t>((n - 1) % lm)];
    return upper_param(static_cast<layout::InputUpper>((n - 1) / lm));
  }
  return surface_param(static_cast<int>(n - 6 * lm));
}

// PLANE in the message's units (times SCALE) into VALUES, undefined points
// as the bitmap's missing value; whether there are any.
bool message_values(const std::vector<float>& plane, double scale, std::vector<double>& values) {
  bool any_undefined = false;
  for (std::size_t k = 0; k < plane.size(); ++k) {
    const float v = plane[k];
    if (v == undefined_value) {
      any_undefined = true;
      values[k] = undefined_double;
    } else {
      values[k] = static_cast<double>(v) * scale;  // exact: 24 bits times 100 fits 53
    }
  }
  return any_undefined;
}

// The level of the message: an isobaric level in whole hPa, else (GRIB 2
// only) in Pa scaled; a soil layer's depths in cm.
void set_level(Message& m, const Param& p, const std::optional<float>& pressure, GribEdition edition,
               const std::string& out, const std::string& what) {
  if (pressure) {
    const float hp = *pressure;
    if (hp == std::floor(hp) && hp >= 1.0f && hp <= 65535.0f) {
      m.set("level", static_cast<long>(hp));
    } else if (edition == GribEdition::one) {
      throw IoFailure(out + ": the level " + fixed_decimals(static_cast<double>(hp), 6) + " hPa of " + what +
                      " is not a whole number of hPa, and GRIB 1 states only those");
    } else {
      long sv = 0, sf = 0;
      if (!pascal_scaled(hp, sv, sf))
        throw IoFailure(out + ": the level " + fixed_decimals(static_cast<double>(hp), 6) + " hPa of " + what +
                        " cannot be stated");
      m.set("scaleFactorOfFirstFixedSurface", sf);
      m.set("scaledValueOfFirstFixedSurface", sv);
    }
  } else if (p.layer > 0) {
    if (edition == GribEdition::one) {
      m.set("topLevel", layer_top_cm[p.layer]);
      m.set("bottomLevel", layer_bottom_cm_grib1[p.layer]);
    } else {
      m.set("scaleFactorOfFirstFixedSurface", 2L);
      m.set("scaledValueOfFirstFixedSurface", layer_top_cm[p.layer]);
      m.set("scaleFactorOfSecondFixedSurface", 2L);
      m.set("scaledValueOfSecondFixedSurface", layer_bottom_cm[p.layer]);
    }
  }
}

// The grid of the run description: rows north to south, points west to
// east, from the north-west corner.
void set_grid(Message& m, const layout::RunGrid& grid) {
  const auto& g = grid.grid;
  const std::int64_t im = grid.im, jm = grid.jm;
  auto degrees = [](std::int64_t millideg) { return static_cast<double>(millideg) / 1000.0; };
  auto wrap = [](std::int64_t millideg) {
    std::int64_t w = millideg % 360000;
    return w < 0 ? w + 360000 : w;
  };
  m.set("Ni", static_cast<long>(im));
  m.set("Nj", static_cast<long>(jm));
  m.set("iScansNegatively", 0L);
  m.set("jScansPositively", 0L);
  m.set("latitudeOfFirstGridPointInDegrees", degrees(g[3]));
  m.set("longitudeOfFirstGridPointInDegrees", degrees(wrap(g[2])));
  m.set("latitudeOfLastGridPointInDegrees", degrees(g[1]));
  m.set("longitudeOfLastGridPointInDegrees", degrees(wrap(g[2] + (im - 1) * std::int64_t{g[5]})));
  m.set("iDirectionIncrementInDegrees", degrees(g[5]));
  m.set("jDirectionIncrementInDegrees", degrees(g[6]));
}

void set_packing(Message& m, GribPacking packing, bool any_undefined) {
  if (packing == GribPacking::ieee) {
    m.set("packingType", "grid_ieee");
    m.set("precision", 2L);
  } else {
    m.set("packingType", "grid_simple");
    m.set("bitsPerValue", 16L);
  }
  if (any_undefined) {
    m.set("bitmapPresent", 1L);
    m.set("missingValue", undefined_double);
  }
}

}  // namespace

void write_case_as_grib(const std::string& case_dir, const std::string& input_name, const std::string& out,
                        const GribWriteOptions& options) {
  const fs::path dir(case_dir);
  const layout::RunDescription d = layout::read_run_description((dir / layout::run_description_file).string());
  const std::string date = read_date((dir / layout::date_file).string());
  const std::string input = fs::path(input_name).is_absolute() ? input_name : (dir / input_name).string();
  if (d.grid.grid[0] != 0)
    throw IoFailure((dir / layout::run_description_file).string() + ": grid type " + decimal(d.grid.grid[0]) +
                    ", not 0 (regular latitude/longitude)");
  const std::int64_t points = std::int64_t{d.grid.im} * d.grid.jm;

  const FileDescriptor fd(::open(input.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.is_open()) throw CannotOpen(system_reason(input, errno));

  // Ten digits, as read_date found them.
  long date_ymd = 0, hour = 0;
  read_integer(std::string_view(date).substr(0, 8), date_ymd);
  read_integer(std::string_view(date).substr(8, 2), hour);

  OutputFile file(out);
  std::vector<float> plane(static_cast<std::size_t>(points));
  std::vector<double> values(static_cast<std::size_t>(points));
  const std::int64_t records = layout::input_record_count(static_cast<std::int64_t>(d.pressures_hpa.size()));
  for (std::int64_t n = 1; n <= records; ++n) {
    read_record(fd.get(), input, n, records, plane);
    std::optional<float> pressure;
    const Param p = record_param(n, d.pressures_hpa, pressure);
    const std::string what = "record " + decimal(n);
    const bool any_undefined = message_values(plane, p.scale, values);

    Message m(options.edition, out);
    m.context(what);
    m.set("centre", 98L);
    m.set("paramId", p.id);
    m.set("dataDate", date_ymd);
    m.set("dataTime", hour * 100);
    m.set("typeOfLevel", p.level_type);
    set_level(m, p, pressure, options.edition, out, what);
    set_grid(m, d.grid);
    set_packing(m, options.packing, any_undefined);
    m.values(values);
    file.write(m.bytes(), what);
  }
  file.commit();
}

}  // namespace c2m::ingest
