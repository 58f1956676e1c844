#include "source/netcdf_source.hpp"

#include <netcdf.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "kit/numbers.hpp"
#include "source/netcdf_classic.hpp"
#include "source/netcdf_library.hpp"
#include "source/netcdf_scan.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

using netcdf::library;
using netcdf::type_words;
using netcdf::Variable;

std::optional<NetcdfFormat> netcdf_format(const unsigned char* head, std::size_t n) {
  if (n >= 4 && head[0] == 'C' && head[1] == 'D' && head[2] == 'F') {
    if (head[3] == 1) return NetcdfFormat::classic;
    if (head[3] == 2) return NetcdfFormat::offset64;
    if (head[3] == 5) return NetcdfFormat::data64;
  }
  static constexpr unsigned char hdf5[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
  if (n >= 8 && std::memcmp(head, hdf5, 8) == 0) return NetcdfFormat::hdf5;
  return std::nullopt;
}

namespace {

// The contents of FILE as libnetcdf has it open as NCID.
netcdf::Contents scan_open(int ncid, const SourceFile& file, NetcdfFormat format, int index,
                           const std::optional<Centre>& centre) {
  const netcdf::NetcdfFile open{ncid, file.path(), file.size(), format == NetcdfFormat::hdf5};
  return netcdf::scan(open, index, netcdf::file_centre(ncid, centre));
}

}  // namespace

NetcdfSource::NetcdfSource(SourceFile file, int index, const std::optional<Centre>& centre)
    : path_(file.path()), index_(index) {
  const auto format = netcdf_format(file.head().data(), file.head().size());
  if (!format) throw IoFailure(path_ + ": not a netCDF file (it starts with neither CDF nor the HDF5 mark)");
  format_ = *format;
  // A classic header is checked whole before libnetcdf sees it.
  if (format_ != NetcdfFormat::hdf5) read_classic_header(path_, file.fd(), file.size());

  // libnetcdf opens the file by name: the very file checked, through its
  // descriptor where the system offers one, and never a name that it
  // could take for a URL.
  std::string open_name = "/proc/self/fd/" + decimal(file.fd());
  if (::access(open_name.c_str(), R_OK) != 0) open_name = path_.starts_with("/") ? path_ : "./" + path_;
  std::lock_guard<std::mutex> lock(library());
  if (format_ == NetcdfFormat::hdf5)
    netcdf::probe(path_, open_name, [&](int id) { scan_open(id, file, format_, index_, centre); });
  const int status = nc_open(open_name.c_str(), NC_NOWRITE, &ncid_);
  if (status != NC_NOERR) {
    ncid_ = -1;
    throw IoFailure(path_ + ": cannot be read as netCDF (" + nc_strerror(status) + ")");
  }
  try {
    netcdf::Contents c = scan_open(ncid_, file, format_, index_, centre);
    vars_ = std::move(c.vars);
    fields_ = std::move(c.fields);
    others_ = std::move(c.others);
  } catch (...) {
    nc_close(ncid_);
    ncid_ = -1;
    throw;
  }
}

NetcdfSource::NetcdfSource(std::string path, int index, const std::optional<Centre>& centre)
    : NetcdfSource(SourceFile(std::move(path)), index, centre) {}

NetcdfSource::~NetcdfSource() {
  if (ncid_ < 0) return;
  std::lock_guard<std::mutex> lock(library());
  nc_close(ncid_);
}

int NetcdfSource::messages() const { return static_cast<int>(vars_.size()); }

std::string NetcdfSource::format() const {
  switch (format_) {
    case NetcdfFormat::classic: return "netCDF classic";
    case NetcdfFormat::offset64: return "netCDF 64-bit offset";
    case NetcdfFormat::data64: return "netCDF 64-bit data";
    case NetcdfFormat::hdf5: return "netCDF-4";
  }
  return "netCDF";
}

void NetcdfSource::valid_at(const std::vector<ValidTime>& times) {
  if (times.empty()) return;
  std::vector<FieldInfo> all;
  for (FieldInfo& f : fields_) {
    if (!f.timeless) {
      all.push_back(std::move(f));
      continue;
    }
    for (const ValidTime& t : times) {
      FieldInfo g = f;
      g.valid = t;
      g.timeless = false;
      all.push_back(std::move(g));
    }
  }
  fields_ = std::move(all);
}

namespace {

// Stored values (native byte order, as libnetcdf gives them) to values in
// the parameter's units; fill and missing values, and NaN, undefined.
template <class T>
void unpack(const unsigned char* bytes, std::size_t n, const Variable& v, double* out) {
  const double* fills = v.fills.data();
  const std::size_t nfills = v.fills.size();
  const bool packed = v.packed, units = v.units.scale != 1.0 || v.units.offset != 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    T raw;
    std::memcpy(&raw, bytes + k * sizeof(T), sizeof(T));
    const auto r = static_cast<double>(raw);
    bool undefined = r != r;
    for (std::size_t m = 0; m < nfills && !undefined; ++m) undefined = r == fills[m];
    if (undefined) {
      out[k] = undefined_double;
      continue;
    }
    double x = packed ? r * v.scale + v.offset : r;
    if (units) x = x * v.units.scale + v.units.offset;
    out[k] = x;
  }
}

}  // namespace

void NetcdfSource::read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const {
  const std::string where = path_ + ": variable " + f.variable + " (" + f.level_words() + ", " + f.valid.words() + ")";
  if (f.message < 1 || f.message > static_cast<int>(vars_.size()) || f.file != index_)
    throw IoFailure(where + ": not a field of this file");
  const Variable& v = vars_[static_cast<std::size_t>(f.message - 1)];
  if (v.points < 1 || v.points > max_plane_points)
    throw SizeFailure(where + ": claims " + decimal(v.points) + " values, more than the limit of " +
                      decimal(max_plane_points) + " a plane");
  // The plane's place along the variable's other axes.
  const auto plane = static_cast<std::size_t>(f.offset);
  std::vector<std::size_t> start(v.shape.size(), 0), count(v.shape.size(), 1);
  count[static_cast<std::size_t>(v.lat)] = v.shape[static_cast<std::size_t>(v.lat)];
  count[static_cast<std::size_t>(v.lon)] = v.shape[static_cast<std::size_t>(v.lon)];
  if (v.member >= 0) start[static_cast<std::size_t>(v.member)] = plane % v.members;
  if (v.level >= 0) start[static_cast<std::size_t>(v.level)] = plane / v.members % v.levels;
  if (v.time >= 0) start[static_cast<std::size_t>(v.time)] = plane / v.members / v.levels;
  const auto n = static_cast<std::size_t>(v.points);
  scratch.bytes.resize(n * v.value_bytes);
  int status = 0;
  {
    std::lock_guard<std::mutex> lock(library());
    status = nc_get_vara(ncid_, v.id, start.data(), count.data(), scratch.bytes.data());
  }
  if (status != NC_NOERR) throw IoFailure(where + ": cannot be read (" + nc_strerror(status) + ")");
  values.resize(n);
  const unsigned char* b = scratch.bytes.data();
  switch (v.type) {
    case NC_BYTE: unpack<signed char>(b, n, v, values.data()); break;
    case NC_UBYTE: unpack<unsigned char>(b, n, v, values.data()); break;
    case NC_SHORT: unpack<short>(b, n, v, values.data()); break;
    case NC_USHORT: unpack<unsigned short>(b, n, v, values.data()); break;
    case NC_INT: unpack<int>(b, n, v, values.data()); break;
    case NC_UINT: unpack<unsigned int>(b, n, v, values.data()); break;
    case NC_FLOAT: unpack<float>(b, n, v, values.data()); break;
    case NC_DOUBLE: unpack<double>(b, n, v, values.data()); break;
    default: throw IoFailure(where + ": is of type " + type_words(v.type));
  }
}

}  // namespace c2m::ingest
