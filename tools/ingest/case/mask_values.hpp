// The values of a land-sea mask that are no fraction of land.  A mask is 0
// over sea and 1 over land, fractions between along the coasts; some
// datasets code other surfaces in it instead (2 a lake, 3 or 4 an ice shelf
// or a small island), which the converter would take for land.  The mask
// goes into the case as it is, and the report warns of such values: which
// they are, how many points hold them, and what the converter makes of them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

namespace c2m::ingest {

class MaskValues {
 public:
  // The points of a block of the mask (undefined points are passed over).
  void add(std::span<const float> values);
  // The warning for the mask of record RECORD taken from FROM (the file and
  // field), or nothing when every value lies within 0 to 1.
  std::optional<std::string> warning(std::int64_t record, const std::string& from) const;

 private:
  static constexpr std::size_t listed = 8;  // distinct values named one by one
  std::map<float, std::int64_t> values_;    // the first few distinct values outside 0 to 1
  std::int64_t outside_ = 0, land_ = 0;     // points outside 0 to 1, and of them those made land
  std::int64_t nan_ = 0;                    // of them, those that hold no number
  float min_ = 0, max_ = 0;                 // of those that hold one
};

}  // namespace c2m::ingest
