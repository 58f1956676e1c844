// Fuzz target: a whole netCDF file (classic, 64-bit offset, 64-bit data or
// netCDF-4), as the bytes are, ingested in-process into a scratch
// directory on one thread.
//
// The pass rule is that of every ingest target (ingest_run.hpp).
//
// The seeds in fuzz/corpus/netcdf_ingest_fuzz are small cases of both
// ERA5 layouts made as the ingest tests make theirs (netcdf_seeds, in
// tests/ingest).
//
// Findings inside the libraries, kept in the corpus as regression inputs:
//   regression_hdf5_crash_iterating_dense_links: HDF5 1.10.8 (Debian's
//     1.10.8+repack1-1) frees a pointer it never allocated, in H5MM_xfree
//     from H5O_msg_reset under H5G__link_release_table, while
//     H5G__dense_iterate walks the links of a corrupt group for
//     libnetcdf 4.9.0's NC4_open (H5Literate).  No check of the file can
//     come before it; ingest tries every netCDF-4 file in a child process
//     first and refuses one that the child does not survive, so the input
//     replays as a refusal.
//   regression_hdf5_spins_reading_dimension_scales: HDF5 1.10.8 spins (for
//     minutes, on one core) in H5HG_read under H5T__conv_vlen, reading the
//     DIMENSION_LIST attribute of a corrupt variable for H5DSget_num_scales,
//     when libnetcdf 4.9.0 reads the variable's metadata (nc4_get_var_meta,
//     from nc_inq_var).  The child that tries the file is stopped after its
//     time (120 s, here 5 s) and the file refused.
//   regression_hdf5_crash_reading_vlen_attribute: HDF5 1.10.8 copies past
//     a heap object (SIGSEGV in memcpy) in H5HG_read under H5T__conv_vlen
//     and H5A__read, reading a variable-length attribute of a corrupt file
//     while libnetcdf 4.9.0 opens it.  The child that tries the file dies
//     and the file is refused; libFuzzer's handler in that child still
//     writes a crash-* file to fuzz-out, which is the child's, not the
//     target's (the run goes on and ends with status 0).
//   regression_hdf5_open_fails_library_leaks: libnetcdf 4.9.0 leaks about
//     28 KB of the structures NC4_open made when HDF5 cannot open the
//     file; the sanitizer builds pass over leaks of libnetcdf and HDF5
//     (tools/grib_writer/eccodes_context.cpp).
#include <cstddef>
#include <cstdint>

#include "ingest_run.hpp"
#include "source/netcdf_probe.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A file on which the HDF5 library spins is refused after 5 s, well
  // inside libFuzzer's limit of 10 s a run.
  c2m::ingest::set_netcdf_probe_seconds(5);
  fuzzrun::ingest_bytes(data, size, "in.nc");
  return 0;
}
