// netCDF files (classic, 64-bit offset, 64-bit data and netCDF-4/HDF5,
// told from the content) as a source of fields, read with libnetcdf.
//
// A field is one latitude/longitude plane of a variable: a variable on a
// latitude and a longitude dimension (in either order), and at most a time,
// a pressure and an ensemble-member dimension besides (any of them in any
// order, and any dimension of length 1).  The axes are known by their
// coordinate variables: latitude and longitude by their units (degrees_north,
// degrees_east) or names; the pressure by units of pressure (hPa, millibars,
// Pa); the time by CF units "UNIT since DATE" and calendar; members by the
// name number.  The quantity is known by the variable's name as ECMWF's
// ERA5 files name it (z, r, q, t, u, v; lsm, msl, sp, z of the surface,
// stl1..4, swvl1..4), else by its CF standard_name, and is given the ECMWF
// parameter number of the same quantity, so that the field table applies
// as to GRIB.  Packed values (scale_factor, add_offset) are unpacked in
// double; points equal to _FillValue or missing_value, and NaN, become the
// undefined mark.
//
// Every size the header states is checked before anything is allocated for
// it: the lengths of the axes against the limits (a plane of at most
// max_plane_points, max_levels levels, max_times times), and the values a
// variable claims against the bytes the file has.  A classic-format header
// is read and checked here in full before libnetcdf opens the file.
//
// A netCDF-4 file is opened and scanned in a child process first, and
// refused if the child does not survive it (the HDF5 library under
// libnetcdf can crash on a corrupt file, which cannot be checked before).
//
// libnetcdf is not safe to call from several threads: every call into it,
// for every file, holds one lock.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "source/fields.hpp"

namespace c2m::ingest {

// Most times of one time axis, and most fields (planes) of one file.
inline constexpr std::int64_t max_times = 100000;
inline constexpr std::int64_t max_netcdf_fields = 1000000;

// The format a file's first bytes mark, or nothing for a file that is not
// netCDF.
enum class NetcdfFormat { classic, offset64, data64, hdf5 };
std::optional<NetcdfFormat> netcdf_format(const unsigned char* head, std::size_t n);

// The centre whose definitions a netCDF file follows (its relative
// humidity over mixed phase, its label), when it is not taken from the
// file's institution and source attributes.
struct Centre {
  long number = 0;   // WMO centre: 98 ECMWF, 7 NCEP, 0 none known
  std::string name;  // its abbreviation: "ecmf", "kwbc"
};
std::optional<Centre> centre_by_name(const std::string& word);  // ecmwf, ncep, none

// How long the child that tries a netCDF-4 file first may take (default
// 120 s; a sound file takes well under a second): the HDF5 library can
// also spin for minutes on a corrupt one.
void set_netcdf_probe_seconds(unsigned seconds);

class NetcdfSource : public FieldSource {
 public:
  // Opens PATH, the input file number INDEX (from 0).  CENTRE, when
  // given, is the file's centre whatever its attributes say.  Throws
  // CannotOpen, ShortFile, SizeFailure or IoFailure naming the file (and the
  // variable and the cause).
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

  struct Variable;  // a variable that holds fields, and how to read them

 private:
  void scan(const std::optional<Centre>& centre);
  // Opens and scans a netCDF-4 file in a child process first; IoFailure
  // when the child does not survive it.
  void probe(const std::string& open_name, const std::optional<Centre>& centre);

  std::string path_;
  int index_ = 0;
  NetcdfFormat format_ = NetcdfFormat::classic;
  std::int64_t size_ = 0;
  int ncid_ = -1;
  std::vector<Variable> vars_;
  std::vector<FieldInfo> fields_;
  std::vector<std::string> others_;
};

}  // namespace c2m::ingest
