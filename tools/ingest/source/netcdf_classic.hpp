// The header of a netCDF file in one of the classic formats (CDF-1
// "classic", CDF-2 "64-bit offset", CDF-5 "64-bit data"), read and checked
// here before libnetcdf is given the file.
//
// The header is a big-endian description of the whole file: the number
// of records, the dimensions (name and length; length 0 for the record
// dimension), the global attributes, and for each variable its name, its
// dimensions, its attributes, its type, its size and the byte at which its
// data begins.  Every count in it (of dimensions, attributes, variables,
// characters, values) and every variable's extent is checked against the
// bytes the file has, so that a header that claims more than the file
// holds is refused before anything is allocated for it, and libnetcdf only
// ever sees a header whose claims the file can back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace c2m::ingest {

struct ClassicDimension {
  std::string name;
  std::int64_t length = 0;  // the number of records for the record dimension
  bool record = false;
};

struct ClassicVariable {
  std::string name;
  int type = 0;                     // netCDF external type, 1 byte .. 11 uint64
  std::vector<std::int64_t> dims;   // indices into ClassicHeader::dims
  std::int64_t begin = 0;           // byte of its data (of its first record)
  std::int64_t bytes = 0;           // its data (of one record, for a record variable)
  bool record = false;
};

struct ClassicHeader {
  int version = 1;  // 1, 2 or 5
  std::int64_t records = 0;
  std::vector<ClassicDimension> dims;
  std::vector<ClassicVariable> vars;
  std::int64_t header_bytes = 0;
};

// Reads and checks the header of PATH, open as FD, SIZE bytes long.
// ShortFile when the header runs past the end of the file, SizeFailure when
// a variable's data would run past it (naming the variable, the bytes it
// claims and the bytes the file has), IoFailure for anything else that
// cannot be a header of these formats.
ClassicHeader read_classic_header(const std::string& path, int fd, std::int64_t size);

}  // namespace c2m::ingest
