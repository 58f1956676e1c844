// A small case for in-process tests of the stages: every level and plane
// present, values distinct by field, level and point, held in memory as the
// input grid file stores them; written to a scratch directory and taken
// through stages 5 and 6 (read_input_grid, prepare_fields), it gives the
// work arrays the later stages get in a run.  Header only: the stages live
// in the driver library, which every test executable links.
#pragma once

#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "conv2model/context.hpp"
#include "conv2model/field_prep.hpp"
#include "conv2model/input_grid.hpp"
#include "conv2model/plane_values.hpp"
#include "conv2model/work_arrays.hpp"
#include "support/case_files.hpp"
#include "support/scratch.hpp"
#include "textio/fixed_field.hpp"
#include "textio/log.hpp"

namespace testsupport {

// One of the work arrays: &c2m::WorkArrays::ht, ..., &c2m::WorkArrays::slp.
using FieldOf = c2m::Field c2m::WorkArrays::*;

struct StageCase {
  c2m::RunContext ctx;
  c2m::WorkArrays work;  // as stages 5 and 6 leave them, after load()
  TestCase stored;       // the input grid file, values as stored
  std::shared_ptr<ScratchDir> dir = std::make_shared<ScratchDir>();

  // The record of the input grid file that level K of FIELD (plane K of
  // slp) comes from.
  std::int32_t record(FieldOf field, std::int32_t k) const {
    const InputRecords r = stored.rec();
    if (field == &c2m::WorkArrays::ht) return r.ht(k);
    if (field == &c2m::WorkArrays::rh) return r.rh(k);
    if (field == &c2m::WorkArrays::q) return r.q(k);
    if (field == &c2m::WorkArrays::tp) return r.tp(k);
    if (field == &c2m::WorkArrays::uw) return r.uw(k);
    if (field == &c2m::WorkArrays::vw) return r.vw(k);
    if (field == &c2m::WorkArrays::slp) return r.sfc(k);
    throw std::logic_error("no record for this field");
  }

  // Point (I, J) of level K of FIELD as stored (heights and topography as
  // geopotential).  Takes effect at the next load().
  float& at(FieldOf field, std::int32_t k, std::int32_t i, std::int32_t j) {
    return stored.at(record(field, k), i, j);
  }

  // Level K of FIELD as stored, row j = 1 first; set(...) replaces it.
  std::vector<float> stored_level(FieldOf field, std::int32_t k) {
    std::vector<float> v;
    for (std::int32_t j = 1; j <= ctx.jm; ++j)
      for (std::int32_t i = 1; i <= ctx.im; ++i) v.push_back(at(field, k, i, j));
    return v;
  }
  void set(FieldOf field, std::int32_t k, const std::vector<float>& v) {
    if (v.size() != static_cast<std::size_t>(ctx.im) * static_cast<std::size_t>(ctx.jm))
      throw std::logic_error("a level has im x jm values");
    std::size_t n = 0;
    for (std::int32_t j = 1; j <= ctx.jm; ++j)
      for (std::int32_t i = 1; i <= ctx.im; ++i) at(field, k, i, j) = v[n++];
  }

  // Writes the input grid file and makes the work arrays from it afresh:
  // read (stage 5) and prepared (stage 6).
  void load() {
    work = c2m::allocate_work_arrays(ctx);  // closes the file read before
    work.pr = stored.pr;
    write_file(*dir / "case.bin", stored.input_grid());
    std::string text;
    c2m::Log log(text);
    c2m::read_input_grid(ctx, work, log);
    c2m::prepare_fields(work);
  }

  // The values of level K of F (one of work's arrays) as they would be
  // written now, row j = 1 first.
  std::vector<float> values(const c2m::Field& f, std::int32_t k) const {
    std::vector<float> v;
    c2m::load_plane(f, k, work.input, v);
    return v;
  }
};

// IM x JM points, one level per pressure of PR (hPa, lowest level first);
// the input grid file is "case.bin" in a scratch directory of the case.
// At point (i, j), with p = 10 i + j, level k holds the height 1000 k + p
// (stored as geopotential, 9.8 times it), temperature 290 - 5 k + 0.01 p,
// winds 100 k + p and -100 k - p, relative humidity 10 k + 0.1 p, specific
// humidity 0.001 k; surface plane m holds 100 m + 10 i + j (the topography
// as geopotential, 9.8 times it).  The case comes loaded; after changing
// stored values, load() again.
inline StageCase stage_case(std::int32_t im, std::int32_t jm, std::vector<float> pr) {
  StageCase c;
  c.ctx.input_path = c2m::fixed_field(*c.dir / "case.bin", c2m::path_length);
  c.ctx.im = im;
  c.ctx.jm = jm;
  c.ctx.lm = static_cast<std::int32_t>(pr.size());
  c.stored = TestCase::valid(im, jm, c.ctx.lm);
  c.stored.pr = std::move(pr);
  using W = c2m::WorkArrays;
  for (std::int32_t k = 1; k <= c.ctx.lm; ++k)
    for (std::int32_t j = 1; j <= jm; ++j)
      for (std::int32_t i = 1; i <= im; ++i) {
        const auto p = static_cast<float>(10 * i + j);  // 11, 21, ..., 12, 22, ...
        const auto kf = static_cast<float>(k);
        c.at(&W::ht, k, i, j) = c2m::gravity * (1000.0f * kf + p);
        c.at(&W::tp, k, i, j) = 290.0f - 5.0f * kf + 0.01f * p;
        c.at(&W::uw, k, i, j) = 100.0f * kf + p;
        c.at(&W::vw, k, i, j) = -100.0f * kf - p;
        c.at(&W::rh, k, i, j) = 10.0f * kf + 0.1f * p;
        c.at(&W::q, k, i, j) = 0.001f * kf;
      }
  for (std::int32_t m = 1; m <= c2m::surface_planes; ++m)
    for (std::int32_t j = 1; j <= jm; ++j)
      for (std::int32_t i = 1; i <= im; ++i) {
        const auto v = static_cast<float>(100 * m + 10 * i + j);
        c.at(&W::slp, m, i, j) = m == c2m::plane::topography ? c2m::gravity * v : v;
      }
  c.load();
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
