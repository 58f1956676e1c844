#include "fetch_case.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "cache.hpp"
#include "case/case_dir.hpp"
#include "case_sources.hpp"
#include "cycles.hpp"
#include "index_source.hpp"
#include "kit/file_descriptor.hpp"
#include "kit/numbers.hpp"
#include "selection.hpp"
#include "source/grib_source.hpp"
#include "source/open_source.hpp"
#include "stop_flag.hpp"
#include "textio/errors.hpp"

namespace c2m::fetch {

namespace {

using Clock = std::chrono::steady_clock;

// An index is a few hundred kilobytes; one far larger is not one.
constexpr std::int64_t largest_index = 64 << 20;
constexpr std::int64_t largest_message = std::int64_t{1} << 32;

class TextReceiver : public Receiver {
 public:
  std::string take(std::int64_t offset, std::span<const unsigned char> bytes) override {
    const auto end = offset + static_cast<std::int64_t>(bytes.size());
    if (end > largest_index) return "is larger than an index can be (" + byte_words(largest_index) + ")";
    if (static_cast<std::int64_t>(text.size()) < end) text.resize(static_cast<std::size_t>(end));
    std::memcpy(text.data() + offset, bytes.data(), bytes.size());
    return {};
  }
  std::string text;
};

struct Located {
  std::string root;
  CycleFiles files;
  Index index;
  bool local = false;
};

std::string cycle_words(const FetchOptions& o, const ingest::ValidTime& cycle) {
  return std::string(o.provider->name) + " " + cycle.text() + ", step " + decimal(o.step) + " h";
}

// The index of CYCLE from the first root that has it (the cache first).
Located locate(const FetchOptions& o, const ingest::ValidTime& cycle, Transfers& transfers, const Cache& cache,
               Progress& progress) {
  std::string tried;
  for (const std::string& root : o.roots) {
    Located l;
    l.root = root;
    l.files = cycle_files(*o.provider, *o.resolution, root, cycle, o.step);
    l.local = root.starts_with("file://");
    const std::string& url = l.files.index_url;
    std::string text;
    const auto cached = l.local ? std::nullopt : cache.get(url, "whole", largest_index);
    if (cached) {
      text.assign(cached->begin(), cached->end());
    } else {
      TextReceiver r;
      const std::vector<Request> asked{{url, false, 0, std::nullopt, &r}};
      const Result got = transfers.run(asked).front();
      if (got.outcome != Outcome::done) {
        tried += (tried.empty() ? "" : "; ") +
                 (got.outcome == Outcome::not_found
                      ? "the cycle " + cycle.text() + " (step " + decimal(o.step) + " h) is not on " + root +
                            " (yet?): " + got.reason
                      : got.reason);
        continue;
      }
      text = std::move(r.text);
    }
    try {
      l.index = parse_index(o.provider->format, text, url);
    } catch (const IoFailure& e) {
      tried += (tried.empty() ? "" : "; ") + std::string(e.what());
      continue;
    }
    if (!cached && !l.local) {
      const std::string refused = cache.put(url, "whole", {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
      if (!refused.empty()) progress.note("the cache keeps nothing: " + refused);
    }
    if (!tried.empty()) progress.note(tried + "; the index is taken from " + root);
    return l;
  }
  throw IoFailure("no root has the index of " + cycle_words(o, cycle) + ": " + tried);
}

// The invariant files as sources number 1 on, valid at VALID.
void add_invariants(const FetchOptions& o, const ingest::ValidTime& valid, ingest::Sources& sources) {
  for (std::size_t n = 0; n < o.invariants.size(); ++n)
    sources.push_back(invariant_source(
        ingest::open_source(o.invariants[n], static_cast<int>(n + 1), {std::nullopt, o.threads}), valid));
}

// The messages the case needs, from the index (and the invariant files).
std::vector<WantedMessage> choose(const FetchOptions& o, const ingest::FieldTable& table, const Located& l,
                                  const ingest::ValidTime& cycle, const ingest::ValidTime& valid) {
  ingest::Sources invariants;
  add_invariants(o, valid, invariants);
  // Every field shares one grid: the invariant files', else the provider's.
  ingest::GridInfo grid = provider_grid(*o.resolution);
  for (const auto& s : invariants)
    if (!s->fields().empty()) {
      grid = s->fields().front().grid;
      break;
    }
  ingest::Sources sources;
  sources.push_back(std::make_unique<IndexSource>(l.files.index_url, l.index, *o.provider, grid, valid,
                                                  "run " + cycle.words() + " + " + decimal(o.step) + " h"));
  for (auto& s : invariants) sources.push_back(std::move(s));
  try {
    return wanted_messages(sources, table, o.plan);
  } catch (const IoFailure& e) {
    std::string why = e.what();
    if (why.find("required fields are absent") != std::string::npos && o.invariants.empty())
      why += "; " + std::string(o.provider->title) +
             " does not publish them: give a file that holds them with --invariant FILE";
    throw IoFailure(l.files.index_url + ": " + why);
  }
}

std::string range_word(const WantedMessage& w) {
  return decimal(w.offset) + "-" + (w.length ? decimal(w.offset + *w.length - 1) : std::string("end"));
}

std::string span_words(const Span& s) {
  return "bytes " + decimal(s.first) + "-" + (s.last ? decimal(*s.last) : std::string());
}

std::string dry_run_text(const FetchOptions& o, const ingest::ValidTime& cycle, const Located& l,
                         const std::vector<WantedMessage>& wanted, const std::vector<bool>& cached,
                         const std::string& missing) {
  std::string t = "conv2model fetch --dry-run: " + cycle_words(o, cycle) + "\nindex: " + l.files.index_url + " (" +
                  decimal(l.index.messages) + " messages)\nfile:  " + l.files.data_url + "\n";
  if (!missing.empty()) return t + "missing: " + missing + "\nno case can be made\n";
  t += "messages of the case (" + decimal(wanted.size()) + " of " + decimal(l.index.messages) + "):\n";
  std::int64_t bytes = 0;
  bool open_end = false;
  std::size_t in_cache = 0;
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    const WantedMessage& w = wanted[k];
    std::string range = "bytes " + range_word(w);
    range.resize(std::max<std::size_t>(range.size(), 30), ' ');
    std::string number = decimal(w.message);
    number.insert(0, number.size() < 6 ? 6 - number.size() : 0, ' ');
    t += "  " + number + "  " + range + "  " + w.serves + (cached[k] ? "  (in the cache)" : "") + "\n";
    if (w.length) bytes += *w.length;
    else open_end = true;
    if (cached[k]) ++in_cache;
  }
  const auto spans = plan_requests(wanted, cached, o.gap, o.largest);
  t += "requests (" + decimal(spans.size()) + ", messages less than " + byte_words(o.gap) + " apart in one):\n";
  for (const Span& s : spans) {
    t += "  " + span_words(s) + (s.last ? " (" + byte_words(*s.last + 1 - s.first) + ")" : " (to the end of the file)") +
         ", " + decimal(s.end_message - s.first_message) + " message" + (s.end_message - s.first_message == 1 ? "" : "s") + "\n";
  }
  t += "total: " + decimal(wanted.size()) + " messages, " + byte_words(bytes) + (open_end ? " and the last to the end of the file" : "") +
       ", " + decimal(in_cache) + " of them in the cache\nmissing: nothing; a case can be made\n";
  return t;
}

// Every message not in DONE downloaded into ASSEMBLY; the log's line.
std::string download(const FetchOptions& o, const Located& l, const std::vector<WantedMessage>& wanted,
                     const std::vector<bool>& done, Assembly& assembly, Transfers& transfers, Progress& progress,
                     const std::string& words) {
  const auto spans = plan_requests(wanted, done, o.gap, o.largest);
  std::vector<Request> requests;
  std::int64_t bytes = 0;
  for (const Span& s : spans) {
    requests.push_back({l.files.data_url, true, s.first, s.last, &assembly});
    if (s.last) bytes += *s.last + 1 - s.first;
  }
  const auto start = Clock::now();
  progress.begin(words, bytes, wanted.size());
  for (std::size_t k = 0; k < wanted.size(); ++k)
    if (done[k]) progress.message_done();
  assembly.on_done = [&](std::size_t) { progress.message_done(); };
  std::int64_t received = 0;
  const auto results = transfers.run(requests, [&](std::int64_t n) {
    received += n;
    progress.bytes(n);
  });
  for (const Result& r : results)
    if (r.outcome != Outcome::done && !r.abandoned)
      throw IoFailure(r.reason + (r.outcome == Outcome::not_found ? " (its index is there: " + l.files.index_url + ")" : ""));
  if (!assembly.complete()) throw IoFailure(l.files.data_url + ": not every message the case needs arrived");
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const std::size_t cached = static_cast<std::size_t>(std::count(done.begin(), done.end(), true));
  return words + ": " + decimal(wanted.size()) + " messages, " + byte_words(received) + " in " + decimal(requests.size()) +
         " request" + (requests.size() == 1 ? "" : "s") + (cached ? ", " + decimal(cached) + " from the cache" : std::string()) +
         ", " + fixed_decimals(seconds, 1) + " s, from " + l.files.data_url;
}

// The report's lines on where each message of the case's GRIB file came
// from, the files named as the plan's FILES name them.
std::string origin_text(const FetchOptions& o, const Located& l, const std::vector<WantedMessage>& wanted,
                        const Assembly& assembly, const std::string& shown, const ingest::ValidTime& valid,
                        const std::vector<std::string>& files) {
  std::string t = "downloaded: " + shown + " (" + (o.keep_grib ? "kept" : "not kept; --keep-grib keeps it") +
                  ") holds the messages of\n  " + l.files.data_url + "\nthat the case needs, in the order of that file:\n";
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    const WantedMessage& w = wanted[k];
    const std::int64_t length = assembly.length(k).value_or(0);
    t += "  " + files[0] + "#" + decimal(k + 1) + "  bytes " + decimal(w.offset) + "-" + decimal(w.offset + length - 1) +
         "  (its message " + decimal(w.message) + ": " + w.serves + ")\n";
  }
  for (std::size_t n = 0; n < o.invariants.size(); ++n)
    t += o.invariants[n] + " (--invariant): its fields are taken as valid at " +
         valid.words() + "\n";
  return t;
}

std::vector<unsigned char> read_back(const std::string& path, std::int64_t at, std::int64_t n) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::vector<unsigned char> b(static_cast<std::size_t>(n));
  std::size_t got = 0;
  while (fd.is_open() && got < b.size()) {
    const ssize_t r = ::pread(fd.get(), b.data() + got, b.size() - got, static_cast<off_t>(at) + static_cast<off_t>(got));
    if (r <= 0) return {};
    got += static_cast<std::size_t>(r);
  }
  return fd.is_open() ? b : std::vector<unsigned char>{};
}

}  // namespace

FetchOutcome fetch_case(const FetchOptions& o, const ingest::FieldTable& table, const ingest::ValidTime& cycle,
                        const std::string& outdir, Transfers& transfers, Progress& progress) {
  const ingest::ValidTime valid = add_hours(cycle, o.step);
  const Cache cache(o.cache_dir);
  FetchOutcome outcome;
  std::optional<StopFlag> stop(std::in_place);
  const Located l = locate(o, cycle, transfers, cache, progress);
  std::vector<WantedMessage> wanted;
  std::string missing;
  try {
    wanted = choose(o, table, l, cycle, valid);
  } catch (const IoFailure& e) {
    if (!o.dry_run) throw;
    missing = e.what();
  }
  std::vector<bool> done(wanted.size());
  std::vector<std::optional<std::vector<unsigned char>>> hits(wanted.size());
  for (std::size_t k = 0; k < wanted.size() && !l.local; ++k) {
    hits[k] = cache.get(l.files.data_url, range_word(wanted[k]), largest_message);
    done[k] = hits[k].has_value();
  }
  if (o.dry_run) {
    outcome.report = dry_run_text(o, cycle, l, wanted, done, missing);
    outcome.possible = missing.empty();
    return outcome;
  }
  StopFlag::check("nothing was made");
  ingest::MadeDirectories dirs(outdir);
  const std::string shown = ingest::joined(outdir, kept_grib);
  OutputFile grib(shown);
  Assembly assembly(wanted, grib, l.files.data_url);
  for (std::size_t k = 0; k < wanted.size(); ++k)
    if (done[k] && !assembly.place(k, *hits[k]).empty()) done[k] = false;  // a bad entry is downloaded again
  hits.clear();
  const std::string line = download(o, l, wanted, done, assembly, transfers, progress, cycle_words(o, cycle));
  StopFlag::check("the case was not made; " + outdir + " is as it was");
  stop.reset();  // from here on a stop signal ends the run as it does while any case is written

  ingest::Sources sources;
  try {
    sources.push_back(named_source(std::make_unique<ingest::GribSource>(ingest::SourceFile(grib.temp_name()), 0, o.threads), shown));
  } catch (const IoFailure& e) {
    std::string why = e.what();
    if (const auto at = why.find(grib.temp_name()); at != std::string::npos) why.replace(at, grib.temp_name().size(), shown);
    throw IoFailure(why + " (the messages downloaded from " + l.files.data_url + ")");
  }
  add_invariants(o, valid, sources);
  const ingest::Plan plan = ingest::make_plan(sources, table, o.plan);
  // The messages passed ingest's own checks: the cache may keep them.
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    if (done[k] || l.local || !cache.enabled()) continue;
    const auto bytes = read_back(grib.temp_name(), assembly.position(k), assembly.length(k).value_or(0));
    const std::string refused = bytes.empty() ? "" : cache.put(l.files.data_url, range_word(wanted[k]), bytes);
    if (!refused.empty()) {
      progress.note("the cache keeps nothing: " + refused);
      break;
    }
  }
  ingest::CaseAddition addition;
  addition.report = origin_text(o, l, wanted, assembly, shown, valid, plan.files);
  if (o.keep_grib) addition.files.push_back(&grib);
  outcome.report = ingest::write_case(plan, sources, outdir, o.name, o.threads, addition);
  dirs.keep();
  outcome.verdict = ingest::check_written_case(plan, outdir, o.name);
  progress.end(line);
  return outcome;
}

}  // namespace c2m::fetch
