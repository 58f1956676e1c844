#include "conv2model/run_description.hpp"

#include <cerrno>
#include <string>

#include "kit/numbers.hpp"
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
// surface fields only) nor beyond any atmosphere's, and a record of
// im x jm x 4 bytes must fit a 32-bit signed length.
void check_sizes(const RunContext& ctx) {
  const std::int64_t points = std::int64_t{ctx.im} * ctx.jm;
  if (ctx.im < 1 || ctx.jm < 1 || ctx.lm < 0 || ctx.lm > max_levels || points > max_points)
    throw SizeFailure(std::string(run_description_name) + ": unusable grid sizes im = " +
                      decimal(ctx.im) + ", jm = " + decimal(ctx.jm) +
                      ", lm = " + decimal(ctx.lm) +
                      " (im and jm must be at least 1, lm from 0 to " +
                      decimal(max_levels) + ", and im x jm at most " +
                      decimal(max_points) + ")");
}

std::string str(std::int64_t v) { return decimal(v); }

// The shortest text that reads back as V.
std::string str(float v) { return shortest_float(v); }

// Grid integers that convert but almost certainly describe another grid
// than the one meant.  Only a latitude/longitude grid (type 0) is judged.
void warn_about_grid(const RunContext& ctx, Log& log) {
  if (ctx.grid[0] != 0) return;
  const std::string f = run_description_name;
  const std::int64_t lat1 = ctx.grid[1], lon1 = ctx.grid[2], lat2 = ctx.grid[3],
                     lon2 = ctx.grid[4], di = ctx.grid[5], dj = ctx.grid[6];
  for (const auto& [name, lat] : {std::pair{"first", lat1}, std::pair{"last", lat2}})
    if (lat < -90000 || lat > 90000)
      log.warn(f + ": the latitude of the " + name + " grid point, " + str(lat) +
               " thousandths of a degree, lies beyond 90 degrees");
  const std::int64_t lat_end = lat1 + (ctx.jm - 1) * dj;
  if (lat2 != lat_end)
    log.warn(f + ": the latitude of the last grid point, " + str(lat2) +
             ", does not follow from the first and the increment: lat1 + (jm - 1) x dj = " +
             str(lat1) + " + " + str(std::int64_t{ctx.jm} - 1) + " x " + str(dj) + " = " + str(lat_end));
  const std::int64_t lon_end = lon1 + (ctx.im - 1) * di;
  const auto turn = [](std::int64_t v) { return ((v % 360000) + 360000) % 360000; };
  if (turn(lon2) != turn(lon_end))
    log.warn(f + ": the longitude of the last grid point, " + str(lon2) +
             ", does not follow from the first and the increment: lon1 + (im - 1) x di = " +
             str(lon1) + " + " + str(std::int64_t{ctx.im} - 1) + " x " + str(di) + " = " + str(lon_end) +
             " (modulo 360000)");
}

// Level 1 is the bottom of the atmosphere: pressures fall from it upward.
void warn_about_pressures(const std::vector<float>& pr, Log& log) {
  const std::string f = run_description_name;
  for (std::size_t k = 0; k < pr.size(); ++k) {
    if (!(pr[k] > 0.0f)) {
      log.warn(f + ": the pressure of level " + str(static_cast<std::int64_t>(k + 1)) + ", " +
               str(pr[k]) + " hPa, is not positive");
      return;
    }
    if (k > 0 && !(pr[k] < pr[k - 1])) {
      log.warn(f + ": the pressures do not fall strictly from level 1 (the bottom) up: level " +
               str(static_cast<std::int64_t>(k)) + " has " + str(pr[k - 1]) +
               " hPa, level " + str(static_cast<std::int64_t>(k + 1)) + " " +
               str(pr[k]) + " hPa");
      return;
    }
  }
}

}  // namespace

TextFile open_text_file(const char* path, const std::string& shown) {
  TextFile f(std::fopen(path, "r"));
  if (!f) throw CannotOpen(system_reason(shown, errno));
  return f;
}

RunDescription read_run_header(RunContext& ctx) {
  TextFile file = open_text_file(ctx.located(run_description_path).c_str(), run_description_name);
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
        desc.reader.read_real("the pressure of level " + decimal(k) + " (hPa)"));
  desc.file.reset();

  log.put(FreeLine("using hardwired stuff! ").integer(ctx.im).integer(ctx.jm).integer(ctx.lm));
  FreeLine pressures;
  for (const float p : work.pr) pressures.real(p);
  log.put(pressures);
  log.put(FreeLine().text(text_before_blank(ctx.run_label)));
  warn_about_grid(ctx, log);
  warn_about_pressures(work.pr, log);
}

void read_date_file(RunContext& ctx) {
  // A missing date file is reported, not created: the run leaves the
  // working directory as it found it.
  TextFile file = open_text_file(ctx.located(date_file_path).c_str(), date_file_name);
  FreeFormatReader reader(file.get(), date_file_name);
  ctx.date = reader.read_word(date_length, "the date word");
}

}  // namespace c2m
