#include "conv2model/model_data.hpp"

#include <algorithm>
#include <array>
#include <mutex>
#include <optional>
#include <vector>

#include "conv2model/humidity.hpp"
#include "conv2model/plane_values.hpp"
#include "conv2model/record_jobs.hpp"

namespace c2m {

std::pair<std::int32_t, std::int32_t> first_sample(std::int32_t im, std::int32_t jm) {
  return {std::max(im / 2, 1), std::max(jm / 2, 1)};
}

std::pair<std::int32_t, std::int32_t> second_sample(std::int32_t im, std::int32_t jm) {
  return {std::max((3 * im) / 4, 1), std::max((3 * jm) / 4, 1)};
}

namespace {

// One job: a plane that becomes a record as it is, or the specific humidity
// of a level, which needs the level's temperature and so writes that
// temperature's own record as well (read and prepared once for both).
struct Job {
  std::int64_t record = 0;  // the record made, from 1
  const Plane* plane = nullptr;
  // The humidity of a level: its temperature, relative humidity and
  // pressure, and the record of the temperature.
  const Plane* rh = nullptr;
  float pr = 0.0f;
  std::int64_t t_record = 0;
  std::int32_t surface = 0;  // the surface plane, from 1, whose values are logged
};

// The jobs in the order of their (first) records: uw, vw and ht level by
// level from the bottom, the humidity with the temperature of each level,
// then the twelve surface planes.
std::vector<Job> model_data_jobs(const RunContext& ctx, const WorkArrays& work) {
  std::vector<Job> jobs;
  std::int64_t record = 1;
  for (const Field* f : {&work.uw, &work.vw, &work.ht})
    for (std::int32_t k = 1; k <= ctx.lm; ++k) jobs.push_back({record++, &f->plane(k)});
  for (std::int32_t k = 1; k <= ctx.lm; ++k) {
    Job job{record++, &work.tp.plane(k), &work.rh.plane(k)};
    job.pr = work.pr[static_cast<std::size_t>(k - 1)];
    job.t_record = job.record + ctx.lm;
    jobs.push_back(job);
  }
  record += ctx.lm;
  for (std::int32_t m = 1; m <= surface_planes; ++m) {
    Job job{record++, &work.slp.plane(m)};
    job.surface = m;
    jobs.push_back(job);
  }
  return jobs;
}

// What the threads making the records share.
class RecordMaking {
 public:
  RecordMaking(const RunContext& ctx, const WorkArrays& work, OutputFile& out)
      : ctx_(ctx), in_(work.input), out_(out), jobs_(model_data_jobs(ctx, work)),
        queue_(first_records(jobs_)) {}

  // Makes every record on THREADS threads; throws the failure at the lowest
  // record, if any.
  void run(int threads) {
    // The calling thread's buffers are made before any other thread starts,
    // so that no memory for them fails the run as it always did.
    Buffers own(ctx_.im, ctx_.jm);
    run_on_threads(threads, [this, &own](int thread) {
      if (thread == 0) return work_through(own);
      try {
        Buffers buffers(ctx_.im, ctx_.jm);
        work_through(buffers);
      } catch (const std::bad_alloc&) {
        // No memory for a second set of buffers: the calling thread does the
        // jobs alone.
      }
    });
    queue_.rethrow_failure();
  }

  // Surface plane m's values at the two sample points.
  float sample(int which, std::int32_t m) const {
    return samples_[static_cast<std::size_t>(which)][static_cast<std::size_t>(m - 1)];
  }

 private:
  // A thread's bands: as stored, and as they go out (the temperature's, the
  // relative humidity's and the humidity's for a level's humidity).
  struct Buffers {
    Buffers(std::int32_t im, std::int32_t jm) {
      const std::size_t n = static_cast<std::size_t>(im) *
                            static_cast<std::size_t>(std::min(band_rows(im), jm));
      for (auto* b : {&stored, &out, &rh, &q}) b->resize(n);
    }
    std::vector<float> stored, out, rh, q;
  };

  static std::vector<std::int64_t> first_records(const std::vector<Job>& jobs) {
    std::vector<std::int64_t> r;
    for (const Job& j : jobs) r.push_back(j.record);
    return r;
  }

  void work_through(Buffers& b) {
    while (const auto n = queue_.take()) {
      const Job& job = jobs_[*n];
      try {
        make(job, b);
      } catch (...) {
        queue_.fail(job.record, std::current_exception());
      }
    }
  }

  // Writes the rows J_LO.. of record RECORD; the file takes one write at a
  // time.
  void write(std::span<const float> rows, std::int64_t record, std::int32_t j_lo) {
    const std::int64_t row_bytes = std::int64_t{ctx_.im} * 4;
    const std::int64_t offset = (record - 1) * row_bytes * ctx_.jm + (j_lo - 1) * row_bytes;
    std::lock_guard lock(write_mutex_);
    write_record_part(out_, rows, record, offset);
  }

  void make(const Job& job, Buffers& b) {
    const std::int32_t im = ctx_.im, jm = ctx_.jm, band = band_rows(im);
    const auto [i1, j1] = first_sample(im, jm);
    const auto [i2, j2] = second_sample(im, jm);
    std::optional<LevelHumidity> level;
    if (job.rh) level.emplace(job.pr);
    // A refused write of the temperature's record does not stop the
    // humidity's: a failure there, at a lower record, would be the one
    // reported.
    bool t_failed = false;
    // From the north, in the order the rows are stored.
    for (std::int32_t j_hi = jm; j_hi >= 1; j_hi -= band) {
      const std::int32_t j_lo = std::max(1, j_hi - band + 1);
      const std::size_t count = static_cast<std::size_t>(j_hi - j_lo + 1) * static_cast<std::size_t>(im);
      const std::span<const float> out(b.out.data(), count);
      make_rows(*job.plane, in_, im, j_lo, j_hi, b.stored, b.out);
      if (!level) {
        write(out, job.record, j_lo);
        if (job.surface > 0) {
          const auto at = [&](std::int32_t i, std::int32_t j) {
            return b.out[static_cast<std::size_t>(j - j_lo) * static_cast<std::size_t>(im) +
                         static_cast<std::size_t>(i - 1)];
          };
          const auto m = static_cast<std::size_t>(job.surface - 1);
          if (j1 >= j_lo && j1 <= j_hi) samples_[0][m] = at(i1, j1);
          if (j2 >= j_lo && j2 <= j_hi) samples_[1][m] = at(i2, j2);
        }
        continue;
      }
      make_rows(*job.rh, in_, im, j_lo, j_hi, b.stored, b.rh);
      level->derive(out, std::span<const float>(b.rh.data(), count), std::span<float>(b.q.data(), count));
      write(std::span<const float>(b.q.data(), count), job.record, j_lo);
      if (t_failed) continue;
      try {
        write(out, job.t_record, j_lo);
      } catch (...) {
        t_failed = true;
        queue_.fail(job.t_record, std::current_exception());
      }
    }
  }

  const RunContext& ctx_;
  const InputGrid& in_;
  OutputFile& out_;
  const std::vector<Job> jobs_;
  JobQueue queue_;
  std::mutex write_mutex_;
  std::array<std::array<float, surface_planes>, 2> samples_{};
};

}  // namespace

void write_model_data(const RunContext& ctx, const WorkArrays& work, Outputs& outputs, Log& log,
                      int threads) {
  OutputFile& out = outputs.model_data;
  log.put("starting writes to unit1");
  RecordMaking making(ctx, work, out);
  making.run(threads);

  log.put(FreeLine("writing these sfc values to the ").text(output_label).text(" file..."));
  for (int which = 0; which < 2; ++which)
    for (std::int32_t m = 1; m <= ctx.nsfcfld; ++m)
      log.put(FreeLine("field, value ").integer(m).real(making.sample(which, m)));
  commit_together({&out, &outputs.grid_description});
}

}  // namespace c2m
