#include "grib_files.hpp"

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include "grib_writer.hpp"
#include "synth.hpp"

namespace ingesttest {

namespace {

void check(int err, const char* what) {
  if (err != 0) throw std::runtime_error(std::string(what) + ": " + codes_get_error_message(err));
}

constexpr double undefined = static_cast<double>(9.999e20f);

}  // namespace

void make_case(const std::string& dir, int im, int jm, double lat0, double lon0, double res, int lm,
               const std::string& date) {
  synth::CaseSettings s;
  s.grid.im = im;
  s.grid.jm = jm;
  s.grid.lat_first = static_cast<std::int32_t>(lat0 * 1000);
  s.grid.lon_first = static_cast<std::int32_t>(lon0 * 1000);
  s.grid.di = s.grid.dj = static_cast<std::int32_t>(res * 1000);
  s.pressures = synth::standard_pressures(lm);
  s.date = date;
  synth::write_case(dir, s);
}

std::string case_as_grib(const std::string& dir, bool grib1, bool simple16) {
  c2m::ingest::GribWriteOptions o;
  o.edition = grib1 ? c2m::ingest::GribEdition::one : c2m::ingest::GribEdition::two;
  o.packing = simple16 ? c2m::ingest::GribPacking::simple16 : c2m::ingest::GribPacking::ieee;
  const std::string out = dir + "/case.grib";
  c2m::ingest::write_case_as_grib(dir, "case.bin", out, o);
  return testsupport::read_file(out);
}

long Message::get_long(const char* key) const {
  long v = 0;
  check(codes_get_long(h_, key, &v), key);
  return v;
}

double Message::get_double(const char* key) const {
  double v = 0;
  check(codes_get_double(h_, key, &v), key);
  return v;
}

std::string Message::get_string(const char* key) const {
  char buf[256];
  std::size_t len = sizeof buf;
  check(codes_get_string(h_, key, buf, &len), key);
  return buf;
}

std::vector<double> Message::values() const {
  check(codes_set_double(h_, "missingValue", undefined), "missingValue");
  std::size_t n = 0;
  check(codes_get_size(h_, "values", &n), "values");
  std::vector<double> v(n);
  check(codes_get_double_array(h_, "values", v.data(), &n), "values");
  return v;
}

void Message::set(const char* key, long v) { check(codes_set_long(h_, key, v), key); }
void Message::set(const char* key, double v) { check(codes_set_double(h_, key, v), key); }
void Message::set(const char* key, const std::string& v) {
  std::size_t len = v.size();
  check(codes_set_string(h_, key, v.c_str(), &len), key);
}

void Message::set_values(const std::vector<double>& v) {
  check(codes_set_double(h_, "missingValue", undefined), "missingValue");
  check(codes_set_double_array(h_, "values", v.data(), v.size()), "values");
}

std::string rewrite(const std::string& bytes, const std::function<bool(Message&)>& edit) {
  std::string in = bytes, out;
  std::FILE* f = fmemopen(in.data(), in.size(), "rb");
  int err = 0;
  while (codes_handle* h = codes_handle_new_from_file(nullptr, f, PRODUCT_GRIB, &err)) {
    Message m(h);
    if (edit(m)) {
      const void* data = nullptr;
      std::size_t len = 0;
      check(codes_get_message(h, &data, &len), "message");
      out.append(static_cast<const char*>(data), len);
    }
    codes_handle_delete(h);
  }
  std::fclose(f);
  check(err, "reading messages");
  return out;
}

std::uint32_t be32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(b[at + k]);
  return v;
}

void put_be32(std::string& b, std::size_t at, std::uint32_t v) {
  for (std::size_t k = 0; k < 4; ++k) b[at + k] = static_cast<char>((v >> (24 - 8 * k)) & 0xff);
}

std::string edit_sections(std::string b, const std::function<void(std::string&, std::size_t, int)>& edit) {
  for (std::size_t at = 0; at + 16 <= b.size();) {
    std::uint64_t total = 0;
    for (std::size_t k = 8; k < 16; ++k) total = (total << 8) | static_cast<unsigned char>(b[at + k]);
    for (std::size_t pos = at + 16; pos + 5 < at + total - 4; pos += be32(b, pos))
      edit(b, pos, static_cast<unsigned char>(b[pos + 4]));
    at += total;
  }
  return b;
}

std::string winds_together(const std::string& bytes) {
  std::string in = bytes, out;
  std::FILE* f = fmemopen(in.data(), in.size(), "rb");
  int err = 0;
  std::map<long, codes_handle*> u_at;  // by level, waiting for their v
  while (codes_handle* h = codes_handle_new_from_file(nullptr, f, PRODUCT_GRIB, &err)) {
    Message m(h);
    const std::string name = m.get_string("shortName");
    const long level = m.get_long("level");
    if (name == "u") {
      u_at[level] = h;
      continue;
    }
    if (name == "v" && u_at.count(level)) {
      codes_handle* u = u_at[level];
      u_at.erase(level);
      codes_multi_handle* mh = codes_grib_multi_handle_new(nullptr);
      check(codes_grib_multi_handle_append(u, 0, mh), "append u");
      check(codes_grib_multi_handle_append(h, 4, mh), "append v");
      char* buf = nullptr;
      std::size_t len = 0;
      std::FILE* mem = open_memstream(&buf, &len);
      check(codes_grib_multi_handle_write(mh, mem), "write");
      std::fclose(mem);
      out.append(buf, len);
      std::free(buf);
      codes_grib_multi_handle_delete(mh);
      codes_handle_delete(u);
    } else {
      const void* data = nullptr;
      std::size_t len = 0;
      check(codes_get_message(h, &data, &len), "message");
      out.append(static_cast<const char*>(data), len);
    }
    codes_handle_delete(h);
  }
  std::fclose(f);
  check(err, "reading messages");
  if (!u_at.empty()) throw std::runtime_error("u without its v");
  return out;
}

testsupport::RunResult conv2model(const std::string& dir, const std::vector<std::string>& args) {
  return testsupport::run_program(CONV2MODEL, dir, "", args);
}

std::vector<float> record(const std::string& bytes, std::int64_t points, std::int64_t n) {
  std::vector<float> v(static_cast<std::size_t>(points));
  const auto at = static_cast<std::size_t>((n - 1) * points * 4);
  if (at + v.size() * 4 > bytes.size()) throw std::runtime_error("record beyond the file");
  std::memcpy(v.data(), bytes.data() + at, v.size() * 4);
  return v;
}

std::vector<std::string> messages_of(const std::string& bytes) {
  std::vector<std::string> out;
  // Each message by the length its section 0 states: 3 octets from the
  // fifth in edition 1, 8 from the ninth in edition 2.
  for (std::size_t at = bytes.find("GRIB"); at != std::string::npos && at + 16 <= bytes.size();
       at = bytes.find("GRIB", at)) {
    const bool two = bytes[at + 7] == 2;
    std::size_t len = 0;
    for (std::size_t k = two ? 8 : 4; k < (two ? 16u : 7u); ++k) len = (len << 8) | static_cast<unsigned char>(bytes[at + k]);
    out.push_back(bytes.substr(at, len));
    at += std::max<std::size_t>(len, 1);
  }
  return out;
}

std::vector<double> values_by_eccodes(const std::string& message) {
  std::vector<double> v;
  rewrite(message, [&](Message& m) {
    v = m.values();
    return false;
  });
  return v;
}

long points_of(const std::string& message) {
  long n = 0;
  rewrite(message, [&](Message& m) {
    n = m.get_long("numberOfDataPoints");
    return false;
  });
  return n;
}

std::span<const unsigned char> bytes_of(const std::string& s) {
  return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

}  // namespace ingesttest
