#include "conv2model/input_grid.hpp"

#include <string>

#include "conv2model/run_description.hpp"
#include "kit/numbers.hpp"
#include "textio/fixed_field.hpp"

namespace c2m {

namespace {

// The planes of FIELD stand for the next records, from *R on.
void take_records(const InputGrid& in, Field& field, Prep prep, std::int64_t& r) {
  for (std::int32_t k = 1; k <= field.levels(); ++k, ++r) {
    Plane& p = field.plane(k);
    p.record = r;
    p.prep = prep;
    p.first = in.read_point(r, 1, 1);
  }
}

Prep surface_prep(std::int32_t n) {
  if (n == plane::land_sea_mask) return Prep::mask;
  if (n == plane::topography) return Prep::topography;
  return Prep::surface;
}

}  // namespace

void read_input_grid(const RunContext& ctx, WorkArrays& work, Log& log) {
  const std::string name(text_before_blank(ctx.input_path));
  log.put(FreeLine("OPEN FILE ").text(name));

  work.input = InputGrid(name, ctx.im, ctx.jm, ctx.located(name));
  const std::int64_t records = 6 * std::int64_t{ctx.lm} + surface_planes;
  const std::int64_t excess = work.input.check_records(records);
  if (excess > 0) {
    const std::int64_t len = std::int64_t{ctx.im} * ctx.jm * 4;
    log.warn(name + ": the file is " + decimal(excess) + " bytes longer than its " +
             decimal(records) + " records (6 x lm + 12) of im x jm x 4 = " +
             decimal(len) + " bytes (" + decimal(records * len) +
             " bytes): im, jm or lm are probably wrong (" + run_description_name +
             " says im = " + decimal(ctx.im) + ", jm = " + decimal(ctx.jm) +
             ", lm = " + decimal(ctx.lm) + ")");
  }
  std::int64_t r = 1;
  take_records(work.input, work.ht, Prep::height, r);
  take_records(work.input, work.rh, Prep::upper_air, r);
  take_records(work.input, work.q, Prep::upper_air, r);
  take_records(work.input, work.tp, Prep::upper_air, r);
  take_records(work.input, work.uw, Prep::upper_air, r);
  take_records(work.input, work.vw, Prep::upper_air, r);
  for (std::int32_t n = 1; n <= surface_planes; ++n) {
    Plane& p = work.slp.plane(n);
    p.record = r;
    p.prep = surface_prep(n);
    p.first = work.input.read_point(r++, 1, 1);
  }
}

}  // namespace c2m
