#include "case/case_writer.hpp"
#include "case/extract.hpp"
#include "case/mask_values.hpp"
#include "case/plan_words.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <map>
#include <mutex>
#include <new>

#include "kit/numbers.hpp"
#include "kit/workers.hpp"
#include "layout/byte_order.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

// Rows go out in blocks of about this many values: a record is never
// held whole as 4-byte reals unless a level's temperature (or a fill)
// needs it.
constexpr std::int64_t block_values = 64 * 1024;

class Writer {
 public:
  Writer(const Plan& plan, const Sources& sources, OutputFile& out)
      : plan_(plan), sources_(sources), out_(out), points_(static_cast<std::size_t>(plan.points())),
        cols_(plan.cut.cols), rows_(plan.cut.rows),
        block_rows_(std::max<std::int64_t>(1, block_values / std::max<std::int64_t>(plan.cut.cols, 1))) {}

  void run(unsigned threads);
  std::vector<std::string> warnings() const {
    std::vector<std::string> w;
    for (const auto& [record, text] : warnings_) w.push_back(text);
    return w;
  }

 private:
  struct Worker {
    DecodeScratch scratch;
    // The field last made ready: decoded whole into VALUES (in the file's
    // order), or to be decoded a few of its stored rows at a time into PIECE.
    bool in_pieces = false;
    std::vector<double> values, piece;
    std::vector<float> t, b, c;     // whole planes in the case's order
    std::vector<float> block, block2;
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
  // The field of S made ready and converted, whole, into INTO.
  void whole(const Source& s, Worker& w, std::vector<float>& into);
  // The field made ready (of S) converted block by block; EACH(block,
  // r0, r1) gets rows r0 .. r1 - 1 of the case.
  template <class Each>
  void blocks(const Source& s, Worker& w, Each&& each);
  // Rows R0 .. R1 - 1 of RECORD from ROWS.
  void put(std::int64_t record, const float* rows, std::int64_t r0, std::int64_t r1, const std::string& what,
           bool upper);
  void put(std::int64_t record, const std::vector<float>& plane, const std::string& what, bool upper) {
    put(record, plane.data(), 0, rows_, what, upper);
  }
  void rh_of(const LevelHumidity& h, Worker& w, std::vector<float>& rh);
  void humidity(const Job& j, const std::string& what, Worker& w);

  const Plan& plan_;
  const Sources& sources_;
  OutputFile& out_;
  std::size_t points_;
  std::int64_t cols_, rows_, block_rows_;
  std::atomic<std::size_t> next_{0};
  Workers workers_;
  std::mutex mutex_;  // the warnings (the file takes writes from every worker)
  std::map<std::int64_t, std::string> warnings_;
};

void Writer::decode(const Source& s, Worker& w) {
  const FieldSource& src = *sources_[static_cast<std::size_t>(s.field->file)];
  const GridInfo& g = s.field->grid;
  w.in_pieces = !g.j_consecutive && !g.alternating && s.field->points == g.ni * g.nj &&
               src.read_range(*s.field, w.scratch, 0, {});
  if (w.in_pieces) return;
  src.read(*s.field, w.scratch, w.values);
  // The grid's own count of points, which the turning relies on.
  if (static_cast<std::int64_t>(w.values.size()) != g.ni * g.nj)
    throw IoFailure(name_of(*s.field, sources_) + ": holds " + decimal(w.values.size()) +
                    " values, but its grid has " + decimal(g.ni) + " x " + decimal(g.nj) +
                    " points: it is corrupt");
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

void Writer::whole(const Source& s, Worker& w, std::vector<float>& into) {
  decode(s, w);
  into.resize(points_);
  for (std::int64_t r0 = 0; r0 < rows_; r0 += block_rows_)
    rows(s, w, r0, std::min(rows_, r0 + block_rows_), into.data() + r0 * cols_);
}

template <class Each>
void Writer::blocks(const Source& s, Worker& w, Each&& each) {
  w.block.resize(static_cast<std::size_t>(block_rows_ * cols_));
  for (std::int64_t r0 = 0; r0 < rows_; r0 += block_rows_) {
    const std::int64_t r1 = std::min(rows_, r0 + block_rows_);
    rows(s, w, r0, r1, w.block.data());
    each(w.block.data(), r0, r1);
  }
}

void Writer::put(std::int64_t record, const float* rows, std::int64_t r0, std::int64_t r1, const std::string& what,
                 bool upper) {
  const auto n = static_cast<std::size_t>((r1 - r0) * cols_);
  const std::int64_t offset = ((record - 1) * rows_ + r0) * cols_ * 4;
  std::vector<float> swapped;
  if constexpr (std::endian::native == std::endian::big) {
    swapped.assign(rows, rows + n);
    little_endian_to_host(swapped);  // the swap is its own inverse
    rows = swapped.data();
  }
  // Point (1, 1) of the southernmost row, the first of the record's last
  // row, tells the converter whether an upper-air level is there at all.
  const bool corner_undefined = upper && r1 == rows_ && rows[(r1 - 1 - r0) * cols_] == undefined_value;
  // A whole plane goes out in blocks too: the system copies a write of a
  // few hundred kilobytes into the file far faster than one of megabytes.
  const auto step = static_cast<std::size_t>(block_rows_ * cols_);
  for (std::size_t at = 0; at < n; at += step)
    out_.write_at(std::as_bytes(std::span<const float>(rows + at, std::min(step, n - at))),
                  offset + static_cast<std::int64_t>(at) * 4, "record " + decimal(record) + " (" + what + ")");
  std::lock_guard<std::mutex> lock(mutex_);
  if (corner_undefined)
    warnings_[record] = "record " + decimal(record) + " (" + what +
                        "): its south-west corner is undefined, so the converter will take the whole level "
                        "as missing";
}

void Writer::rh_of(const LevelHumidity& h, Worker& w, std::vector<float>& rh) {
  switch (h.from) {
    case RhFrom::q:
      whole(h.t, w, w.t);
      whole(*h.q, w, rh);
      rh_from_q(w.t, rh, h.p_hpa);
      return;
    case RhFrom::r_mixed:
      whole(h.t, w, w.t);
      whole(*h.r, w, rh);
      rh_from_mixed(w.t, rh, h.phase);
      return;
    case RhFrom::r_as_is:
      whole(*h.r, w, rh);
      return;
  }
}

void Writer::job(const Job& j, Worker& w) {
  const std::string what = job_words(j);
  switch (j.kind) {
    case Job::Kind::copy: {
      decode(j.src, w);
      const bool mask = j.what.quantity == Quantity::lsm;
      MaskValues mask_values;
      blocks(j.src, w, [&](const float* b, std::int64_t r0, std::int64_t r1) {
        if (mask) mask_values.add(std::span<const float>(b, static_cast<std::size_t>((r1 - r0) * cols_)));
        put(j.record, b, r0, r1, what, j.upper_air);
      });
      if (const auto warning = mask_values.warning(j.record, name_of(*j.src.field, sources_))) {
        std::lock_guard<std::mutex> lock(mutex_);
        warnings_[j.record] = *warning;
      }
      return;
    }
    case Job::Kind::missing: {
      w.block.assign(static_cast<std::size_t>(block_rows_ * cols_), missing_value);
      const std::string r_what = j.q_record ? "r at " + what + ", missing" : what + ", missing";
      for (std::int64_t r0 = 0; r0 < rows_; r0 += block_rows_) {
        const std::int64_t r1 = std::min(rows_, r0 + block_rows_);
        put(j.record, w.block.data(), r0, r1, r_what, false);
        if (j.q_record) put(j.q_record, w.block.data(), r0, r1, "q at " + what + ", missing", false);
      }
      return;
    }
    case Job::Kind::mask_from_soil:
      decode(j.src, w);
      blocks(j.src, w, [&](float* b, std::int64_t r0, std::int64_t r1) {
        for (std::int64_t n = 0; n < (r1 - r0) * cols_; ++n) b[n] = b[n] == undefined_value ? 0.0f : 1.0f;
        put(j.record, b, r0, r1, what, false);
      });
      return;
    case Job::Kind::humidity:
      humidity(j, what, w);
      return;
    case Job::Kind::fill:
      rh_of(j.below, w, w.b);
      rh_of(j.above, w, w.c);
      fill_between(w.b, w.c, j.weights);
      whole(j.hum.t, w, w.t);
      w.c = w.t;
      q_from_rh(w.c, w.b, j.hum.p_hpa);
      if (plan_.humidity == HumidityRecords::exact) rh_for_converter(w.t, w.c, w.b, j.hum.p_hpa);
      put(j.record, w.b, "r at " + what + ", filled", true);
      put(j.q_record, w.c, "q at " + what + ", derived", true);
      return;
  }
}

// The t of a level and its humidity from its own fields: t decoded whole
// (the humidity needs it at every point), q or r a block of rows at a time.
void Writer::humidity(const Job& j, const std::string& what, Worker& w) {
  const LevelHumidity& h = j.hum;
  const float p = h.p_hpa;
  const std::string r_what = "r at " + what, q_what = "q at " + what, t_what = "t at " + what;
  whole(h.t, w, w.t);
  put(j.t_record, w.t, t_what, true);
  auto t_rows = [&](std::int64_t r0, std::int64_t r1) {
    return std::span<const float>(w.t.data() + r0 * cols_, static_cast<std::size_t>((r1 - r0) * cols_));
  };
  if (h.from == RhFrom::q) {
    // q goes out as it is, then becomes RH in place.
    decode(*h.q, w);
    blocks(*h.q, w, [&](float* b, std::int64_t r0, std::int64_t r1) {
      put(j.q_record, b, r0, r1, q_what, true);
      std::span<float> rows(b, static_cast<std::size_t>((r1 - r0) * cols_));
      rh_from_q(t_rows(r0, r1), rows, p, plan_.humidity);
      put(j.record, b, r0, r1, r_what, true);
    });
    return;
  }
  decode(*h.r, w);
  blocks(*h.r, w, [&](float* b, std::int64_t r0, std::int64_t r1) {
    const std::span<float> rows(b, static_cast<std::size_t>((r1 - r0) * cols_));
    if (h.from == RhFrom::r_mixed) rh_from_mixed(t_rows(r0, r1), rows, h.phase);
    if (!h.q) {
      const auto t = t_rows(r0, r1);
      w.block2.assign(t.begin(), t.end());
      q_from_rh(w.block2, rows, p);
      put(j.q_record, w.block2.data(), r0, r1, q_what, true);
      if (plan_.humidity == HumidityRecords::exact) rh_for_converter(t, w.block2, rows, p);
    }
    put(j.record, b, r0, r1, r_what, true);
  });
  if (h.q) {
    decode(*h.q, w);
    blocks(*h.q, w, [&](const float* b, std::int64_t r0, std::int64_t r1) { put(j.q_record, b, r0, r1, q_what, true); });
  }
}

// The jobs one after the other until none is left or any worker has
// failed.  No memory for a plane is a failure of the case's size.
void Writer::work(Worker& w) {
  try {
    for (;;) {
      if (workers_.failed()) return;
      const std::size_t n = next_.fetch_add(1);
      if (n >= plan_.jobs.size()) return;
      job(plan_.jobs[n], w);
    }
  } catch (const std::bad_alloc&) {
    throw SizeFailure(out_.name() + ": no memory for the planes of " + decimal(points_) + " points");
  }
}

void Writer::run(unsigned threads) {
  threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(plan_.jobs.size())));
  std::vector<Worker> workers(threads);
  workers_.run(static_cast<int>(threads), [&](int n) { work(workers[static_cast<std::size_t>(n)]); });
}

}  // namespace

std::vector<std::string> write_records(const Plan& plan, const Sources& sources, OutputFile& out,
                                       unsigned threads) {
  Writer w(plan, sources, out);
  w.run(threads);
  return w.warnings();
}

}  // namespace c2m::ingest
