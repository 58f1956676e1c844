#include "grid_text.hpp"

#include "kit/numbers.hpp"
#include "numbers.hpp"

namespace c2m::md {

namespace {

std::string point_text(std::int64_t lat, std::int64_t lon) {
  return "lat " + degrees(lat) + " lon " + degrees(lon);
}

// "Zonal wind (m/s)" from the converter's listing line.
std::string listed_words(std::string_view line) {
  const auto open = line.rfind('(');
  std::string name(line.substr(0, open));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  const std::string unit(line.substr(open + 1, line.size() - open - 2));
  return unit == " " ? name : name + " (" + unit + ")";
}

}  // namespace

std::string grid_summary(const layout::GridDescription& g) {
  return "grid " + decimal(g.im()) + " x " + decimal(g.jm()) + " points, " +
         decimal(g.lm) + (g.lm == 1 ? " level" : " levels") + ", " +
         decimal(g.record_count()) + " records of " + decimal(g.record_bytes()) +
         " bytes; type " + decimal(g.kgds(1)) + "; first point (south-west corner) " +
         point_text(g.kgds(4), g.kgds(5)) + "; last point " + point_text(g.kgds(7), g.kgds(8)) +
         "; increments " + degrees(g.kgds(9)) + " along i, " + degrees(g.kgds(10)) +
         " along j (degrees)";
}

std::vector<std::string> grid_notes(const layout::GridDescription& g) {
  std::vector<std::string> notes;
  if (g.kgds(1) != 0) {
    notes.push_back("grid type kgds(1) = " + decimal(g.kgds(1)) +
                    " is not 0, a latitude/longitude grid: corners and increments are shown as"
                    " they stand");
  }
  if (g.kgds(11) != 64) {
    notes.push_back("scanning mode kgds(11) = " + decimal(g.kgds(11)) +
                    " is not 64; the records are read with rows running south to north all the"
                    " same");
  }
  const std::int64_t lat = g.kgds(4) + std::int64_t{g.jm() - 1} * g.kgds(10);
  const std::int64_t lon = g.kgds(5) + std::int64_t{g.im() - 1} * g.kgds(9);
  const bool lon_agrees = (lon - g.kgds(8)) % 360000 == 0;  // 360 degrees apart is the same
  if (lat != g.kgds(7) || !lon_agrees) {
    notes.push_back("the last point of kgds(7), kgds(8) (" + point_text(g.kgds(7), g.kgds(8)) +
                    ") is not where the first point and the increments lead (" +
                    point_text(lat, lon) +
                    "); coordinates are taken from the first point and the increments");
  }
  // Records are named by their place in the file; a listing in another
  // order means the file was not written by this converter.
  for (std::size_t f = 0; f < g.listed.size(); ++f) {
    const std::string expected = listed_words(layout::listed_field_names[f]);
    if (g.listed[f].with_unit() != expected) {
      notes.push_back("the grid description lists \"" + g.listed[f].with_unit() + "\" as field " +
                      decimal(f + 1) + ", where the converter writes \"" + expected +
                      "\"; records are named by their place in the file");
      break;
    }
  }
  return notes;
}

}  // namespace c2m::md
