#include "conv2model/model_data.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "conv2model/band_writer.hpp"
#include "conv2model/humidity.hpp"
#include "conv2model/plane_values.hpp"
#include "conv2model/record_jobs.hpp"
#include "kit/workers.hpp"
#include "layout/records.hpp"

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
  using layout::model_record;
  constexpr int u = 0, v = 1, gh = 2, q = 3, t = 4;  // fields of the model data file
  const std::int64_t lm = ctx.lm;
  std::vector<Job> jobs;
  for (const auto& [f, field] : {std::pair{u, &work.uw}, std::pair{v, &work.vw}, std::pair{gh, &work.ht}})
    for (std::int32_t k = 1; k <= ctx.lm; ++k) jobs.push_back({model_record(f, k, lm), &field->plane(k)});
  for (std::int32_t k = 1; k <= ctx.lm; ++k) {
    Job job{model_record(q, k, lm), &work.tp.plane(k), &work.rh.plane(k)};
    job.pr = work.pr[static_cast<std::size_t>(k - 1)];
    job.t_record = model_record(t, k, lm);
    jobs.push_back(job);
  }
  for (std::int32_t m = 1; m <= surface_planes; ++m) {
    Job job{model_record(layout::upper_count + m - 1, 0, lm), &work.slp.plane(m)};
    job.surface = m;
    jobs.push_back(job);
  }
  return jobs;
}

// A band buffer held by a job, given back if the job fails before handing
// it over.
class HeldBand {
 public:
  explicit HeldBand(BandWriter& writer) : writer_(writer), band_(writer.take()) {}
  ~HeldBand() {
    if (band_) writer_.release(band_);
  }
  HeldBand(const HeldBand&) = delete;
  HeldBand& operator=(const HeldBand&) = delete;
  std::span<float> values() { return band_->values(); }
  BandWriter::Band* hand_over() { return std::exchange(band_, nullptr); }

 private:
  BandWriter& writer_;
  BandWriter::Band* band_;
};

// What the threads making the records share.
class RecordMaking {
 public:
  RecordMaking(const RunContext& ctx, const WorkArrays& work, OutputFile& out)
      : ctx_(ctx), in_(work.input), jobs_(model_data_jobs(ctx, work)),
        queue_(first_records(jobs_)), band_(band_rows(ctx.im)),
        band_values_(static_cast<std::size_t>(ctx.im) *
                     static_cast<std::size_t>(std::min(band_, ctx.jm))),
        // Band buffers: two for each thread, as a level's humidity holds its
        // temperature's band and its own, and more waiting for the file; only
        // one more when rows are so long that a band is more than 256 KiB.
        writer_(out, queue_, band_values_, band_values_ > 65536 ? 5 : 8) {}

  // Makes every record on THREADS threads; throws the failure that comes
  // first in record order, if any.
  void run(int threads) {
    // The calling thread's buffers are made before any other thread starts,
    // so that a lack of memory for them fails the run as it always did.
    Scratch own(band_values_);
    run_on_threads(threads, [this, &own](int thread) {
      if (thread == 0) return work_through(own);
      try {
        Scratch scratch(band_values_);
        work_through(scratch);
      } catch (const std::bad_alloc&) {
        // No memory for a second thread's buffers: the calling thread does
        // the jobs alone.
      }
    });
    queue_.rethrow_failure();
  }

  // Surface plane m's values at the two sample points.
  float sample(int which, std::int32_t m) const {
    return samples_[static_cast<std::size_t>(which)][static_cast<std::size_t>(m - 1)];
  }

 private:
  // A thread's own bands: as stored, and the relative humidity's as made.
  struct Scratch {
    explicit Scratch(std::size_t n) : stored(n), rh(n) {}
    std::vector<float> stored, rh;
  };

  static std::vector<std::int64_t> first_records(const std::vector<Job>& jobs) {
    std::vector<std::int64_t> r;
    for (const Job& j : jobs) r.push_back(j.record);
    return r;
  }

  void work_through(Scratch& scratch) {
    while (const auto n = queue_.take()) {
      const Job& job = jobs_[*n];
      try {
        make(job, scratch);
      } catch (...) {
        queue_.fail(job.record, JobQueue::Step::make, std::current_exception());
      }
    }
  }

  // Byte offset of row J of record RECORD in the model data file.
  std::int64_t offset(std::int64_t record, std::int32_t j) const {
    const std::int64_t row_bytes = std::int64_t{ctx_.im} * 4;
    return (record - 1) * row_bytes * ctx_.jm + std::int64_t{j - 1} * row_bytes;
  }

  void make(const Job& job, Scratch& scratch) {
    const std::int32_t im = ctx_.im, jm = ctx_.jm;
    const auto [i1, j1] = first_sample(im, jm);
    const auto [i2, j2] = second_sample(im, jm);
    std::optional<LevelHumidity> level;
    if (job.rh) level.emplace(job.pr);
    // From the north, in the order the rows are stored.
    for (std::int32_t j_hi = jm; j_hi >= 1; j_hi -= band_) {
      const std::int32_t j_lo = std::max(1, j_hi - band_ + 1);
      const std::size_t count = static_cast<std::size_t>(j_hi - j_lo + 1) * static_cast<std::size_t>(im);
      HeldBand out(writer_);
      make_rows(*job.plane, in_, im, j_lo, j_hi, scratch.stored, out.values());
      if (!level) {
        if (job.surface > 0) {
          const auto at = [&](std::int32_t i, std::int32_t j) {
            return out.values()[static_cast<std::size_t>(j - j_lo) * static_cast<std::size_t>(im) +
                                static_cast<std::size_t>(i - 1)];
          };
          const auto m = static_cast<std::size_t>(job.surface - 1);
          if (j1 >= j_lo && j1 <= j_hi) samples_[0][m] = at(i1, j1);
          if (j2 >= j_lo && j2 <= j_hi) samples_[1][m] = at(i2, j2);
        }
        writer_.put(out.hand_over(), count, job.record, offset(job.record, j_lo));
        continue;
      }
      // The humidity from the temperature just made, which then goes out
      // as its own record.
      make_rows(*job.rh, in_, im, j_lo, j_hi, scratch.stored, scratch.rh);
      HeldBand q(writer_);
      level->derive(out.values().first(count), std::span<const float>(scratch.rh).first(count),
                    q.values().first(count));
      writer_.put(q.hand_over(), count, job.record, offset(job.record, j_lo));
      writer_.put(out.hand_over(), count, job.t_record, offset(job.t_record, j_lo));
    }
  }

  const RunContext& ctx_;
  const InputGrid& in_;
  const std::vector<Job> jobs_;
  JobQueue queue_;
  const std::int32_t band_;
  const std::size_t band_values_;
  BandWriter writer_;
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
