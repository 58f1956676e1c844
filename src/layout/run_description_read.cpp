#include "layout/run_description_read.hpp"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "kit/numbers.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"
#include "textio/free_format.hpp"

namespace c2m::layout {

namespace {

constexpr std::int64_t max_points = 536870911;
constexpr std::int64_t max_levels = 100000;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

RunDescription read_run_description(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
  if (!file) throw CannotOpen(system_reason(path, errno));
  FreeFormatReader reader(file.get(), path);
  RunDescription d;
  d.label = reader.read_text_line(label_length, "the run label on line 1");
  while (!d.label.empty() && d.label.back() == ' ') d.label.pop_back();
  const auto sizes = reader.read_integers(3, "the grid sizes im, jm, lm");
  d.grid.im = sizes[0];
  d.grid.jm = sizes[1];
  const std::int64_t lm = sizes[2];
  if (d.grid.im < 1 || d.grid.jm < 1 || lm < 0 || lm > max_levels ||
      std::int64_t{d.grid.im} * d.grid.jm > max_points)
    throw SizeFailure(path + ": unusable grid sizes im = " + decimal(d.grid.im) +
                      ", jm = " + decimal(d.grid.jm) + ", lm = " + decimal(lm) +
                      " (im and jm at least 1, im x jm at most " + decimal(max_points) +
                      ", lm from 0 to " + decimal(max_levels) + ")");
  static constexpr const char* names[7] = {"the grid type",
                                           "the latitude of the first grid point",
                                           "the longitude of the first grid point",
                                           "the latitude of the last grid point",
                                           "the longitude of the last grid point",
                                           "the increment along i",
                                           "the increment along j"};
  for (std::size_t n = 0; n < d.grid.grid.size(); ++n) d.grid.grid[n] = reader.read_integer(names[n]);
  for (std::int64_t k = 1; k <= lm; ++k)
    d.pressures_hpa.push_back(
        reader.read_real("the pressure of level " + decimal(k) + " (hPa)"));
  return d;
}

}  // namespace c2m::layout
