#include "source/netcdf_classic.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "kit/numbers.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

// Bytes of one value of each external type (0: no such type).  Types 7 to
// 11 (unsigned and 64-bit integers) exist in CDF-5 only.
int type_bytes(int type, int version) {
  static constexpr int bytes[] = {0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
  if (type < 1 || type > 11) return 0;
  if (type > 6 && version != 5) return 0;
  return bytes[type];
}

constexpr std::int64_t tag_dimensions = 10, tag_variables = 11, tag_attributes = 12;
constexpr std::int64_t max_name = 256;  // libnetcdf's longest name

// A cursor over the header, reading the file in pieces as it goes so that
// only the header itself is ever read, however long the file.
class Cursor {
 public:
  Cursor(const std::string& path, int fd, std::int64_t size, int version)
      : path_(path), fd_(fd), size_(size), version_(version) {}

  std::int64_t at() const { return at_; }
  std::int64_t left() const { return size_ - at_; }
  int version() const { return version_; }

  // The next N bytes (N at most 8) as a big-endian unsigned number.
  std::uint64_t number(int n, const char* what) {
    need(n, what);
    std::uint64_t v = 0;
    for (int k = 0; k < n; ++k) v = (v << 8) | buf_[static_cast<std::size_t>(at_ - buf_at_ + k)];
    at_ += n;
    return v;
  }
  // A count or length: 4 bytes, or 8 in CDF-5.  Never negative, and at
  // most LIMIT.
  std::int64_t count(const std::string& what, std::int64_t limit) {
    const int n = version_ == 5 ? 8 : 4;
    const std::uint64_t v = number(n, what.c_str());
    const std::uint64_t top = n == 4 ? 0x7fffffffu : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (v > top) fail(what + " is " + decimal(v) + ", beyond any the format allows");
    if (static_cast<std::int64_t>(v) > limit)
      throw ShortFile(path_ + ": netCDF header, byte " + decimal(at_ - n) + ": " + what + " is " +
                      decimal(static_cast<long long>(v)) + ", more than the " + decimal(left()) +
                      " bytes left in the file can hold: the file is truncated or corrupt");
    return static_cast<std::int64_t>(v);
  }
  // A name: its length, then its characters padded to 4 bytes.
  std::string name(const std::string& what) {
    const std::int64_t n = count("the length of " + what, std::max<std::int64_t>(0, left() - 4));
    if (n < 1 || n > max_name)
      fail("the name of " + what + " has " + decimal(n) + " characters (1 to " + decimal(max_name) + " allowed)");
    std::string s;
    need(padded(n), what);
    s.assign(reinterpret_cast<const char*>(buf_.data() + (at_ - buf_at_)), static_cast<std::size_t>(n));
    at_ += padded(n);
    if (std::find(s.begin(), s.end(), '\0') != s.end()) fail("the name of " + what + " holds a NUL character");
    return s;
  }
  void skip(std::int64_t n, const std::string& what) {
    if (n > left()) short_header(what);
    at_ += n;
  }

  static std::int64_t padded(std::int64_t n) { return (n + 3) / 4 * 4; }

  [[noreturn]] void fail(const std::string& why) const {
    throw IoFailure(path_ + ": netCDF header, byte " + decimal(at_) + ": " + why + ": the file is corrupt");
  }
  [[noreturn]] void short_header(const std::string& what) const {
    throw ShortFile(path_ + ": the netCDF header ends with the file (" + decimal(size_) + " bytes) in " + what +
                    ": it is truncated or corrupt");
  }

 private:
  void need(std::int64_t n, const std::string& what) {
    if (n > left()) short_header(what);
    if (at_ + n <= buf_at_ + static_cast<std::int64_t>(buf_.size())) return;
    // Read from here on, at least 64 KiB, never past the end.
    const std::int64_t want = std::min<std::int64_t>(std::max<std::int64_t>(n, 64 * 1024), left());
    buf_.resize(static_cast<std::size_t>(want));
    std::int64_t done = 0;
    while (done < want) {
      const ssize_t r = ::pread(fd_, buf_.data() + done, static_cast<std::size_t>(want - done),
                                static_cast<off_t>(at_ + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        throw ReadFailure(system_reason(path_, errno));
      }
      if (r == 0) short_header(what);
      done += r;
    }
    buf_at_ = at_;
  }

  const std::string& path_;
  int fd_;
  std::int64_t size_;
  int version_;
  std::int64_t at_ = 0;
  std::vector<unsigned char> buf_;
  std::int64_t buf_at_ = 0;
};

// The tag and count of a list: ABSENT (two zeros) or TAG and a count of
// entries of at least MIN_ENTRY bytes each.
std::int64_t list(Cursor& c, std::int64_t tag, const char* what, std::int64_t min_entry) {
  const std::uint64_t t = c.number(4, what);
  const std::int64_t n = c.count(std::string("the number of ") + what, c.left() / min_entry);
  if (t == 0 && n == 0) return 0;
  if (static_cast<std::int64_t>(t) != tag)
    c.fail(std::string("the list of ") + what + " has the tag " + decimal(t) + ", not " + decimal(tag));
  return n;
}

void attributes(Cursor& c, const std::string& of) {
  const int w = c.version() == 5 ? 8 : 4;
  // An attribute: a name (at least 4 + 4 bytes), a type, a count.
  const std::int64_t n = list(c, tag_attributes, "attributes", w + 4 + 4 + w);
  for (std::int64_t k = 0; k < n; ++k) {
    const std::string what = "attribute " + decimal(k + 1) + " of " + of;
    c.name(what);
    const int type = static_cast<int>(c.number(4, what.c_str()));
    const int size = type_bytes(type, c.version());
    if (size == 0) c.fail(what + " has the type " + decimal(type) + ", which the format does not have");
    const std::int64_t values = c.count("the number of values of " + what, c.left() / size);
    c.skip(Cursor::padded(values * size), "the values of " + what);
  }
}

// A * B, or -1 when it exceeds LIMIT.
std::int64_t product(std::int64_t a, std::int64_t b, std::int64_t limit) {
  if (a < 0 || b < 0) return -1;
  if (a != 0 && b > limit / a) return -1;
  return a * b;
}

// The format mark: CDF and the version 1, 2 or 5.
int read_version(const std::string& path, int fd, std::int64_t size) {
  unsigned char magic[4] = {0, 0, 0, 0};
  Cursor probe(path, fd, size, 1);
  for (auto& b : magic) b = static_cast<unsigned char>(probe.number(1, "the format mark"));
  if (magic[0] != 'C' || magic[1] != 'D' || magic[2] != 'F' || (magic[3] != 1 && magic[3] != 2 && magic[3] != 5))
    throw IoFailure(path + ": not a netCDF file of the classic formats (it does not start with CDF 1, 2 or 5)");
  return magic[3];
}

std::int64_t read_records(Cursor& c) {
  const int w = c.version() == 5 ? 8 : 4;
  const std::uint64_t n = c.number(w, "the number of records");
  const std::uint64_t streaming = w == 4 ? 0xffffffffu : ~std::uint64_t{0};
  if (n == streaming)
    c.fail("the number of records is left to be worked out from the file's length (a file still being "
           "written as a stream), which ingest does not do");
  if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) || (w == 4 && n > 0x7fffffffu))
    c.fail("the number of records is " + decimal(n));
  return static_cast<std::int64_t>(n);
}

// Dimensions: a name (at least 4 + 4 bytes) and a length; at most one of
// length 0, the record dimension, whose length is the number of records.
void read_dimensions(Cursor& c, ClassicHeader& h) {
  const int w = h.version == 5 ? 8 : 4;
  const std::int64_t ndims = list(c, tag_dimensions, "dimensions", w + 4 + w);
  h.dims.resize(static_cast<std::size_t>(ndims));
  int record_dims = 0;
  for (std::int64_t k = 0; k < ndims; ++k) {
    ClassicDimension& d = h.dims[static_cast<std::size_t>(k)];
    d.name = c.name("dimension " + decimal(k + 1));
    d.length = c.count("the length of dimension " + d.name, std::numeric_limits<std::int64_t>::max());
    if (d.length == 0) {
      if (++record_dims > 1) c.fail("a second record dimension (length 0), " + d.name);
      d.record = true;
      d.length = h.records;
    }
  }
}

// A variable: a name, the count of its dimensions and their ids, its
// attributes, type, size and start.
void read_variable(Cursor& c, ClassicHeader& h, std::int64_t k) {
  const int w = h.version == 5 ? 8 : 4;
  const int begin_bytes = h.version == 1 ? 4 : 8;
  const auto ndims = static_cast<std::int64_t>(h.dims.size());
  ClassicVariable& v = h.vars[static_cast<std::size_t>(k)];
  v.name = c.name("variable " + decimal(k + 1));
  const std::string what = "variable " + v.name;
  const std::int64_t rank = c.count("the number of dimensions of " + what, c.left() / w);
  v.dims.resize(static_cast<std::size_t>(rank));
  for (std::int64_t d = 0; d < rank; ++d) {
    const std::uint64_t id = c.number(w, what.c_str());
    if (id >= static_cast<std::uint64_t>(ndims))
      c.fail(what + " names dimension " + decimal(id) + " of " + decimal(ndims));
    v.dims[static_cast<std::size_t>(d)] = static_cast<std::int64_t>(id);
    if (h.dims[id].record) {
      if (d != 0) c.fail(what + " has the record dimension " + h.dims[id].name + " other than first");
      v.record = true;
    }
  }
  attributes(c, what);
  v.type = static_cast<int>(c.number(4, what.c_str()));
  if (type_bytes(v.type, h.version) == 0)
    c.fail(what + " has the type " + decimal(v.type) + ", which the format does not have");
  c.skip(w, "the size of " + what);  // worked out below from the dimensions instead
  const std::uint64_t begin = c.number(begin_bytes, what.c_str());
  if (begin > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
    c.fail(what + " begins at byte " + decimal(begin));
  v.begin = static_cast<std::int64_t>(begin);
}

void read_variables(Cursor& c, ClassicHeader& h) {
  const int w = h.version == 5 ? 8 : 4;
  const int begin_bytes = h.version == 1 ? 4 : 8;
  // At least a name, a count of dimensions, the 8 bytes of an absent list
  // of attributes, a type, a size and a start.
  const std::int64_t nvars = list(c, tag_variables, "variables", (w + 4) + w + (4 + w) + 4 + w + begin_bytes);
  h.vars.resize(static_cast<std::size_t>(nvars));
  for (std::int64_t k = 0; k < nvars; ++k) read_variable(c, h, k);
}

constexpr std::int64_t huge = std::numeric_limits<std::int64_t>::max() / 2;

// The bytes of every variable (of one record, for a record variable), and
// of a record of them all.
std::int64_t size_variables(const std::string& path, ClassicHeader& h) {
  std::int64_t record_bytes = 0;
  int record_vars = 0;
  for (ClassicVariable& v : h.vars) {
    std::int64_t n = type_bytes(v.type, h.version);
    std::string shape;
    for (std::size_t d = 0; d < v.dims.size(); ++d) {
      const ClassicDimension& dim = h.dims[static_cast<std::size_t>(v.dims[d])];
      shape += (shape.empty() ? "" : " x ") + decimal(dim.length);
      if (d == 0 && v.record) continue;
      n = product(n, dim.length, huge);
      if (n < 0) break;
    }
    const std::string values = shape.empty() ? "1 value" : shape + " values";
    if (n < 0)
      throw SizeFailure(path + ": variable " + v.name + " claims " + values + " of " +
                        decimal(type_bytes(v.type, h.version)) + " bytes, more than any file can hold");
    v.bytes = n;
    if (v.record) {
      ++record_vars;
      record_bytes += Cursor::padded(n);
    }
  }
  // One record variable alone is stored unpadded.
  if (record_vars == 1)
    for (const ClassicVariable& v : h.vars)
      if (v.record) record_bytes = v.bytes;
  return record_bytes;
}

// The extent of every variable against the file.
void check_extents(const std::string& path, std::int64_t size, const ClassicHeader& h, std::int64_t record_bytes) {
  for (const ClassicVariable& v : h.vars) {
    std::int64_t end = v.begin;
    if (v.record && h.records > 0) {
      const std::int64_t span = product(h.records - 1, record_bytes, huge);
      end = span < 0 ? -1 : end + span + v.bytes;
    } else if (!v.record) {
      end += v.bytes;
    }
    if (v.begin < h.header_bytes && (v.bytes > 0 || v.record))
      throw IoFailure(path + ": netCDF header: variable " + v.name + " begins at byte " + decimal(v.begin) +
                      ", inside the header of " + decimal(h.header_bytes) + " bytes: the file is corrupt");
    if (end < 0 || end > size) {
      std::string claim = v.record ? decimal(h.records) + " records of " + decimal(v.bytes) + " bytes"
                                   : decimal(v.bytes) + " bytes";
      throw SizeFailure(path + ": variable " + v.name + " claims " + claim + " from byte " + decimal(v.begin) +
                        ", more than the file of " + decimal(size) +
                        " bytes holds (it is truncated, or its header is corrupt)");
    }
  }
}

}  // namespace

ClassicHeader read_classic_header(const std::string& path, int fd, std::int64_t size) {
  ClassicHeader h;
  h.version = read_version(path, fd, size);
  Cursor c(path, fd, size, h.version);
  c.skip(4, "the format mark");
  h.records = read_records(c);
  read_dimensions(c, h);
  attributes(c, "the file");
  read_variables(c, h);
  h.header_bytes = c.at();
  check_extents(path, size, h, size_variables(path, h));
  return h;
}

}  // namespace c2m::ingest
