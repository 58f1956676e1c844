#include "source/netcdf_library.hpp"

#include <netcdf_filter.h>

#include <algorithm>
#include <cstring>

#include "kit/numbers.hpp"

namespace c2m::ingest::netcdf {

std::mutex& library() {
  static std::mutex m;
  return m;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string trimmed(const std::string& s) {
  const auto a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

bool one_of(const std::string& s, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(), [&](const char* w) { return s == w; });
}

namespace {

// Longest text attribute read; identifying attributes are far shorter.
constexpr std::size_t max_text = 4096;

}  // namespace

std::optional<std::string> text_att(int ncid, int varid, const char* name) {
  nc_type type = 0;
  std::size_t len = 0;
  if (nc_inq_att(ncid, varid, name, &type, &len) != NC_NOERR) return std::nullopt;
  if (type == NC_CHAR) {
    if (len > max_text) return std::nullopt;
    std::string s(len, '\0');
    if (len > 0 && nc_get_att_text(ncid, varid, name, s.data()) != NC_NOERR) return std::nullopt;
    s.resize(::strnlen(s.c_str(), s.size()));
    return s;
  }
  if (type == NC_STRING && len == 1) {
    char* p = nullptr;
    if (nc_get_att_string(ncid, varid, name, &p) != NC_NOERR) return std::nullopt;
    std::string s = p ? std::string(p, ::strnlen(p, max_text)) : std::string();
    nc_free_string(1, &p);
    return s;
  }
  return std::nullopt;
}

bool numeric_type(nc_type t) { return t >= NC_BYTE && t <= NC_UINT64 && t != NC_CHAR; }

std::vector<double> numeric_att(int ncid, int varid, const char* name, std::size_t max) {
  nc_type type = 0;
  std::size_t len = 0;
  if (nc_inq_att(ncid, varid, name, &type, &len) != NC_NOERR) return {};
  if (!numeric_type(type) || len == 0 || len > max) return {};
  std::vector<double> v(len);
  if (nc_get_att_double(ncid, varid, name, v.data()) != NC_NOERR) return {};
  return v;
}

std::size_t bytes_of(nc_type t) {
  switch (t) {
    case NC_BYTE: case NC_UBYTE: case NC_CHAR: return 1;
    case NC_SHORT: case NC_USHORT: return 2;
    case NC_INT: case NC_UINT: case NC_FLOAT: return 4;
    case NC_DOUBLE: case NC_INT64: case NC_UINT64: return 8;
    default: return 0;
  }
}

std::string type_words(nc_type t) {
  switch (t) {
    case NC_BYTE: return "byte";
    case NC_UBYTE: return "ubyte";
    case NC_CHAR: return "char";
    case NC_SHORT: return "short";
    case NC_USHORT: return "ushort";
    case NC_INT: return "int";
    case NC_UINT: return "uint";
    case NC_FLOAT: return "float";
    case NC_DOUBLE: return "double";
    case NC_INT64: return "int64";
    case NC_UINT64: return "uint64";
    case NC_STRING: return "string";
    default: return "a type of its own (" + decimal(t) + ")";
  }
}

namespace {

std::string shape_words(const std::vector<std::size_t>& shape) {
  std::string s;
  for (const std::size_t n : shape) s += (s.empty() ? "" : " x ") + decimal(static_cast<long long>(n));
  return s.empty() ? "1" : s;
}

}  // namespace

void NetcdfFile::check_extent(int varid, const std::string& name, const std::vector<std::size_t>& shape,
                              std::size_t value_bytes) const {
  constexpr double deflate_ratio = 1032.0;
  bool filtered = false;
  if (hdf5) {
    std::size_t filters = 0;
    if (nc_inq_var_filter_ids(ncid, varid, &filters, nullptr) == NC_NOERR && filters > 0) filtered = true;
  }
  long double bytes = static_cast<long double>(value_bytes);
  for (const std::size_t n : shape) bytes *= static_cast<long double>(n);
  const long double held = static_cast<long double>(size) * (filtered ? deflate_ratio : 1.0);
  if (bytes > held) {
    const std::string claim = shape_words(shape) + " values of " + decimal(static_cast<long long>(value_bytes)) +
                              " bytes (" +
                              (bytes < 9e18L ? decimal(static_cast<long long>(bytes)) : shortest_double(static_cast<double>(bytes))) +
                              " bytes)";
    throw SizeFailure(path + ": variable " + name + " claims " + claim + ", more than the file of " +
                      decimal(size) + " bytes can hold" +
                      (filtered ? " even compressed (deflate packs at most 1032 to 1)" : "") +
                      ": it is truncated or its header is corrupt");
  }
}

}  // namespace c2m::ingest::netcdf
