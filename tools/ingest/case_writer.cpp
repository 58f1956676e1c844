#include "case_writer.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "conv2model/record_io.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

class Writer {
 public:
  Writer(const Plan& plan, const Sources& sources, OutputFile& out)
      : plan_(plan), sources_(sources), out_(out), points_(static_cast<std::size_t>(plan.points())) {}

  void run(unsigned threads);
  std::vector<std::string> warnings() const {
    std::vector<std::string> w;
    for (const auto& [record, text] : warnings_) w.push_back(text);
    return w;
  }

 private:
  struct Worker {
    DecodeScratch scratch;
    std::vector<double> values;
    std::vector<float> a, b, c;
  };

  void work(Worker& w);
  void job(const Job& j, Worker& w);
  void load(const Source& s, Worker& w, std::vector<float>& into);
  void rh_of(const LevelHumidity& h, Worker& w, std::vector<float>& rh, std::vector<float>& t);
  void put(std::int64_t record, const std::vector<float>& plane, const std::string& what, bool upper);

  const Plan& plan_;
  const Sources& sources_;
  OutputFile& out_;
  std::size_t points_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> failed_{false};
  std::mutex mutex_;  // the output file and what follows
  std::exception_ptr failure_;
  std::map<std::int64_t, std::string> warnings_;
};

void Writer::load(const Source& s, Worker& w, std::vector<float>& into) {
  sources_[static_cast<std::size_t>(s.field->file)]->read(*s.field, w.scratch, w.values);
  into.resize(points_);
  extract(Turn::of(s.field->grid), plan_.cut, w.values, s.entry->scale, s.entry->offset, into);
}

void Writer::put(std::int64_t record, const std::vector<float>& plane, const std::string& what, bool upper) {
  const std::int64_t bytes = static_cast<std::int64_t>(points_) * 4;
  const std::string label = "record " + std::to_string(record) + " (" + what + ")";
  std::vector<float> swapped;
  const std::vector<float>* data = &plane;
  if constexpr (std::endian::native == std::endian::big) {
    swapped = plane;
    little_endian_to_host(swapped);  // the swap is its own inverse
    data = &swapped;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  out_.write_at(std::as_bytes(std::span<const float>(*data)), (record - 1) * bytes, label);
  // Point (1, 1) of the southernmost row, the last row of the record,
  // tells the converter whether an upper-air level is there at all.
  if (upper && plane[points_ - static_cast<std::size_t>(plan_.cut.cols)] == undefined_value)
    warnings_[record] = label + ": its south-west corner is undefined, so the converter will take "
                        "the whole level as missing";
}

void Writer::rh_of(const LevelHumidity& h, Worker& w, std::vector<float>& rh, std::vector<float>& t) {
  switch (h.from) {
    case RhFrom::q:
      load(h.t, w, t);
      load(*h.q, w, rh);
      rh_from_q(t, rh, h.p_hpa);
      return;
    case RhFrom::r_mixed:
      load(h.t, w, t);
      load(*h.r, w, rh);
      rh_from_mixed(t, rh, h.phase);
      return;
    case RhFrom::r_as_is:
      load(*h.r, w, rh);
      return;
  }
}

void Writer::job(const Job& j, Worker& w) {
  switch (j.kind) {
    case Job::Kind::copy:
      load(j.src, w, w.a);
      put(j.record, w.a, j.what, j.upper_air);
      return;
    case Job::Kind::missing:
      w.a.assign(points_, missing_value);
      put(j.record, w.a, j.q_record ? "r at " + j.what + ", missing" : j.what + ", missing", false);
      if (j.q_record) put(j.q_record, w.a, "q at " + j.what + ", missing", false);
      return;
    case Job::Kind::mask_from_soil:
      load(j.src, w, w.a);
      for (float& v : w.a) v = v == undefined_value ? 0.0f : 1.0f;
      put(j.record, w.a, j.what, false);
      return;
    case Job::Kind::humidity: {
      const LevelHumidity& h = j.hum;
      const std::string r_what = "r at " + j.what, q_what = "q at " + j.what;
      if (h.from == RhFrom::q) {
        // q goes out as it is, then becomes RH in place.
        load(h.t, w, w.a);
        load(*h.q, w, w.b);
        put(j.q_record, w.b, q_what, true);
        rh_from_q(w.a, w.b, h.p_hpa);
        put(j.record, w.b, r_what, true);
        return;
      }
      rh_of(h, w, w.b, w.a);
      put(j.record, w.b, r_what, true);
      if (h.q) {
        load(*h.q, w, w.a);
      } else {
        if (h.from == RhFrom::r_as_is) load(h.t, w, w.a);  // else w.a holds t already
        q_from_rh(w.a, w.b, h.p_hpa);
      }
      put(j.q_record, w.a, q_what, true);
      return;
    }
    case Job::Kind::fill:
      rh_of(j.below, w, w.b, w.a);
      rh_of(j.above, w, w.c, w.a);
      fill_between(w.b, w.c, j.weights);
      put(j.record, w.b, "r at " + j.what + ", filled", true);
      load(j.hum.t, w, w.a);
      q_from_rh(w.a, w.b, j.hum.p_hpa);
      put(j.q_record, w.a, "q at " + j.what + ", derived", true);
      return;
  }
}

void Writer::work(Worker& w) {
  try {
    for (;;) {
      if (failed_.load()) return;
      const std::size_t n = next_.fetch_add(1);
      if (n >= plan_.jobs.size()) return;
      job(plan_.jobs[n], w);
    }
  } catch (const std::bad_alloc&) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_)
      failure_ = std::make_exception_ptr(SizeFailure(out_.name() + ": no memory for the planes of " +
                                                     std::to_string(points_) + " points"));
    failed_ = true;
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    failed_ = true;
  }
}

void Writer::run(unsigned threads) {
  threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(plan_.jobs.size())));
  std::vector<Worker> workers(threads);
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back([this, &workers, t] { work(workers[t]); });
  work(workers[0]);
  for (auto& th : pool) th.join();
  if (failure_) std::rethrow_exception(failure_);
}

}  // namespace

std::vector<std::string> write_records(const Plan& plan, const Sources& sources, OutputFile& out,
                                       unsigned threads) {
  Writer w(plan, sources, out);
  w.run(threads);
  return w.warnings();
}

}  // namespace c2m::ingest
