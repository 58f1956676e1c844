// A GrADS-style data descriptor for a model data file, so that the file can
// be opened in tools that read such descriptors.
//
// The layout maps one to one: a descriptor lists its variables in the order
// of their records, a variable of LM levels takes LM records bottom first,
// and one of 0 levels a single record, which is how the converter writes
// the five upper-air fields and the twelve surface fields.  Rows run south
// to north in both.  Variables carry the short names of layout/records.hpp.
#pragma once

#include <optional>
#include <string>

#include "case_date.hpp"
#include "layout/grid_description.hpp"

namespace c2m::exporter {

// A date of the case, YYYYMMDDHH or YYYYMMDD, as the descriptor's time
// ("06z01jan2024"); nothing when TEXT is not a valid date.
std::optional<std::string> descriptor_time(const std::string& text);
std::string descriptor_time(const CaseDate& date);

// The time axis written when the case's date is unknown.
inline constexpr const char* placeholder_time = "00z01jan2000";

// "case.bin.KVOwrk: model initial data, 111 x 61 points, 17 levels": the
// title of the model data file DATA_NAME (its file name) in every export.
std::string data_title(const layout::GridDescription& grid, const std::string& data_name);

// The descriptor of a model data file named DATA_NAME (its file name, for
// the title) whose "dset" entry is DSET ("^case.bin.KVOwrk" beside the
// descriptor, or an absolute path); TIME from descriptor_time(), or
// nothing for the placeholder.
std::string descriptor_text(const layout::GridDescription& grid, const std::string& data_name,
                            const std::string& dset, const std::optional<std::string>& time);

}  // namespace c2m::exporter
