// Work arrays of a small case built in memory, for in-process tests of the
// stages: every level and plane present, values distinct by field, level and
// point.  Header only: the stages live in the driver library, which every
// test executable links.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "conv2model/context.hpp"
#include "conv2model/work_arrays.hpp"
#include "textio/fixed_field.hpp"

namespace testsupport {

struct StageCase {
  c2m::RunContext ctx;
  c2m::WorkArrays work;
};

// IM x JM points, one level per pressure of PR (hPa, lowest level first);
// the input grid file is "case.bin".
inline StageCase stage_case(std::int32_t im, std::int32_t jm, std::vector<float> pr) {
  StageCase c;
  c.ctx.input_path = c2m::fixed_field("case.bin", c2m::path_length);
  c.ctx.im = im;
  c.ctx.jm = jm;
  c.ctx.lm = static_cast<std::int32_t>(pr.size());
  c.work = c2m::allocate_work_arrays(c.ctx);
  c.work.pr = std::move(pr);
  for (std::int32_t k = 1; k <= c.ctx.lm; ++k)
    for (std::int32_t j = 1; j <= jm; ++j)
      for (std::int32_t i = 1; i <= im; ++i) {
        const auto p = static_cast<float>(10 * i + j);  // 11, 21, ..., 12, 22, ...
        const auto kf = static_cast<float>(k);
        c.work.ht(i, j, k) = 1000.0f * kf + p;
        c.work.tp(i, j, k) = 290.0f - 5.0f * kf + 0.01f * p;
        c.work.uw(i, j, k) = 100.0f * kf + p;
        c.work.vw(i, j, k) = -100.0f * kf - p;
        c.work.rh(i, j, k) = 10.0f * kf + 0.1f * p;
        c.work.q(i, j, k) = 0.001f * kf;
      }
  for (std::int32_t m = 1; m <= c2m::surface_planes; ++m)
    for (std::int32_t j = 1; j <= jm; ++j)
      for (std::int32_t i = 1; i <= im; ++i)
        c.work.slp(i, j, m) = static_cast<float>(100 * m + 10 * i + j);
  return c;
}

// The lines of a captured log, without their line feeds.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace testsupport
