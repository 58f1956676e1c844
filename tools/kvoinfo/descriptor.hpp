// A GrADS-style data descriptor for a model data file, so that the file can
// be opened in tools that read such descriptors.  The descriptor refers to
// the data file by its name relative to the descriptor ("dset ^NAME"): save
// it beside the data file.
//
// The layout maps one to one: a descriptor lists its variables in the order
// of their records, a variable of LM levels takes LM records bottom first,
// and one of 0 levels a single record, which is how the converter writes
// the five upper-air fields and the twelve surface fields.  Rows run south
// to north in both.
#pragma once

#include <ostream>
#include <string>

#include "grid_info.hpp"

namespace kvo {

void write_descriptor(std::ostream& out, const std::string& data_path, const GridInfo& grid);

}  // namespace kvo
