#include "layout/run_description_text.hpp"

#include "kit/numbers.hpp"

namespace c2m::layout {

namespace {

void append(std::string& t, std::int64_t v) { t += decimal(v); }

void append_real(std::string& t, float v) { t += shortest_float(v); }

}  // namespace

std::string run_description_text(const std::string& label, const RunGrid& g,
                                  std::span<const float> pressures_hpa) {
  std::string t = label + "\n";
  append(t, std::int64_t{g.im});
  t += ' ';
  append(t, std::int64_t{g.jm});
  t += ' ';
  append(t, static_cast<std::int64_t>(pressures_hpa.size()));
  t += '\n';
  for (const std::int32_t v : g.grid) {
    append(t, std::int64_t{v});
    t += '\n';
  }
  for (const float p : pressures_hpa) {
    append_real(t, p);
    t += '\n';
  }
  return t;
}

}  // namespace c2m::layout
