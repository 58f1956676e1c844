// The model data file as a CF-1.8 netCDF file (netCDF-4, classic model, so
// that tools of the netCDF-3 era read it too).
//
// Coordinates:
//   time  one step, and only when the case has a date: 0 hours since the
//         date, proleptic Gregorian calendar (the calendar in which the
//         date was checked);
//   plev  the lm pressures in Pa in record order, level 1 (the bottom)
//         first, positive down;
//   lat   degrees north, south to north as the rows are stored;
//   lon   degrees east, west to east;
// latitudes and longitudes from the first point and the increments of the
// grid description (kgds 4, 5, 9 and 10), in double precision.
//
// Variables carry the short names of layout/records.hpp: the five upper-air
// fields on ([time,] plev, lat, lon), the twelve surface fields on
// ([time,] lat, lon), 4-byte reals holding exactly the bits of the records
// (nothing scaled or converted), with -99999 as _FillValue, the converter's
// mark of a missing point.
//
// Without compression the variables are stored contiguously and written
// without fill values first, so that the file is written at the speed of a
// copy.  With compression each variable is cut into chunks of one level's
// plane (bands of rows for a plane larger than a block), shuffled and
// deflated.  Either way a block of at most block_bytes of one record is
// held at a time, and each chunk is written whole, once, past HDF5's chunk
// cache, so that memory stays flat whatever the size of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "case_date.hpp"
#include "fileio/output_file.hpp"
#include "layout/grid_description.hpp"
#include "model_file.hpp"

namespace c2m::exporter {

struct NetcdfOptions {
  std::optional<CaseDate> date;    // the time axis; none without a date
  int deflate_level = 0;           // 1 .. 9: chunked and deflated; 0: contiguous
  std::string title;               // global attributes
  std::string history;
  std::vector<std::string> notes;  // remarks on the grid, as the "comment"
  std::size_t block_bytes = std::size_t{16} << 20;
};

// Rows of a plane of GRID held and written at a time: as many as
// BLOCK_BYTES hold, at least one, at most the whole plane.
std::int64_t rows_per_block(const layout::GridDescription& grid, std::size_t block_bytes);

// Writes FILE (complete, checked by the caller) as netCDF into OUT's
// temporary file, which it hands to libnetcdf.  The caller commits OUT.
// Failures of libnetcdf throw WriteFailure naming OUT and libnetcdf's
// reason; failures reading FILE throw what ModelFile throws.
void write_netcdf(md::ModelFile& file, OutputFile& out, const NetcdfOptions& options);

}  // namespace c2m::exporter
