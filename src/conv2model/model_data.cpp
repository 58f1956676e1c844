#include "conv2model/model_data.hpp"

#include <algorithm>
#include <vector>

#include "conv2model/background_writer.hpp"
#include "conv2model/grid_description.hpp"
#include "conv2model/humidity.hpp"
#include "conv2model/plane_values.hpp"

namespace c2m {

std::pair<std::int32_t, std::int32_t> first_sample(std::int32_t im, std::int32_t jm) {
  return {std::max(im / 2, 1), std::max(jm / 2, 1)};
}

std::pair<std::int32_t, std::int32_t> second_sample(std::int32_t im, std::int32_t jm) {
  return {std::max((3 * im) / 4, 1), std::max((3 * jm) / 4, 1)};
}

void write_model_data(const RunContext& ctx, const WorkArrays& work, Outputs& outputs,
                      Log& log) {
  OutputFile& out = outputs.model_data;
  log.put("starting writes to unit1");
  // Each record is made in a buffer that a second thread then writes,
  // while the next is made; rh_values holds the relative humidity that the
  // specific humidity of a level needs beside its temperature.
  const std::size_t points = static_cast<std::size_t>(ctx.im) * static_cast<std::size_t>(ctx.jm);
  BackgroundWriter writer(out, points);
  std::vector<float> rh_values(points), tp_values(points);
  std::int64_t record = 1;
  const auto write_block = [&](const Field& f) {
    for (std::int32_t k = 1; k <= ctx.lm; ++k) {
      load_plane(f, k, work.input, writer.buffer());
      writer.submit(record++);
    }
  };
  write_block(work.uw);
  write_block(work.vw);
  write_block(work.ht);
  for (std::int32_t k = 1; k <= ctx.lm; ++k) {
    load_plane(work.tp, k, work.input, tp_values);
    load_plane(work.rh, k, work.input, rh_values);
    std::vector<float>& qnew2 = writer.buffer();
    derive_humidity(tp_values, rh_values, work.pr[static_cast<std::size_t>(k - 1)], qnew2);
    writer.submit(record++);
  }
  write_block(work.tp);

  const auto [i1, j1] = first_sample(ctx.im, ctx.jm);
  const auto [i2, j2] = second_sample(ctx.im, ctx.jm);
  const auto at = [&](const std::vector<float>& values, std::int32_t i, std::int32_t j) {
    return values[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(ctx.im) +
                  static_cast<std::size_t>(i - 1)];
  };
  float sample1[surface_planes], sample2[surface_planes];
  for (std::int32_t m = 1; m <= surface_planes; ++m) {
    std::vector<float>& values = writer.buffer();
    load_plane(work.slp, m, work.input, values);
    sample1[m - 1] = at(values, i1, j1);
    sample2[m - 1] = at(values, i2, j2);
    writer.submit(record++);
  }
  writer.finish();

  log.put(FreeLine("writing these sfc values to the ").text(output_label).text(" file..."));
  for (const float* sample : {sample1, sample2})
    for (std::int32_t m = 1; m <= ctx.nsfcfld; ++m)
      log.put(FreeLine("field, value ").integer(m).real(sample[m - 1]));
  commit_together({&out, &outputs.grid_description});
}

}  // namespace c2m
