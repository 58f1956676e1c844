// The input files as sources of fields.  Each file is opened and checked
// once (SourceFile), told from its first bytes (netCDF by its format mark:
// CDF 1, 2 or 5, or HDF5's; anything else GRIB, whose reader looks for its
// messages wherever they start and refuses a file with none), and handed,
// open, to the reader that takes it.
//
// A new input format is a reader behind FieldSource in this folder and a
// mark to tell it by here.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "source/fields.hpp"
#include "source/netcdf_source.hpp"

namespace c2m::ingest {

struct SourceOptions {
  std::optional<Centre> centre;  // of the netCDF files, whatever their attributes say
  unsigned threads = 1;          // that parse the headers of a GRIB file
  bool partial = false;          // a GRIB file indexed up to a message that cannot be (IndexEnd)
};

// The source of PATH, the input file number INDEX (from 0).  Throws the
// failures of SourceFile and of the reader, naming the file.
std::unique_ptr<FieldSource> open_source(const std::string& path, int index, const SourceOptions& options);

// The sources of FILES, input file N being FILES[N], each opened and its
// headers indexed once.  Fields valid at any time (netCDF variables with
// no time axis) are stated at the times of the others, or at CHOSEN (the
// time asked for) when no other file states one; IoFailure when no file
// states a time at all.
Sources open_sources(const std::vector<std::string>& files, const SourceOptions& options,
                     const std::optional<ValidTime>& chosen);

}  // namespace c2m::ingest
