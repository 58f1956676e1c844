// What ingest knows of a field in an input file, whatever the file's
// format: the quantity (a parameter number and a kind of level, in the
// vocabulary of ecCodes), the level, the validity time and member, the
// grid as the file states it, and where to find the values again.
//
// A FieldSource is one input file.  The GRIB reader is one, the netCDF
// reader another: the rest of ingest (the field table, the times, the
// levels, the grid, the humidity and the case writer) sees only this.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "layout/values.hpp"

namespace c2m::ingest {

// The input grid file's mark of an undefined point, and the mark of a
// missing level or plane (its whole plane holds it): the file layout's.
// A reader gives an undefined point as the 8-byte real of the same mark.
using layout::missing_value;
using layout::undefined_value;
inline constexpr double undefined_double = static_cast<double>(undefined_value);

// Largest plane whose record of 4-byte reals has a 32-bit signed length,
// and most levels a case may have: sizes a file claims beyond them are
// refused before anything is allocated.
inline constexpr std::int64_t max_plane_points = 536870911;
inline constexpr std::int64_t max_levels = 100000;

// The grid of a field as its file states it.  Angles in degrees.  The
// scanning flags say how the values are stored: the first value is at
// (lat_first, lon_first); points go east unless i_negative, rows go south
// unless j_positive; j_consecutive stores columns instead of rows, and
// alternating reverses every second row (or column).
struct GridInfo {
  std::string type;  // "regular_ll", or the source's name of another kind
  std::int64_t ni = 0, nj = 0;
  double lat_first = 0, lon_first = 0, lat_last = 0, lon_last = 0;
  std::optional<double> di, dj;  // increments, when the file gives them
  bool i_negative = false, j_positive = false, j_consecutive = false, alternating = false;
  // A grid that a GRIB 1 message gives only by its number in the
  // catalogue of grids (no type of its own): that number; else 0.
  long catalogued = 0;

  bool operator==(const GridInfo&) const = default;
};

// A validity time: date YYYYMMDD and time HHMM.
struct ValidTime {
  std::int64_t date = 0;
  int hhmm = 0;
  auto operator<=>(const ValidTime&) const = default;
  // YYYYMMDDHH, with the minutes after it when there are any; the year in
  // four digits at least (0202, 20201).
  std::string text() const;
  // YYYYMMDDHH without the minutes: what a case's date file holds.
  std::string to_the_hour() const;
  // YYYY-MM-DD HH:MM, for the report.
  std::string words() const;
  // YYYYMMDD.
  std::string day() const;
};

struct FieldInfo {
  int file = 0;      // index of the input file, from 0
  int message = 0;   // message number in the file, from 1
  int subfield = 0;  // 0 for a message of one field; else its field, from 1
  int edition = 0;
  long centre = 0;
  std::string centre_name;  // the centre's abbreviation ("ecmf", "kwbc")
  long param_id = 0;
  std::string short_name;
  std::string level_type;  // "isobaricInhPa", "surface", "depthBelowLandLayer", ...
  // Isobaric levels: the pressure, hPa.  Layers below the ground: the
  // depths of their top and bottom, metres.
  std::optional<float> pressure_hpa;
  std::optional<double> depth_top_m, depth_bottom_m;
  // A layer known only by one depth (a netCDF depth axis without bounds):
  // both are that depth, which ranks it, and its extent is unknown.
  bool depth_bounds_unknown = false;
  ValidTime valid;
  long member = 0;    // ensemble member; 0 for a field of no ensemble
  std::string run;    // the run and step it comes from, in words
  GridInfo grid;
  std::int64_t points = 0;  // values it holds
  // Where its source finds it again, and the digest of what it found
  // there when it indexed the file (0: none), by which it tells that the
  // bytes it reads again for the values are the same message.
  std::int64_t offset = 0, length = 0;
  std::uint64_t digest = 0;
  // A netCDF field: the name of its variable (empty for GRIB), and what
  // its source did to bring the values into the parameter's own units
  // ("hPa to Pa"; empty when they are in them already).
  std::string variable;
  std::string unit_conversion;
  // Valid at any time (a netCDF variable without a time axis, such as an
  // invariant field): its source states it at the times of the other
  // files (FieldSource::valid_at).
  bool timeless = false;
  // A wind component stated along the grid's own x and y rather than
  // east and north (GRIB's uvRelativeToGrid).
  bool uv_relative_to_grid = false;

  // "FILE#M" or "FILE#M.S" (message M, field S of it), for the report;
  // "FILE:VAR" for a field of netCDF variable VAR.  FILE_NAME is the file
  // as the report names it (file_names).
  std::string where(const std::string& file_name) const;
  // The level in words: "500 hPa", "0-0.1 m", "surface".
  std::string level_words() const;
};

// ecCodes' typeOfLevel TYPE for a diagnostic: as it is, or "a level type
// the tables do not name" where it has none.
std::string level_type_words(const std::string& type);

struct PackedIntegers;

// What a worker keeps from one decoded field to the next.
struct DecodeScratch {
  std::vector<unsigned char> bytes;
  // The stored integers of the field held, when its packing is one whose
  // integers its reader decodes once and makes values of block by block
  // (GRIB's complex packing and CCSDS); held says they are those of the
  // bytes held.
  std::shared_ptr<PackedIntegers> integers;
  bool integers_held = false;
  // The field whose bytes these are (its file and offset), for a source
  // that reads a field a range of values at a time; -1 for none.
  int held_file = -1;
  std::int64_t held_offset = -1;
  // Values the decoder found not to be numbers (NaN, or infinite) and gave
  // as undefined points instead, added up: its reader tells them.
  std::int64_t non_finite = 0;
};

// Where a source's index of its file ends short of the file's end: the
// message that could not be indexed and why.  The fields before it are
// indexed; those at and after it are unknown.
struct IndexEnd {
  int message = 0;
  std::int64_t at = 0;
  std::string reason;
};

class FieldSource {
 public:
  virtual ~FieldSource() = default;
  virtual const std::string& path() const = 0;
  // The format in words, for the report ("GRIB 2", "GRIB 1 and 2").
  virtual std::string format() const = 0;
  // Messages (or records) the file holds, and the fields in them.
  virtual int messages() const = 0;
  virtual const std::vector<FieldInfo>& fields() const = 0;
  // The values of F, one of fields(), in the order the file stores them,
  // undefined points as undefined_double.  Several threads may read at
  // once, each with its own SCRATCH and VALUES.
  virtual void read(const FieldInfo& f, DecodeScratch& scratch,
                    std::vector<double>& values) const = 0;
  // The fields that hold at any time (timeless) are stated valid at each
  // of TIMES (the validity times of the other fields), or left as they
  // are when TIMES is empty.  Called once, before fields() is used.
  virtual void valid_at(const std::vector<ValidTime>& times) { (void)times; }
  // IoFailure naming the file when it is not as it was when it was opened
  // (another size or modification time): what was read from it is then
  // no longer what its index describes.
  virtual void check_unchanged() const {}
  // Where the index of a source opened to index what it can ends short of
  // the file (a message that cannot be framed or parsed), or nothing.
  virtual const std::optional<IndexEnd>& index_end() const {
    static const std::optional<IndexEnd> none;
    return none;
  }
  // What the file holds besides its fields, in words, for a diagnostic
  // that lists what the files hold ("x (on dimension bnds of 2)").
  virtual std::vector<std::string> others() const { return {}; }
  // The values FIRST to FIRST + OUT.size() - 1 of F, in the order the file
  // stores them, for a reader that takes a field a few rows at a time, so
  // that the values decoded are used while the processor's cache still
  // holds them.  False when this source gives F only whole (read); true
  // with no value asked tells that it gives F so.  The calls for one
  // field follow each other with one SCRATCH.
  virtual bool read_range(const FieldInfo& f, DecodeScratch& scratch, std::int64_t first,
                          std::span<double> out) const {
    (void)f, (void)scratch, (void)first, (void)out;
    return false;
  }
};

// The input files of a run, input file N at [N].
using Sources = std::vector<std::unique_ptr<FieldSource>>;

}  // namespace c2m::ingest
