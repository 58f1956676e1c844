// netCDF files (classic, 64-bit offset, 64-bit data and netCDF-4/HDF5,
// told from the content) as a source of fields, read with libnetcdf.
//
// A field is one latitude/longitude plane of a variable (netcdf_scan), on
// axes known by their coordinate variables (netcdf_axes, netcdf_time); the
// quantity is known by the variable's name as ECMWF's ERA5 files name it,
// else by its CF standard_name, and is given the ECMWF parameter number of
// the same quantity, so that the field table applies as to GRIB
// (netcdf_quantity).  Packed values (scale_factor, add_offset) are
// unpacked in double; points equal to _FillValue or missing_value, and
// NaN, become the undefined mark.
//
// Every size the header states is checked before anything is allocated for
// it.  A classic-format header is read and checked here in full before
// libnetcdf opens the file (netcdf_classic); a netCDF-4 file is opened and
// scanned in a child process first, and refused if the child does not
// survive it (netcdf_probe).
//
// libnetcdf is not safe to call from several threads: every call into it,
// for every file, holds one lock.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "source/fields.hpp"
#include "source/source_file.hpp"
#include "source/netcdf_probe.hpp"
#include "source/netcdf_quantity.hpp"

namespace c2m::ingest {

namespace netcdf {
struct Variable;
}  // namespace netcdf

// The format a file's first bytes mark, or nothing for a file that is not
// netCDF.
enum class NetcdfFormat { classic, offset64, data64, hdf5 };
std::optional<NetcdfFormat> netcdf_format(const unsigned char* head, std::size_t n);

class NetcdfSource : public FieldSource {
 public:
  // Reads FILE, the input file number INDEX (from 0), its format told from
  // its first bytes.  CENTRE, when given, is the file's centre whatever
  // its attributes say.  Throws ShortFile, SizeFailure or IoFailure naming
  // the file (and the variable and the cause).
  NetcdfSource(SourceFile file, int index, const std::optional<Centre>& centre = std::nullopt);
  // The same, PATH opened first (CannotOpen when it cannot be).
  NetcdfSource(std::string path, int index, const std::optional<Centre>& centre = std::nullopt);
  ~NetcdfSource() override;
  NetcdfSource(const NetcdfSource&) = delete;
  NetcdfSource& operator=(const NetcdfSource&) = delete;

  const std::string& path() const override { return path_; }
  std::string format() const override;
  // The variables that hold fields.
  int messages() const override;
  const std::vector<FieldInfo>& fields() const override { return fields_; }
  void read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const override;
  void valid_at(const std::vector<ValidTime>& times) override;
  std::vector<std::string> others() const override { return others_; }

 private:
  std::string path_;
  int index_ = 0;
  NetcdfFormat format_ = NetcdfFormat::classic;
  int ncid_ = -1;
  std::vector<netcdf::Variable> vars_;
  std::vector<FieldInfo> fields_;
  std::vector<std::string> others_;
};

}  // namespace c2m::ingest
