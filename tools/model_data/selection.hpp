// Choosing records of a model data file the way a user names them: by the
// short name of the field (--var t,q), by the level in hPa (--level
// 850,500; "sfc" for the surface fields), or by record number (--record 89).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout/grid_description.hpp"

namespace c2m::md {

struct Selection {
  std::vector<int> fields;            // indexes into layout::fields; empty: every field
  std::vector<std::string> levels;    // as given: "850", "1013.25", "sfc"; empty: every level
  std::vector<std::int64_t> records;  // record numbers; excludes the two above

  bool empty() const { return fields.empty() && levels.empty() && records.empty(); }
};

// The fields of "--var NAME[,NAME...]"; UsageError naming an unknown name
// and listing the known ones.
std::vector<int> parse_fields(const std::string& option, const std::string& value);
// The levels of "--level HPA[,HPA...]": numbers or "sfc"; UsageError
// otherwise.
std::vector<std::string> parse_levels(const std::string& option, const std::string& value);

// The records SELECTION names in GRID, in record order.  Every record when
// the selection is empty.  IoFailure (naming PATH) for a record number
// outside the file, a level the file does not have, or a selection that
// matches no record.
std::vector<std::int64_t> select_records(const layout::GridDescription& grid,
                                         const Selection& selection, const std::string& path);

// The refusal of a second model data file on a command line (its one
// operand): "one model data file at a time (got HELD and NEXT)".
std::string one_model_data_file(const std::string& held, const std::string& next);

// The levels of GRID in hPa, bottom first: "1000 925 850".
std::string level_list(const layout::GridDescription& grid);

}  // namespace c2m::md
