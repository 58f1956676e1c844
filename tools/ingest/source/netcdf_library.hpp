// libnetcdf as the netCDF reader uses it: one lock for every call into it,
// the attributes of a variable as text and as numbers, the external types
// in words, and the file open in it as a scan sees it (its diagnostics, and
// the bytes a variable may claim of it).
#pragma once

#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "textio/errors.hpp"

namespace c2m::ingest::netcdf {

// libnetcdf (and the HDF5 library under it) keeps global state that no
// two threads may touch at once.
std::mutex& library();

// A text attribute (characters, or one netCDF-4 string), or nothing.
std::optional<std::string> text_att(int ncid, int varid, const char* name);
// The values of a numeric attribute (at most MAX of them) as doubles; none
// when it is absent, not numeric or longer.
std::vector<double> numeric_att(int ncid, int varid, const char* name, std::size_t max);

bool numeric_type(nc_type t);
// Bytes of one value of type T (0 for a type of no fixed size).
std::size_t bytes_of(nc_type t);
std::string type_words(nc_type t);

// S in lower case; S without blanks at either end; S one of WORDS.
std::string lower(std::string s);
std::string trimmed(const std::string& s);
bool one_of(const std::string& s, std::initializer_list<const char*> words);

// A file open in libnetcdf, as its scan sees it.
struct NetcdfFile {
  int ncid = -1;
  std::string path;
  std::int64_t size = 0;  // bytes
  bool hdf5 = false;      // netCDF-4: its variables may be compressed

  IoFailure fail(const std::string& why) const { return IoFailure(path + ": " + why); }
  // STATUS of reading WHAT, IoFailure unless it is no error.
  void check(int status, const std::string& what) const {
    if (status != NC_NOERR) throw fail(what + " cannot be read (" + nc_strerror(status) + ")");
  }
  // The bytes a variable of SHAPE and VALUE_BYTES claims, refused
  // (SizeFailure) when the file cannot hold them (compressed, at most
  // deflate's 1032 to 1).
  void check_extent(int varid, const std::string& name, const std::vector<std::size_t>& shape,
                    std::size_t value_bytes) const;
};

}  // namespace c2m::ingest::netcdf
