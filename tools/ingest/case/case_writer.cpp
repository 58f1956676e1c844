#include "case/case_writer.hpp"
#include "case/extract.hpp"
#include "case/mask_values.hpp"
#include "case/plan_words.hpp"
#include "case/record_writer.hpp"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <tuple>

#include "kit/numbers.hpp"
#include "kit/workers.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

// Rows are decoded and converted in blocks of about this many values, so
// that the values decoded are used while the processor's cache holds them.
constexpr std::int64_t block_values = 64 * 1024;

using Plane = RecordWriter::Plane;

// Workers for the jobs of PLAN on THREADS threads, and at most how many of
// them make a level's humidity at once.
unsigned workers_for(const Plan& plan, unsigned threads) {
  return std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(plan.jobs.size())));
}
unsigned heavy_for(unsigned workers) { return std::max(1u, workers / 2); }

// The planes a run holds at most: three for a level's humidity (its t,
// q and RH), one for each other job, and one written meanwhile.
std::size_t planes_for(unsigned workers) {
  const unsigned heavy = heavy_for(workers);
  return 3 * std::size_t{heavy} + (workers - heavy);
}

// The first record a job writes.
std::int64_t first_record(const Job& j) {
  std::int64_t r = j.record;
  for (const std::int64_t o : {j.q_record, j.t_record})
    if (o > 0) r = std::min(r, o);
  return r;
}

class Writer {
 public:
  Writer(const Plan& plan, const Sources& sources, OutputFile& out, unsigned threads)
      : plan_(plan), sources_(sources), out_(out), points_(static_cast<std::size_t>(plan.points())),
        cols_(plan.cut.cols), rows_(plan.cut.rows),
        block_rows_(std::max<std::int64_t>(1, block_values / std::max<std::int64_t>(plan.cut.cols, 1))),
        threads_(threads), records_(out, plan.points(), planes_for(workers_for(plan, threads))) {}

  void run();
  std::vector<std::string> warnings() const;

 private:
  struct Worker {
    DecodeScratch scratch;
    // The field last made ready: decoded whole into VALUES (in the file's
    // order), or to be decoded a few of its stored rows at a time into PIECE.
    bool in_pieces = false;
    std::vector<double> values, piece;
  };

  void work(Worker& w);
  void job(const Job& j, Worker& w);
  // Makes the field of S ready to be converted: decoded whole, unless its
  // source gives it in pieces and its rows are stored whole, one after the
  // other; then each block of rows is decoded as it is converted, and the
  // values go from the decoder to the case while the cache holds them.
  void decode(const Source& s, Worker& w);
  // Rows R0 .. R1 - 1 of the case from the field made ready (of S),
  // converted, into OUT.
  void rows(const Source& s, Worker& w, std::int64_t r0, std::int64_t r1, float* out);
  // The field of S made ready and converted into INTO, a block of rows at
  // a time; EACH(r0, r1) is called once rows r0 .. r1 - 1 are in it.
  template <class Each>
  void convert(const Source& s, Worker& w, std::vector<float>& into, Each&& each);
  // The same into a plane of its own.
  Plane field(const Source& s, Worker& w) {
    Plane p = records_.plane();
    convert(s, w, *p, [](std::int64_t, std::int64_t) {});
    return p;
  }
  // RECORD handed over to be written, its corner checked.
  void put(std::int64_t record, const Plane& plane, const std::string& what, bool upper);
  Plane rh_of(const LevelHumidity& h, Worker& w);
  void humidity(const Job& j, const std::string& what, Worker& w);
  void fill(const Job& j, const std::string& what, Worker& w);
  std::span<float> span_of(const Plane& p, std::int64_t r0, std::int64_t r1) const {
    return std::span<float>(p->data() + r0 * cols_, static_cast<std::size_t>((r1 - r0) * cols_));
  }

  // The next job for a worker, or nullptr when none is left (or a worker
  // failed); a humidity job only while fewer than the most run.
  const Job* take();
  void done(const Job& j);

  const Plan& plan_;
  const Sources& sources_;
  OutputFile& out_;
  std::size_t points_;
  std::int64_t cols_, rows_, block_rows_;
  unsigned threads_;
  RecordWriter records_;
  // The plan's jobs as the workers take them: those of a level's humidity
  // (three planes held at once) and the others (one), each by its first
  // record.  At most heavy_most_ humidity jobs run at once, so that the
  // planes held stay few while the other workers copy the winds and the
  // heights meanwhile.
  std::vector<const Job*> heavy_, light_;
  std::size_t heavy_next_ = 0, light_next_ = 0;
  unsigned heavy_running_ = 0, heavy_most_ = 1;
  std::mutex queue_;
  std::condition_variable heavy_done_;
  Workers workers_;
  std::mutex mutex_;  // the warnings
  std::map<std::int64_t, std::string> warnings_;
  // Fields with values that are not numbers, by file, message and field.
  std::map<std::tuple<int, int, int>, std::string> non_finite_;
};

void Writer::decode(const Source& s, Worker& w) {
  const FieldSource& src = *sources_[static_cast<std::size_t>(s.field->file)];
  const GridInfo& g = s.field->grid;
  w.scratch.non_finite = 0;
  w.in_pieces = !g.j_consecutive && !g.alternating && s.field->points == g.ni * g.nj &&
               src.read_range(*s.field, w.scratch, 0, {});
  if (w.in_pieces) return;
  src.read(*s.field, w.scratch, w.values);
  // The grid's own count of points, which the turning relies on.
  if (static_cast<std::int64_t>(w.values.size()) != g.ni * g.nj)
    throw IoFailure(name_of(*s.field, sources_) + ": holds " + decimal(w.values.size()) +
                    " values, but its grid has " + decimal(g.ni) + " x " + decimal(g.nj) +
                    " points: it is corrupt");
  if (w.scratch.non_finite > 0) {
    const FieldInfo& f = *s.field;
    std::lock_guard<std::mutex> lock(mutex_);
    non_finite_[{f.file, f.message, f.subfield}] =
        name_of(f, sources_) + ": " + decimal(w.scratch.non_finite) + " of its " + decimal(f.points) +
        " values are not numbers (NaN or infinite): they are taken as undefined points";
  }
}

void Writer::rows(const Source& s, Worker& w, std::int64_t r0, std::int64_t r1, float* out) {
  const Turn turn = Turn::of(s.field->grid);
  const Cut& cut = plan_.cut;
  if (!w.in_pieces) {
    extract_rows(turn, cut, w.values, s.entry->scale, s.entry->offset, r0, r1,
                 std::span<float>(out, static_cast<std::size_t>((r1 - r0) * cols_)));
    return;
  }
  // A few stored rows at a time: those of case rows A .. B - 1 are the
  // stored rows S0 .. S1 - 1 (rows are stored from the north, or from the
  // south when j_positive), decoded and then turned as a grid of their own.
  const FieldSource& src = *sources_[static_cast<std::size_t>(s.field->file)];
  const std::int64_t step = std::max<std::int64_t>(1, block_values / std::max<std::int64_t>(turn.ni, 1));
  for (std::int64_t a = r0; a < r1; a += step) {
    const std::int64_t b = std::min(r1, a + step);
    const std::int64_t s0 = turn.j_positive ? turn.nj - (cut.row0 + b) : cut.row0 + a;
    const std::int64_t s1 = s0 + (b - a);
    w.piece.resize(static_cast<std::size_t>((s1 - s0) * turn.ni));
    if (!src.read_range(*s.field, w.scratch, s0 * turn.ni, w.piece))
      throw IoFailure(name_of(*s.field, sources_) + ": its values cannot be decoded a block of rows at a time");
    Turn sub = turn;
    sub.nj = s1 - s0;
    const Cut sub_cut{0, b - a, cut.col0, cut.cols};
    extract_rows(sub, sub_cut, w.piece, s.entry->scale, s.entry->offset, 0, b - a,
                 std::span<float>(out + (a - r0) * cols_, static_cast<std::size_t>((b - a) * cols_)));
  }
}

template <class Each>
void Writer::convert(const Source& s, Worker& w, std::vector<float>& into, Each&& each) {
  decode(s, w);
  for (std::int64_t r0 = 0; r0 < rows_; r0 += block_rows_) {
    const std::int64_t r1 = std::min(rows_, r0 + block_rows_);
    rows(s, w, r0, r1, into.data() + r0 * cols_);
    each(r0, r1);
  }
}

void Writer::put(std::int64_t record, const Plane& plane, const std::string& what, bool upper) {
  // Point (1, 1) of the southernmost row, the first of the record's last
  // row, tells the converter whether an upper-air level is there at all.
  if (upper && (*plane)[static_cast<std::size_t>((rows_ - 1) * cols_)] == undefined_value) {
    std::lock_guard<std::mutex> lock(mutex_);
    warnings_[record] = "record " + decimal(record) + " (" + what +
                        "): its south-west corner is undefined, so the converter will take the whole level "
                        "as missing";
  }
  records_.put(record, plane, what);
}

Plane Writer::rh_of(const LevelHumidity& h, Worker& w) {
  switch (h.from) {
    case RhFrom::q: {
      const Plane t = field(h.t, w);
      Plane rh = field(*h.q, w);
      rh_from_q(*t, *rh, h.p_hpa);
      return rh;
    }
    case RhFrom::r_mixed: {
      const Plane t = field(h.t, w);
      Plane rh = field(*h.r, w);
      rh_from_mixed(*t, *rh, h.phase);
      return rh;
    }
    case RhFrom::r_as_is: return field(*h.r, w);
  }
  return nullptr;
}

void Writer::fill(const Job& j, const std::string& what, Worker& w) {
  const Plane b = rh_of(j.below, w);
  {
    const Plane c = rh_of(j.above, w);
    fill_between(*b, *c, j.weights);
  }
  // RH over water filled between the levels, its q, and then (exact) the
  // converter's RH for that q.
  const Plane t = field(j.hum.t, w);
  const Plane q = records_.plane();
  std::copy(t->begin(), t->end(), q->begin());
  q_from_rh(*q, *b, j.hum.p_hpa);
  if (plan_.humidity == HumidityRecords::exact) rh_for_converter(*t, *q, *b, j.hum.p_hpa);
  put(j.record, b, "r at " + what + ", filled", true);
  put(j.q_record, q, "q at " + what + ", derived", true);
}

void Writer::job(const Job& j, Worker& w) {
  const std::string what = job_words(j);
  switch (j.kind) {
    case Job::Kind::copy: {
      const Plane p = field(j.src, w);
      if (j.what.quantity == Quantity::lsm) {
        MaskValues mask_values;
        mask_values.add(*p);
        if (const auto warning = mask_values.warning(j.record, name_of(*j.src.field, sources_))) {
          std::lock_guard<std::mutex> lock(mutex_);
          warnings_[j.record] = *warning;
        }
      }
      put(j.record, p, what, j.upper_air);
      return;
    }
    case Job::Kind::missing: {
      // One plane of the missing mark for r and q alike.
      const Plane p = records_.plane();
      std::fill(p->begin(), p->end(), missing_value);
      put(j.record, p, j.q_record ? "r at " + what + ", missing" : what + ", missing", false);
      if (j.q_record) put(j.q_record, p, "q at " + what + ", missing", false);
      return;
    }
    case Job::Kind::mask_from_soil: {
      const Plane p = field(j.src, w);
      for (float& v : *p) v = v == undefined_value ? 0.0f : 1.0f;
      put(j.record, p, what, false);
      return;
    }
    case Job::Kind::humidity:
      humidity(j, what, w);
      return;
    case Job::Kind::fill:
      fill(j, what, w);
      return;
  }
}

// The t of a level and its humidity from its own fields: t whole (the
// humidity needs it at every point), the humidity made from q or r a
// block of rows at a time as they are decoded.
void Writer::humidity(const Job& j, const std::string& what, Worker& w) {
  const LevelHumidity& h = j.hum;
  const float p = h.p_hpa;
  const std::string r_what = "r at " + what, q_what = "q at " + what;
  const Plane t = field(h.t, w);
  put(j.t_record, t, "t at " + what, true);
  if (h.from == RhFrom::q) {
    // q goes out as it is, and becomes RH in a plane of its own, each
    // block of rows as it is decoded.
    const Plane q = records_.plane(), rh = records_.plane();
    convert(*h.q, w, *q, [&](std::int64_t r0, std::int64_t r1) {
      const std::span<float> to = span_of(rh, r0, r1);
      const std::span<const float> from = span_of(q, r0, r1);
      std::copy(from.begin(), from.end(), to.begin());
      rh_from_q(span_of(t, r0, r1), to, p, plan_.humidity);
    });
    put(j.q_record, q, q_what, true);
    put(j.record, rh, r_what, true);
    return;
  }
  const Plane rh = field(*h.r, w);
  if (h.from == RhFrom::r_mixed) rh_from_mixed(*t, *rh, h.phase);
  if (h.q) {
    put(j.record, rh, r_what, true);
    put(j.q_record, field(*h.q, w), q_what, true);
    return;
  }
  // The q the files' r implies; the records then hold the RH from which
  // the converter gives that q back (a plane handed over is never changed,
  // so RH goes out after).
  const Plane q = records_.plane();
  std::copy(t->begin(), t->end(), q->begin());
  q_from_rh(*q, *rh, p);
  if (plan_.humidity == HumidityRecords::exact) rh_for_converter(*t, *q, *rh, p);
  put(j.q_record, q, q_what, true);
  put(j.record, rh, r_what, true);
}

bool heavy(const Job& j) { return j.kind == Job::Kind::humidity || j.kind == Job::Kind::fill; }

const Job* Writer::take() {
  std::unique_lock<std::mutex> lock(queue_);
  for (;;) {
    if (workers_.failed()) return nullptr;
    const bool heavy_left = heavy_next_ < heavy_.size(), light_left = light_next_ < light_.size();
    const bool heavy_now = heavy_left && heavy_running_ < heavy_most_;
    // Of the two next jobs, the one whose records come first in the file.
    if (heavy_now && (!light_left || first_record(*heavy_[heavy_next_]) < first_record(*light_[light_next_]))) {
      ++heavy_running_;
      return heavy_[heavy_next_++];
    }
    if (light_left) return light_[light_next_++];
    if (!heavy_left) return nullptr;
    heavy_done_.wait(lock);
  }
}

void Writer::done(const Job& j) {
  // Told after every job, so that a worker waiting for a humidity job
  // also sees another's failure.
  std::lock_guard<std::mutex> lock(queue_);
  if (heavy(j)) --heavy_running_;
  heavy_done_.notify_all();
}

// The jobs one after the other until none is left or any worker has
// failed.  No memory for a plane is a failure of the case's size.
void Writer::work(Worker& w) {
  try {
    while (const Job* j = take()) {
      struct Done {
        Writer& writer;
        const Job& finished;
        ~Done() { writer.done(finished); }
      } done{*this, *j};
      job(*j, w);
    }
  } catch (const std::bad_alloc&) {
    throw SizeFailure(out_.name() + ": no memory for the planes of " + decimal(points_) + " points");
  }
}

void Writer::run() {
  // The jobs by the first record each writes, so that the records come
  // ready about in the order of the file; a level's humidity (three
  // records, the longest jobs) comes in the middle, and the short copies
  // of the winds and the surface let the workers end together.
  for (const Job& j : plan_.jobs) (heavy(j) ? heavy_ : light_).push_back(&j);
  for (auto* list : {&heavy_, &light_})
    std::stable_sort(list->begin(), list->end(),
                     [](const Job* a, const Job* b) { return first_record(*a) < first_record(*b); });
  const unsigned threads = workers_for(plan_, threads_);
  heavy_most_ = heavy_for(threads);
  std::vector<Worker> workers(threads);
  workers_.run(static_cast<int>(threads), [&](int n) { work(workers[static_cast<std::size_t>(n)]); });
}

std::vector<std::string> Writer::warnings() const {
  std::vector<std::string> w;
  for (const auto& [record, text] : warnings_) w.push_back(text);
  for (const auto& [field, text] : non_finite_) w.push_back(text);
  return w;
}

}  // namespace

std::vector<std::string> write_records(const Plan& plan, const Sources& sources, OutputFile& out,
                                       unsigned threads) {
  Writer w(plan, sources, out, threads);
  w.run();
  // What was read is what was indexed: no file changed meanwhile.
  for (const auto& s : sources) s->check_unchanged();
  return w.warnings();
}

}  // namespace c2m::ingest
