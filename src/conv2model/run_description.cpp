#include "conv2model/run_description.hpp"

#include <cerrno>
#include <string>

#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"

namespace c2m {

namespace {

constexpr const char* grid_integer_names[7] = {
    "the grid type on line 3",
    "the latitude of the first grid point on line 4",
    "the longitude of the first grid point on line 5",
    "the latitude of the last grid point on line 6",
    "the longitude of the last grid point on line 7",
    "the increment along i on line 8",
    "the increment along j on line 9",
};

// Sizes that no run can work with end it before anything is allocated: a
// grid needs a point, a level count cannot be negative (0 is a case of
// surface fields only), and a record of im x jm x 4 bytes must fit a 32-bit
// signed length.
void check_sizes(const RunContext& ctx) {
  const std::int64_t points = std::int64_t{ctx.im} * ctx.jm;
  if (ctx.im < 1 || ctx.jm < 1 || ctx.lm < 0 || points > max_points)
    throw SizeFailure(std::string(run_description_name) + ": unusable grid sizes im = " +
                      std::to_string(ctx.im) + ", jm = " + std::to_string(ctx.jm) +
                      ", lm = " + std::to_string(ctx.lm) +
                      " (im and jm must be at least 1, lm at least 0, and im x jm at most " +
                      std::to_string(max_points) + ")");
}

}  // namespace

TextFile open_text_file(const char* path, const std::string& shown) {
  TextFile f(std::fopen(path, "r"));
  if (!f) throw CannotOpen(system_reason(shown, errno));
  return f;
}

RunDescription read_run_header(RunContext& ctx) {
  TextFile file = open_text_file(run_description_path, run_description_name);
  FreeFormatReader reader(file.get(), run_description_name);
  ctx.run_label = reader.read_text_line(label_length, "the run label on line 1");
  const auto sizes = reader.read_integers(3, "the grid sizes im, jm, lm");
  ctx.im = sizes[0];
  ctx.jm = sizes[1];
  ctx.lm = sizes[2];
  for (std::size_t n = 0; n < ctx.grid.size(); ++n)
    ctx.grid[n] = reader.read_integer(grid_integer_names[n]);
  check_sizes(ctx);
  return RunDescription{std::move(file), std::move(reader)};
}

void read_pressures(RunDescription& desc, const RunContext& ctx, WorkArrays& work, Log& log) {
  // Grown value by value: a level count far beyond the lines of the file
  // ends at the end of the file, not in a huge allocation.
  work.pr.clear();
  for (std::int32_t k = 1; k <= ctx.lm; ++k)
    work.pr.push_back(
        desc.reader.read_real("the pressure of level " + std::to_string(k) + " (hPa)"));
  desc.file.reset();

  log.put(FreeLine("using hardwired stuff! ").integer(ctx.im).integer(ctx.jm).integer(ctx.lm));
  FreeLine pressures;
  for (const float p : work.pr) pressures.real(p);
  log.put(pressures);
  log.put(FreeLine().text(text_before_blank(ctx.run_label)));
}

void read_date_file(RunContext& ctx) {
  // A missing date file is reported, not created: the run leaves the
  // working directory as it found it.
  TextFile file = open_text_file(date_file_path, date_file_name);
  FreeFormatReader reader(file.get(), date_file_name);
  ctx.date = reader.read_word(date_length, "the date word");
}

}  // namespace c2m
