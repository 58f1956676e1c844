#include "inventory.hpp"

#include <algorithm>

#include "numbers.hpp"
#include "record_stats.hpp"

namespace kvo {

namespace {

std::string point_text(std::int32_t lat, std::int32_t lon) {
  return "lat " + degrees(lat) + " lon " + degrees(lon);
}

// Column widths of the inventory table.
struct Columns {
  std::size_t record;
  std::size_t field;
  std::size_t level = 7;
  std::size_t number = 14;  // "-1.234567e+06" and a gap
  std::size_t missing_count;
  std::size_t count;

  explicit Columns(const GridInfo& g) {
    record = std::max<std::size_t>(3, std::to_string(g.record_count()).size());
    field = 5;
    for (const auto& f : g.upper) field = std::max(field, f.with_unit().size());
    for (const auto& f : g.surface) field = std::max(field, f.with_unit().size());
    count = std::max<std::size_t>(3, std::to_string(g.points()).size());
    missing_count = std::max<std::size_t>(7, count);
  }

  std::string line(const std::string& rec, const std::string& field_text, const std::string& lev,
                   const std::string& min, const std::string& max, const std::string& mean,
                   const std::string& missing, const std::string& nan, const std::string& inf) const {
    return right(rec, record) + "  " + left(field_text, field) + "  " + right(lev, level) +
           right(min, number) + right(max, number) + right(mean, number) + "  " +
           right(missing, missing_count) + "  " + right(nan, count) + "  " + right(inf, count);
  }
};

}  // namespace

std::string grid_summary(const GridInfo& g) {
  return "grid " + std::to_string(g.im()) + " x " + std::to_string(g.jm()) + " points, " +
         std::to_string(g.lm) + (g.lm == 1 ? " level" : " levels") + ", " +
         std::to_string(g.record_count()) + " records of " + std::to_string(g.record_bytes()) +
         " bytes; type " + std::to_string(g.kgds(1)) + "; first point (south-west corner) " +
         point_text(g.kgds(4), g.kgds(5)) + "; last point " + point_text(g.kgds(7), g.kgds(8)) +
         "; increments " + degrees(g.kgds(9)) + " along i, " + degrees(g.kgds(10)) +
         " along j (degrees)";
}

std::vector<std::string> grid_notes(const GridInfo& g) {
  std::vector<std::string> notes;
  if (g.kgds(1) != 0) {
    notes.push_back("grid type kgds(1) = " + std::to_string(g.kgds(1)) +
                    " is not 0, a latitude/longitude grid: corners and increments are shown as"
                    " they stand");
  }
  if (g.kgds(11) != 64) {
    notes.push_back("scanning mode kgds(11) = " + std::to_string(g.kgds(11)) +
                    " is not 64; the records are read with rows running south to north all the"
                    " same");
  }
  const std::int64_t lat = g.kgds(4) + std::int64_t{g.jm() - 1} * g.kgds(10);
  const std::int64_t lon = g.kgds(5) + std::int64_t{g.im() - 1} * g.kgds(9);
  const bool lon_agrees = (lon - g.kgds(8)) % 360000 == 0;  // 360 degrees apart is the same
  if (lat != g.kgds(7) || !lon_agrees) {
    notes.push_back("the last point of kgds(7), kgds(8) (" + point_text(g.kgds(7), g.kgds(8)) +
                    ") is not where the first point and the increments lead (" +
                    point_text(static_cast<std::int32_t>(lat), static_cast<std::int32_t>(lon)) +
                    "); the descriptor uses the first point and the increments");
  }
  return notes;
}

void write_inventory(std::ostream& out, ModelFile& file, std::optional<std::int64_t> only) {
  const GridInfo& g = file.grid();
  const Columns columns(g);
  // Check the record number before anything is written.
  if (only) label_record(g, *only, file.path());

  out << grid_summary(g) << '\n';
  for (const auto& note : grid_notes(g)) out << "note: " << note << '\n';
  out << columns.line("rec", "field", "level", "min", "max", "mean", "missing", "nan", "inf")
      << '\n';

  std::vector<float> values;
  const std::int64_t first = only.value_or(1);
  const std::int64_t last = only.value_or(g.record_count());
  for (std::int64_t n = first; n <= last; ++n) {
    const RecordLabel label = label_record(g, n, file.path());
    file.read(n, values);
    const RecordStats s = record_stats(values);
    const bool any = s.valid > 0;
    std::string line = columns.line(
        std::to_string(n), label.name->with_unit(), level_text(label),
        any ? significant(s.min, 7) : "-", any ? significant(s.max, 7) : "-",
        any ? significant(s.mean, 7) : "-", std::to_string(s.missing), std::to_string(s.nan),
        std::to_string(s.infinite));
    if (!any) line += "  no valid point";
    out << line << '\n';
  }
}

}  // namespace kvo
