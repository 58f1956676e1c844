// The field table: which parameters of the input files make which field of
// the case, and how their values are turned into the case's units.
//
// An entry names a case field, a parameter (its paramId) and a kind of
// level (typeOfLevel, or * for any), and a scale and offset: the case
// holds value x scale + offset.  An entry may name a netCDF variable
// instead of a parameter (nc:NAME): it takes the fields of the variables
// of that name, whatever parameter they are known as.  A message is taken by the first entry
// that matches it; when several entries could give the same field, the
// one listed first wins (geopotential z before height gh, msl before prmsl
// before mslet).  Upper-air fields take isobaric levels only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "source/fields.hpp"

namespace c2m::ingest {

enum class Quantity { z, r, q, t, u, v, lsm, msl, sp, orog, stl, swvl };

constexpr bool upper_air(Quantity q) { return q <= Quantity::v; }

struct TableEntry {
  Quantity what = Quantity::z;
  int layer = 0;          // stl, swvl: the layer 1 .. 4, or 0 for layers taken in order of depth
  bool ignore = false;    // "-": messages it matches are passed over
  long param_id = 0;
  std::string variable;    // nc:NAME, a netCDF variable's name: matched instead of param_id
  std::string level_type;  // typeOfLevel, or "*"
  double scale = 1.0, offset = 0.0;
  std::string conversion;  // for the report: "gpm x 9.80665", "Pa to hPa", "" for as is
  std::string origin;      // "built in", or "FILE line N"
};

// The name of a case field in the table and the report: z r q t u v lsm
// msl sp orog, stl1 .. stl4 and swvl1 .. swvl4 (stl and swvl for layers
// in order of depth).
std::string field_name(Quantity q, int layer = 0);
std::optional<std::pair<Quantity, int>> field_by_name(std::string_view name);

class FieldTable {
 public:
  // The table built in (its text is table_text()).
  static FieldTable built_in();

  // Reads the entries of FILE (the format of table_text()).  They come
  // before every entry there is, and replace the entries of the same
  // paramId (or netCDF variable) and kind of level.  IoFailure naming the file and the line.
  void add_file(const std::string& path);
  // The same from TEXT, with ORIGIN as the name in diagnostics.
  void add_text(std::string_view text, const std::string& origin);

  // The entry that takes F, or nothing.
  std::optional<std::size_t> match(const FieldInfo& f) const;

  const std::vector<TableEntry>& entries() const { return entries_; }
  const TableEntry& operator[](std::size_t n) const { return entries_[n]; }

 private:
  std::vector<TableEntry> entries_;
};

// The built-in table as text, for --help: the format of --table FILE.
std::string table_text();

}  // namespace c2m::ingest
