// The index a provider publishes beside each GRIB file: a line per
// message (per field, for a message of several), with where its bytes
// start, so that a client can take only the messages it needs with range
// requests.
//
// NCEP's lines are N:OFFSET:d=YYYYMMDDHH:VAR:LEVEL:FORECAST: in the
// order of the file, a message of several fields listed as N.1, N.2 with
// one offset; a message runs to the next message's offset, the last to the
// end of the file.  ECMWF's are one JSON object a line holding the MARS
// keys of a field (param, levtype, levelist, step, ...) and its _offset
// and _length.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "providers.hpp"

namespace c2m::fetch {

struct IndexEntry {
  int message = 0;   // in the file, from 1
  int subfield = 0;  // 0 for a message of one field, else its field from 1
  std::int64_t offset = 0;
  std::optional<std::int64_t> length;  // none: to the end of the file
  std::string name;   // NCEP's VAR, MARS's param
  std::string level;  // NCEP's LEVEL; MARS's levtype, and levelist after a blank
  int line = 0;       // in the index, from 1
  std::string words;  // "TMP:500 mb", "t pl 500": the entry in the index's own words
};

struct Index {
  std::vector<IndexEntry> entries;  // in the order of the file
  int messages = 0;
};

// TEXT, the index at URL, in FORMAT.  IoFailure naming URL and the line
// for a line that is not one, or offsets that do not go forward.
Index parse_index(IndexFormat format, std::string_view text, const std::string& url);

}  // namespace c2m::fetch
