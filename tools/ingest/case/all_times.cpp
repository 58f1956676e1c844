#include "case/all_times.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <new>
#include <set>

#include "case/case_dir.hpp"
#include "case/index_end.hpp"
#include "kit/numbers.hpp"
#include "kit/workers.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

void put(std::FILE* f, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), f);
  std::fflush(f);
}

// What became of one validity time.
struct Outcome {
  bool made = false;
  std::string dir;     // OUTDIR/YYYYMMDDHH
  std::string reason;  // why it was not made
};

// Progress on standard error.  On a terminal, one line kept in place: the
// count of cases finished and a bar, each failure printed above it as it
// happens.  Otherwise (a log, a pipe) one line per finished case.
class Progress {
 public:
  Progress(std::FILE* err, bool terminal, bool quiet, std::size_t total)
      : err_(err), terminal_(terminal), quiet_(quiet), total_(total) {
    if (terminal_ && !quiet_) draw();
  }

  void finished(const std::string& time, const Outcome& o) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++finished_;
    if (!o.made) ++failed_;
    const std::string count = "[" + decimal(finished_) + "/" + decimal(total_) + "] ";
    const std::string line = o.made ? "conv2model ingest: " + count + time + ": made in " + o.dir + "\n"
                                    : "conv2model ingest: " + count + time + ": not made: " + o.reason + "\n";
    if (terminal_) {
      if (!o.made) put(err_, "\r\033[K" + line);
      if (!quiet_) draw();
    } else if (!o.made || !quiet_) {
      put(err_, line);
    }
  }

  // Ends the line kept in place.
  void close() {
    if (terminal_ && !quiet_) put(err_, "\n");
  }

 private:
  void draw() {
    constexpr std::size_t width = 30;
    const std::size_t filled = total_ == 0 ? width : finished_ * width / total_;
    std::string bar(filled, '#');
    bar.resize(width, '.');
    std::string text = "\r\033[Kconv2model ingest: " + decimal(finished_) + " of " +
                       decimal(total_) + " cases [" + bar + "]";
    if (failed_ > 0) text += " " + decimal(failed_) + " failed";
    put(err_, text);
  }

  std::FILE* err_;
  bool terminal_, quiet_;
  std::size_t total_, finished_ = 0, failed_ = 0;
  std::mutex mutex_;
};

std::string failure_words(const std::exception_ptr& e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::bad_alloc&) {
    return "no memory for the case";
  } catch (const std::exception& x) {
    return x.what();
  } catch (...) {
    return "an unknown failure";
  }
}

// Each time as the lines about it name it: as its directory is named,
// with the time in words after it where another time reads the same (two
// times of one directory name, from dates that are not dates).
std::vector<std::string> time_labels(const std::vector<TimeCandidates>& times) {
  std::map<std::string, int> seen;
  for (const TimeCandidates& t : times) ++seen[t.valid.text()];
  std::vector<std::string> labels;
  for (const TimeCandidates& t : times)
    labels.push_back(seen[t.valid.text()] > 1 ? t.valid.text() + " (" + t.valid.words() + ")" : t.valid.text());
  return labels;
}

// A summary line shorter than 200 characters: a reason that would make it
// longer is cut at a word, the whole of it being on standard error already.
std::string summary_line(const std::string& label, const Outcome& o) {
  if (o.made) return "  " + label + "  made      " + o.dir + "\n";
  constexpr std::size_t width = 199;
  const std::string tail = " ... (the whole reason is on standard error)";
  const std::string head = "  " + label + "  not made  ";
  std::string line = head + o.reason;
  if (line.size() <= width) return line + "\n";
  std::size_t cut = width > tail.size() ? width - tail.size() : 0;
  const auto blank = line.rfind(' ', cut);
  if (blank != std::string::npos && blank > head.size()) cut = blank;
  line.resize(std::max(cut, head.size()));
  while (line.size() > head.size() && (line.back() == ';' || line.back() == ',' || line.back() == ':'))
    line.pop_back();
  return line + tail + "\n";
}

// The summary on OUT (unless quiet) and the times not made on ERR; the
// status of the run.
int summary(const AllTimesOptions& o, const std::vector<std::string>& labels, std::size_t files,
            const std::vector<Outcome>& outcomes, std::size_t made, const std::vector<std::size_t>& failed,
            std::FILE* out, std::FILE* err) {
  if (!o.quiet) {
    std::string t = "conv2model ingest --all-times: " + decimal(labels.size()) + " validity time" +
                    (labels.size() == 1 ? "" : "s") + " in " + decimal(files) + " file" +
                    (files == 1 ? "" : "s") + "; " + decimal(made) + " case" +
                    (made == 1 ? "" : "s") + " made in " + o.outdir +
                    (failed.empty() ? std::string() : ", " + decimal(failed.size()) + " not made") + "\n";
    for (std::size_t n = 0; n < outcomes.size(); ++n) t += summary_line(labels[n], outcomes[n]);
    put(out, t);
  }
  if (failed.empty()) return 0;
  std::string list;
  for (const std::size_t n : failed) list += (list.empty() ? "" : ", ") + labels[n];
  put(err, "conv2model ingest: " + decimal(failed.size()) + " of " + decimal(labels.size()) +
               " validity times could not be made into cases: " + list + "\n");
  return 2;
}

}  // namespace

std::vector<TimeCandidates> split_by_time(const std::vector<Candidate>& cands) {
  std::map<ValidTime, std::vector<Candidate>> by;
  for (const Candidate& c : cands) by[c.field->valid].push_back(c);
  std::vector<TimeCandidates> out;
  out.reserve(by.size());
  for (auto& [valid, list] : by) out.push_back({valid, std::move(list)});
  return out;
}

std::vector<unsigned> share_cores(unsigned cores, std::size_t cases) {
  cores = std::max(1u, cores);
  const auto at_once = static_cast<unsigned>(
      std::max<std::size_t>(1, std::min<std::size_t>({cores, std::max<std::size_t>(cases, 1), max_cases_at_once})));
  std::vector<unsigned> share(at_once, cores / at_once);
  for (unsigned k = 0; k < cores % at_once; ++k) ++share[k];
  return share;
}

std::string case_directory(const ValidTime& valid) { return valid.text(); }

namespace {

// The case of time T in its directory (unless TAKEN by an earlier time)
// with THREADS workers; nothing of it can end the runner.
void make_case(const AllTimesOptions& o, const Sources& sources, const FieldTable& table, const TimeCandidates& t,
               bool taken, unsigned threads, Outcome& r) {
  try {
    r.dir = joined(o.outdir, case_directory(t.valid));
    if (taken) {
      r.reason = "its directory " + r.dir + " is that of an earlier validity time";
      return;
    }
    // A name ingest made up is never followed: a link there would send the
    // case into whatever directory it points at, over the files there.
    struct stat st {};
    if (::lstat(r.dir.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      r.reason = r.dir + " is a symbolic link, which ingest does not follow for a case directory it names; "
                 "left alone (remove it to have this time made)";
      return;
    }
    r.reason = beyond_index_end(sources, t.valid);
    if (!r.reason.empty()) return;
    // The case that --time makes of this time, from its own fields.
    PlanOptions po = o.plan;
    po.time.time = t.valid;
    const Plan plan = make_plan(sources, table, po, t.cands);
    write_case(plan, sources, r.dir, o.name, threads);
    r.made = true;
  } catch (...) {
    r.reason = failure_words(std::current_exception());
  }
}

}  // namespace

int ingest_all_times(const AllTimesOptions& o, const Sources& sources, const FieldTable& table,
                     std::FILE* out, std::FILE* err) {
  const std::vector<TimeCandidates> times = split_by_time(candidates(sources, table));
  // No field the table takes: the planner says what the files hold.
  if (times.empty()) make_plan(sources, table, o.plan, {});

  // Two times of one directory name (from dates that are not dates): the
  // later is not made, rather than written over the earlier.
  std::vector<bool> taken(times.size());
  std::set<std::string> names;
  for (std::size_t n = 0; n < times.size(); ++n) taken[n] = !names.insert(case_directory(times[n].valid)).second;

  const std::vector<std::string> labels = time_labels(times);

  // A file whose index ended short: said once, and the run fails.
  const std::vector<std::string> ends = index_ends(sources);
  for (const std::string& e : ends) put(err, "conv2model ingest: " + e + "\n");

  MadeDirectories top(o.outdir);
  std::vector<Outcome> outcomes(times.size());
  Progress progress(err, o.terminal, o.quiet, times.size());
  std::atomic<std::size_t> next{0};

  auto make_cases = [&](unsigned threads) {
    for (;;) {
      const std::size_t n = next.fetch_add(1);
      if (n >= times.size()) return;
      Outcome& r = outcomes[n];
      make_case(o, sources, table, times[n], taken[n], threads, r);
      try {
        progress.finished(labels[n], r);
      } catch (...) {
        // No memory to tell it: the summary still will.
      }
    }
  };

  // A runner per case made at once, each with its share of the workers;
  // with fewer threads than runners, the runners there are make them all.
  const std::vector<unsigned> share = share_cores(o.cores, times.size());
  run_on_threads(static_cast<int>(share.size()),
                 [&](int k) { make_cases(share[static_cast<std::size_t>(k)]); });
  progress.close();

  std::size_t made = 0;
  std::vector<std::size_t> failed;
  for (std::size_t n = 0; n < outcomes.size(); ++n) {
    if (outcomes[n].made) ++made;
    else failed.push_back(n);
  }
  if (made > 0) top.keep();

  const int status = summary(o, labels, sources.size(), outcomes, made, failed, out, err);
  return ends.empty() ? status : 2;
}

}  // namespace c2m::ingest
