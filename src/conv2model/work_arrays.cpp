#include "conv2model/work_arrays.hpp"

namespace c2m {

WorkArrays allocate_work_arrays(const RunContext& ctx) {
  WorkArrays work;
  work.ht = Field(ctx.im, ctx.jm, ctx.lm);
  work.tp = Field(ctx.im, ctx.jm, ctx.lm);
  work.uw = Field(ctx.im, ctx.jm, ctx.lm);
  work.vw = Field(ctx.im, ctx.jm, ctx.lm);
  work.rh = Field(ctx.im, ctx.jm, ctx.lm);
  work.q = Field(ctx.im, ctx.jm, ctx.lm);
  work.slp = Field(ctx.im, ctx.jm, surface_planes);
  return work;
}

}  // namespace c2m
