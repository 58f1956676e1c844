#include "conv2model/input_grid.hpp"

#include <string>

#include "conv2model/field_prep.hpp"
#include "conv2model/record_io.hpp"
#include "textio/fixed_field.hpp"

namespace c2m {

namespace {

// Reads the next LEVELS records into the planes of FIELD, rows turned.
void read_block(RecordReader& in, Field& field, std::int32_t im, std::int32_t levels) {
  for (std::int32_t k = 1; k <= levels; ++k) {
    in.read_next(field.plane(k));
    turn_rows(field.plane(k), im);
  }
}

}  // namespace

void read_input_grid(const RunContext& ctx, WorkArrays& work, Log& log) {
  const std::string name(text_before_blank(ctx.input_path));
  log.put(FreeLine("OPEN FILE ").text(name));

  RecordReader in(name);
  read_block(in, work.ht, ctx.im, ctx.lm);
  geopotential_to_height(work.ht.all());
  read_block(in, work.rh, ctx.im, ctx.lm);
  read_block(in, work.q, ctx.im, ctx.lm);
  read_block(in, work.tp, ctx.im, ctx.lm);
  read_block(in, work.uw, ctx.im, ctx.lm);
  read_block(in, work.vw, ctx.im, ctx.lm);
  read_block(in, work.slp, ctx.im, surface_planes);
  in.close();
}

}  // namespace c2m
