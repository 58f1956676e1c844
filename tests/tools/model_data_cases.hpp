// Small model data files and grid descriptions, written by the tests into a
// temporary directory.  The grid description is written with the
// converter's own free-form line writer, so the reader is tested against
// the layout the converter produces.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "layout/grid_description.hpp"

namespace md_test {

// A directory that is removed with everything in it at the end of a test.
// Its path holds no blank, and it lies under the system's temporary
// directory.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct CaseGrid {
  std::int32_t im = 4;
  std::int32_t jm = 3;
  std::vector<float> pressure_hpa = {1000.0f};  // level k = 1 (bottom) first
  // kgds(1), (4), (5), (7), (8), (9), (10): the grid integers.
  std::int32_t type = 0, lat1 = -45500, lon1 = -180000, lat2 = -43500, lon2 = -177000,
               di = 1000, dj = 1000;
  std::int32_t lm() const { return static_cast<std::int32_t>(pressure_hpa.size()); }
};

// The text of the grid description the converter writes for GRID.
std::string grid_description_text(const CaseGrid& grid);

// Writes DATA_PATH and DATA_PATH.gdsinfo; point (i, j) of record n
// (1-based) holds value(n, i, j).
void write_case(const std::string& data_path, const CaseGrid& grid,
                const std::function<float(int n, int i, int j)>& value);

void write_text(const std::string& path, const std::string& text);
void write_floats(const std::string& path, const std::vector<float>& values);

// What the reader makes of GRID's description.
c2m::layout::GridDescription parsed(const CaseGrid& grid);

}  // namespace md_test
