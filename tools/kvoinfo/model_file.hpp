// The model data file: headerless fixed-length records of im x jm 4-byte
// IEEE reals in little-endian byte order, R = im x jm x 4 bytes each, record
// n at byte (n - 1) x R.  Within a record row j = 1, the southernmost, comes
// first and the points of a row run west to east.  There are 5 x lm + 12
// records:
//
//   1 .. lm            zonal wind, level k = n (k = 1 the bottom)
//   lm+1 .. 2lm        meridional wind
//   2lm+1 .. 3lm       geopotential height
//   3lm+1 .. 4lm       specific humidity
//   4lm+1 .. 5lm       temperature
//   5lm+1 .. 5lm+12    land-sea mask, MSL pressure, surface pressure,
//                      topography, then soil temperature and soil moisture
//                      of layers 1 to 4, alternating
//
// in the order of the field names of the grid description.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "grid_info.hpp"

namespace kvo {

// What record N of a model data file holds.
struct RecordLabel {
  std::int64_t number = 0;
  int field = 0;             // 0 .. 16 in record order: 5 upper-air, 12 surface
  bool surface = false;
  std::int32_t level = 0;    // k = 1 .. lm; 0 for a surface field
  float pressure_pa = 0.0f;  // of level k; 0 for a surface field
  const FieldName* name = nullptr;
};

// Short lower-case names of the 17 fields in record order, as the
// descriptor uses them.
std::string_view short_name(int field);

// The label of record N (1 .. 5 x lm + 12).  Throws RecordOutOfRange naming
// PATH when N lies outside.
RecordLabel label_record(const GridInfo& grid, std::int64_t n, const std::string& path);

// "1000" (hPa) for a level record, "sfc" for a surface record.
std::string level_text(const RecordLabel& label);

// Read access to a model data file, one record at a time: whatever the size
// of the file, only the record asked for is held in memory.
class ModelFile {
 public:
  // Opens PATH and checks that it holds exactly the records GRID announces;
  // throws ReadError or SizeMismatch.
  ModelFile(std::string path, const GridInfo& grid);
  ~ModelFile();
  ModelFile(const ModelFile&) = delete;
  ModelFile& operator=(const ModelFile&) = delete;

  const std::string& path() const { return path_; }
  const GridInfo& grid() const { return grid_; }

  // Record N into VALUES (resized to im x jm), row j = 1 first.
  void read(std::int64_t n, std::vector<float>& values);

 private:
  std::string path_;
  const GridInfo& grid_;
  std::FILE* file_ = nullptr;
  std::int64_t next_record_ = 1;  // where the file position stands
};

// The diagnostic for a model data file of SIZE bytes that should hold
// GRID's records: both sizes and what SIZE amounts to for this grid.
std::string size_mismatch_message(const std::string& path, std::uint64_t size,
                                  const GridInfo& grid);

}  // namespace kvo
