// A netCDF-4 file tried in a child process before this process opens it.
//
// A netCDF-4 file is an HDF5 file, whose structure (a graph of object
// headers, B-trees and heaps) is far too rich to check before the HDF5
// library reads it, and that library can crash on a corrupt one, or spin
// for minutes.  So the file is opened and scanned first in a child
// process, exactly as it is then opened and scanned here: a child that does
// not come back whole (a signal, or no end within the time allowed) means
// a file this process must not open.  The child dumps no core, writes no
// diagnostic and runs no exit handler.
#pragma once

#include <functional>
#include <string>

namespace c2m::ingest {

// How long the child that tries a netCDF-4 file first may take (default
// 120 s; a sound file takes well under a second).
void set_netcdf_probe_seconds(unsigned seconds);

namespace netcdf {

// Opens OPEN_NAME (the file PATH) in a child process and runs SCAN on its
// netCDF id there; IoFailure naming PATH when the child does not survive
// it.  A child that cannot be made is no refusal: the file is then opened
// as without the probe.  The caller holds the library's lock.
void probe(const std::string& path, const std::string& open_name, const std::function<void(int ncid)>& scan);

}  // namespace netcdf

}  // namespace c2m::ingest
