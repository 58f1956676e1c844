#include "selection.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "cli.hpp"
#include "kit/numbers.hpp"
#include "model_file.hpp"
#include "numbers.hpp"
#include "textio/errors.hpp"

namespace c2m::md {

namespace {

std::string known_names() {
  std::string t;
  for (const auto& f : layout::fields) t += (t.empty() ? "" : " ") + std::string(f.short_name);
  return t;
}

// The pressure LEVEL names ("850", "8.5e2"), or nothing.
std::optional<float> hpa_of(const std::string& level) {
  float v = 0.0f;
  if (read_real(level, v) != NumberRead::done || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

std::vector<int> parse_fields(const std::string& option, const std::string& value) {
  std::vector<int> fields;
  for (const std::string& name : cli::split_list(value)) {
    const auto f = layout::field_by_name(name);
    if (!f)
      throw cli::UsageError(option + ": no field \"" + name + "\"; the fields are " +
                            known_names());
    fields.push_back(*f);
  }
  return fields;
}

std::vector<std::string> parse_levels(const std::string& option, const std::string& value) {
  std::vector<std::string> levels = cli::split_list(value);
  for (const std::string& level : levels)
    if (level != "sfc" && !hpa_of(level))
      throw cli::UsageError(option + " wants levels in hPa or \"sfc\", not \"" + level + "\"");
  return levels;
}

std::string one_model_data_file(const std::string& held, const std::string& next) {
  return "one model data file at a time (got " + held + " and " + next + ")";
}

std::string level_list(const layout::GridDescription& grid) {
  std::string t;
  for (std::int64_t k = 1; k <= grid.lm; ++k) t += (k > 1 ? " " : "") + shortest_float(grid.level_hpa(k));
  return t;
}

std::vector<std::int64_t> select_records(const layout::GridDescription& grid,
                                         const Selection& selection, const std::string& path) {
  std::vector<std::int64_t> out;
  if (!selection.records.empty()) {
    for (const std::int64_t n : selection.records) {
      label_record(grid, n, path);  // the range check
      out.push_back(n);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  }
  // Levels as indexes k (1 .. lm), 0 standing for the surface.
  std::vector<std::int64_t> ks;
  for (const std::string& level : selection.levels) {
    if (level == "sfc") {
      ks.push_back(0);
      continue;
    }
    const float hpa = *hpa_of(level);
    std::int64_t found = 0;
    for (std::int64_t k = 1; k <= grid.lm && found == 0; ++k)
      if (grid.level_hpa(k) == hpa) found = k;
    if (found == 0)
      throw IoFailure(path + ": there is no level " + level + " hPa; the levels are " +
                      level_list(grid) + " and sfc");
    ks.push_back(found);
  }
  const auto wanted_field = [&](int f) {
    return selection.fields.empty() ||
           std::find(selection.fields.begin(), selection.fields.end(), f) != selection.fields.end();
  };
  const auto wanted_level = [&](std::int64_t k) {
    return ks.empty() || std::find(ks.begin(), ks.end(), k) != ks.end();
  };
  for (std::int64_t n = 1; n <= grid.record_count(); ++n) {
    const auto place = *layout::model_place(n, grid.lm);
    if (wanted_field(place.field) && wanted_level(place.level)) out.push_back(n);
  }
  if (out.empty())
    throw IoFailure(path + ": no record is both of the fields and at the levels asked for (" +
                    "upper-air fields have the levels " + level_list(grid) +
                    ", surface fields the level sfc)");
  return out;
}

}  // namespace c2m::md
