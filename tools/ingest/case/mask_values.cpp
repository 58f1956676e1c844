#include "case/mask_values.hpp"

#include <algorithm>

#include "kit/numbers.hpp"
#include "layout/values.hpp"

namespace c2m::ingest {

void MaskValues::add(std::span<const float> values) {
  for (const float v : values) {
    if (v == layout::undefined_value || (v >= 0.0f && v <= 1.0f)) continue;
    ++outside_;
    if (v >= layout::mask_land_from) ++land_;  // NaN is sea: the converter's comparison fails
    if (v != v) {
      ++nan_;
      continue;
    }
    const bool first = outside_ - nan_ == 1;
    min_ = first ? v : std::min(min_, v);
    max_ = first ? v : std::max(max_, v);
    if (values_.size() < listed || values_.count(v) > 0) ++values_[v];
  }
}

std::optional<std::string> MaskValues::warning(std::int64_t record, const std::string& from) const {
  if (outside_ == 0) return std::nullopt;
  const auto points = [](std::int64_t n) { return decimal(n) + (n == 1 ? " point" : " points"); };
  std::int64_t named = 0;
  for (const auto& [v, n] : values_) named += n;
  std::string which;
  if (named == outside_ - nan_) {
    for (const auto& [v, n] : values_)
      which += (which.empty() ? "" : ", ") + shortest_float(v) + " at " + points(n);
  } else {
    which = "at " + points(outside_ - nan_) + " from " + shortest_float(min_) + " to " + shortest_float(max_);
  }
  if (nan_ > 0) which += (which.empty() ? "" : ", ") + std::string("no number at ") + points(nan_);
  return "record " + decimal(record) + " (lsm, from " + from + "): the land-sea mask holds values outside 0 to 1: " +
         which + " (codes of other surfaces, such as lakes or ice shelves, rather than fractions of land); " +
         "taken as they are, so the converter makes land of " + points(land_) + " of them (a mask from " +
         shortest_float(layout::mask_land_from) + " up is land) and sea of " + points(outside_ - land_);
}

}  // namespace c2m::ingest
