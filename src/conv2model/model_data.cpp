#include "conv2model/model_data.hpp"

#include <algorithm>

#include "conv2model/grid_description.hpp"

namespace c2m {

std::pair<std::int32_t, std::int32_t> first_sample(std::int32_t im, std::int32_t jm) {
  return {std::max(im / 2, 1), std::max(jm / 2, 1)};
}

std::pair<std::int32_t, std::int32_t> second_sample(std::int32_t im, std::int32_t jm) {
  return {std::max((3 * im) / 4, 1), std::max((3 * jm) / 4, 1)};
}

void write_model_data(const RunContext& ctx, const WorkArrays& work, RecordWriter& out,
                      Log& log) {
  log.put("starting writes to unit1");
  std::int64_t record = 1;
  for (const Field* f : {&work.uw, &work.vw, &work.ht, &work.qnew2, &work.tp})
    for (std::int32_t k = 1; k <= ctx.lm; ++k) out.write_record(f->plane(k), record++);
  for (std::int32_t m = 1; m <= surface_planes; ++m)
    out.write_record(work.slp.plane(m), record++);
  // Bytes of an earlier, longer file would be stale data of another case.
  out.truncate_here();

  log.put(FreeLine("writing these sfc values to the ").text(output_label).text(" file..."));
  for (const auto& [i, j] : {first_sample(ctx.im, ctx.jm), second_sample(ctx.im, ctx.jm)})
    for (std::int32_t m = 1; m <= ctx.nsfcfld; ++m)
      log.put(FreeLine("field, value ").integer(m).real(work.slp(i, j, m)));
  out.close();
}

}  // namespace c2m
