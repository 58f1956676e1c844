#include "netcdf_file.hpp"

#include <H5public.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "kit/numbers.hpp"
#include "layout/records.hpp"
#include "record_stats.hpp"
#include "textio/errors.hpp"
#include "version/version.hpp"

namespace c2m::exporter {

namespace {

// A netCDF file being written.  Until close() has succeeded it is abandoned
// on the way out (nc_abort), so that no handle of libnetcdf outlives a
// failure elsewhere (a model data file that cannot be read); the temporary
// file itself is OutputFile's to remove.  After a call of libnetcdf has
// failed, though, the handle is left alone: the file can no longer be
// written, closing it in any way makes HDF5 flush it, the flush fails, and
// libnetcdf 4.9 then crashes listing the file's objects.  The process ends
// soon after such a failure, and its end releases the handle.
class NetcdfWriter {
 public:
  // Creates the file PATH, which must not exist (NC_NOCLOBBER: created
  // exclusively, so nothing that appeared at the name is followed or
  // overwritten).  SHOWN is the name diagnostics give.
  NetcdfWriter(const std::string& path, std::string shown) : shown_(std::move(shown)) {
    errno = 0;
    check(nc_create(path.c_str(), NC_NETCDF4 | NC_CLASSIC_MODEL | NC_NOCLOBBER, &id_),
          "cannot create the netCDF file");
    open_ = true;
  }
  ~NetcdfWriter() {
    if (open_ && !failed_) nc_abort(id_);
  }
  NetcdfWriter(const NetcdfWriter&) = delete;
  NetcdfWriter& operator=(const NetcdfWriter&) = delete;

  int id() const { return id_; }

  // Throws WriteFailure naming the output, WHAT failed and libnetcdf's
  // reason unless STATUS is NC_NOERR.  libnetcdf reduces a refused write
  // to "HDF error"; the system's reason (a full disk, a file-size limit)
  // is still in errno, which is cleared after every call that went well.
  void check(int status, std::string_view what) {
    const int err = errno;
    if (status != NC_NOERR) {
      failed_ = true;
      std::string m = shown_ + ": " + std::string(what) + ": " + nc_strerror(status);
      if (err != 0) m += " (" + std::string(std::strerror(err)) + ")";
      throw WriteFailure(m);
    }
    errno = 0;
  }

  void text(int var, const char* name, std::string_view value) {
    check(nc_put_att_text(id_, var, name, value.size(), value.data()),
          "cannot write the attribute " + std::string(name));
  }

  int dimension(const char* name, std::size_t length) {
    int dim = -1;
    check(nc_def_dim(id_, name, length, &dim), "cannot define the dimension " + std::string(name));
    return dim;
  }

  int variable(const char* name, nc_type type, const std::vector<int>& dims) {
    int var = -1;
    check(nc_def_var(id_, name, type, static_cast<int>(dims.size()), dims.data(), &var),
          "cannot define the variable " + std::string(name));
    return var;
  }

  // The coordinate variable of dimension DIM, with its attributes.
  struct Axis {
    std::string_view standard_name, long_name, units, axis;
  };
  int coordinate(const char* name, int dim, const Axis& a) {
    const int var = variable(name, NC_DOUBLE, {dim});
    text(var, "standard_name", a.standard_name);
    text(var, "long_name", a.long_name);
    text(var, "units", a.units);
    text(var, "axis", a.axis);
    return var;
  }

  void close() {
    open_ = false;  // nc_close frees the handle even when it fails
    check(nc_close(id_), "cannot finish the netCDF file");
  }

 private:
  std::string shown_;
  int id_ = -1;
  bool open_ = false;
  bool failed_ = false;
};

// HDF5 closes the files still open when the process ends, and crashes on a
// file whose writes have failed (1.10: a segmentation fault in its exit
// handler, after the diagnostic, instead of the status of the failure).
// Every file this writer finishes is closed by then; one it gave up on is
// better left to the end of the process.  Told before HDF5 is first used.
void keep_hdf5_from_closing_at_exit() {
  static const bool told = [] {
    H5dont_atexit();
    return true;
  }();
  (void)told;
}

// Degrees of a point FIRST + N x STEP thousandths of a degree: the sum is
// exact in 64-bit integers, and one division rounds it once.
std::vector<double> axis_values(std::int64_t first, std::int64_t step, std::int64_t count) {
  std::vector<double> v(static_cast<std::size_t>(count));
  for (std::int64_t n = 0; n < count; ++n)
    v[static_cast<std::size_t>(n)] = static_cast<double>(first + n * step) / 1000.0;
  return v;
}

}  // namespace

std::int64_t rows_per_block(const layout::GridDescription& grid, std::size_t block_bytes) {
  const std::uint64_t row_bytes = static_cast<std::uint64_t>(grid.im()) * 4;
  const std::uint64_t rows = block_bytes / row_bytes;
  return static_cast<std::int64_t>(std::clamp<std::uint64_t>(rows, 1, static_cast<std::uint64_t>(grid.jm())));
}

namespace {

// The file's dimensions and their coordinate variables (-1: none, the time
// of a case without a date).
struct Axes {
  int time_dim = -1, plev_dim = -1, lat_dim = -1, lon_dim = -1;
  int time_var = -1, plev_var = -1, lat_var = -1, lon_var = -1;
};

Axes define_axes(NetcdfWriter& nc, const layout::GridDescription& g, const NetcdfOptions& options) {
  Axes a;
  if (options.date) a.time_dim = nc.dimension("time", 1);
  a.plev_dim = nc.dimension("plev", static_cast<std::size_t>(g.lm));
  a.lat_dim = nc.dimension("lat", static_cast<std::size_t>(g.jm()));
  a.lon_dim = nc.dimension("lon", static_cast<std::size_t>(g.im()));
  if (options.date) {
    a.time_var = nc.coordinate("time", a.time_dim, {"time", "time", cf_time_units(*options.date), "T"});
    nc.text(a.time_var, "calendar", "proleptic_gregorian");
  }
  a.plev_var = nc.coordinate("plev", a.plev_dim, {"air_pressure", "pressure", "Pa", "Z"});
  nc.text(a.plev_var, "positive", "down");
  a.lat_var = nc.coordinate("lat", a.lat_dim, {"latitude", "latitude", "degrees_north", "Y"});
  a.lon_var = nc.coordinate("lon", a.lon_dim, {"longitude", "longitude", "degrees_east", "X"});
  return a;
}

// The variable of field F on (time, plev, lat, lon), or (time, lat, lon)
// at the surface, stored whole or deflated in chunks of BLOCK_ROWS rows of
// one level.
int define_field(NetcdfWriter& nc, const Axes& a, int f, std::size_t block_rows, std::size_t im,
                 const NetcdfOptions& options) {
  const layout::FieldInfo& info = layout::fields[static_cast<std::size_t>(f)];
  std::vector<int> dims;
  std::vector<std::size_t> chunk;
  if (a.time_dim >= 0) {
    dims.push_back(a.time_dim);
    chunk.push_back(1);
  }
  if (f < layout::upper_count) {
    dims.push_back(a.plev_dim);
    chunk.push_back(1);
  }
  dims.push_back(a.lat_dim);
  dims.push_back(a.lon_dim);
  chunk.push_back(block_rows);
  chunk.push_back(im);
  const std::string name(info.short_name);
  const int var = nc.variable(name.c_str(), NC_FLOAT, dims);
  if (options.deflate_level > 0) {
    nc.check(nc_def_var_chunking(nc.id(), var, NC_CHUNKED, chunk.data()),
             "cannot define the chunks of " + name);
    nc.check(nc_def_var_deflate(nc.id(), var, 1, 1, options.deflate_level),
             "cannot define the compression of " + name);
    // Each chunk is written whole and once: a cache smaller than a chunk
    // makes HDF5 compress and write it at once instead of keeping it (by
    // default libnetcdf gives every variable a cache of several chunks,
    // some 130 MB for the 0.25-degree file).  A size of 0 would mean
    // "the default" to libnetcdf: one byte it is.
    nc.check(nc_set_var_chunk_cache(nc.id(), var, 1, 1, 0.0f),
             "cannot set the chunk cache of " + name);
  } else {
    nc.check(nc_def_var_chunking(nc.id(), var, NC_CONTIGUOUS, nullptr),
             "cannot define the storage of " + name);
  }
  if (!info.standard_name.empty()) nc.text(var, "standard_name", info.standard_name);
  nc.text(var, "long_name", info.long_name);
  if (!info.unit.empty()) nc.text(var, "units", info.unit);
  const float fill = md::missing_value;
  nc.check(nc_put_att_float(nc.id(), var, "_FillValue", NC_FLOAT, 1, &fill),
           "cannot write the _FillValue of " + name);
  return var;
}

void global_attributes(NetcdfWriter& nc, const NetcdfOptions& options) {
  nc.text(NC_GLOBAL, "Conventions", "CF-1.8");
  nc.text(NC_GLOBAL, "title", options.title);
  nc.text(NC_GLOBAL, "source", "conv2model " + version_text());
  nc.text(NC_GLOBAL, "history", options.history);
  if (!options.notes.empty()) {
    std::string comment;
    for (const auto& note : options.notes) comment += (comment.empty() ? "" : "\n") + note;
    nc.text(NC_GLOBAL, "comment", comment);
  }
}

void write_axes(NetcdfWriter& nc, const Axes& a, const layout::GridDescription& g) {
  if (a.time_var >= 0) {
    const double zero = 0.0;
    nc.check(nc_put_var_double(nc.id(), a.time_var, &zero), "cannot write the time");
  }
  std::vector<double> plev(g.pressure_pa.begin(), g.pressure_pa.end());  // exact
  nc.check(nc_put_var_double(nc.id(), a.plev_var, plev.data()), "cannot write the pressures");
  nc.check(nc_put_var_double(nc.id(), a.lat_var, axis_values(g.kgds(4), g.kgds(10), g.jm()).data()),
           "cannot write the latitudes");
  nc.check(nc_put_var_double(nc.id(), a.lon_var, axis_values(g.kgds(5), g.kgds(9), g.im()).data()),
           "cannot write the longitudes");
}

// Every record, in record order so that the model data file is read
// straight through, BLOCK_ROWS rows at a time.
void write_records(NetcdfWriter& nc, md::ModelFile& file, const std::array<int, layout::field_count>& field_var,
                   bool timed, std::size_t block_rows) {
  const layout::GridDescription& g = file.grid();
  const auto im = static_cast<std::size_t>(g.im()), jm = static_cast<std::size_t>(g.jm());
  std::vector<float> block;
  for (std::int64_t n = 1; n <= g.record_count(); ++n) {
    const md::RecordLabel label = md::label_record(g, n, file.path());
    for (std::size_t j = 0; j < jm; j += block_rows) {
      const std::size_t rows = std::min(block_rows, jm - j);
      file.read_rows(n, static_cast<std::int64_t>(j) + 1, static_cast<std::int64_t>(rows), block);
      std::vector<std::size_t> start, count;
      if (timed) {
        start.push_back(0);
        count.push_back(1);
      }
      if (!label.surface) {
        start.push_back(static_cast<std::size_t>(label.level - 1));
        count.push_back(1);
      }
      start.insert(start.end(), {j, 0});
      count.insert(count.end(), {rows, im});
      nc.check(nc_put_vara_float(nc.id(), field_var[static_cast<std::size_t>(label.field)],
                                 start.data(), count.data(), block.data()),
               "cannot write " + md::record_words(label) + " (record " + decimal(n) + ")");
    }
  }
}

}  // namespace

void write_netcdf(md::ModelFile& file, OutputFile& out, const NetcdfOptions& options) {
  const layout::GridDescription& g = file.grid();
  const auto block_rows = static_cast<std::size_t>(rows_per_block(g, options.block_bytes));

  keep_hdf5_from_closing_at_exit();
  // libnetcdf makes the file itself.  Were it to truncate the empty
  // temporary file that OutputFile made (NC_CLOBBER), ext4 would take the
  // truncation for a rewrite of the file's contents and write the whole
  // file to disk at its close (its auto_da_alloc safeguard): a tenth of a
  // second more for 590 MB, and the disk busy at once.  So that file goes,
  // and libnetcdf creates it anew under the same name, exclusively, with
  // the permissions OutputFile gave it (those of the file it replaces).
  const std::string& temp = out.handed_over();
  struct stat made {};
  const bool have_mode = ::stat(temp.c_str(), &made) == 0;
  if (::unlink(temp.c_str()) != 0 && errno != ENOENT)
    throw WriteFailure(system_reason(out.name(), errno) + " (making way for libnetcdf at " + temp + ")");
  NetcdfWriter nc(temp, out.name());
  if (have_mode) (void)::chmod(temp.c_str(), made.st_mode & 07777);
  // Every point of every variable is written below: filling them first
  // would write the file twice.
  int old_mode = 0;
  nc.check(nc_set_fill(nc.id(), NC_NOFILL, &old_mode), "cannot turn off the prefill");

  const Axes axes = define_axes(nc, g, options);
  std::array<int, layout::field_count> field_var{};
  for (int f = 0; f < layout::field_count; ++f)
    field_var[static_cast<std::size_t>(f)] = define_field(nc, axes, f, block_rows, static_cast<std::size_t>(g.im()), options);
  global_attributes(nc, options);
  nc.check(nc_enddef(nc.id()), "cannot end the definitions");

  write_axes(nc, axes, g);
  write_records(nc, file, field_var, options.date.has_value(), block_rows);
  nc.close();
}

}  // namespace c2m::exporter
