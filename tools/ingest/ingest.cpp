// conv2model ingest, the command: the sources opened, the plan made and the
// case (or, with --all-times, every case) written; its failures said.
#include "ingest.hpp"

#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <new>
#include <system_error>
#include <thread>

#include "case/all_times.hpp"
#include "case/case_check.hpp"
#include "case/case_dir.hpp"
#include "command.hpp"
#include "estab/estab.hpp"
#include "source/memory_room.hpp"
#include "source/open_source.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

void put(std::FILE* f, const std::string& text) { std::fwrite(text.data(), 1, text.size(), f); }

// Of THREADS, those a limit on the address space leaves room for, each
// needing PER_THREAD bytes and all BASE more; fewer said on ERR.
unsigned with_room(unsigned threads, std::int64_t per_thread, std::int64_t base, const std::string& what,
                   std::FILE* err) {
  std::string note;
  threads = threads_for(threads, per_thread, base, what, note);
  if (!note.empty()) put(err, "conv2model ingest: " + note + "\n");
  return threads;
}

int run_ingest(const Options& o, std::FILE* out, std::FILE* err) {
  estab::es_ini();
  FieldTable table = FieldTable::built_in();
  if (o.table) table.add_file(*o.table);
  unsigned threads = o.threads;
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  if (o.all_times) {
    // A case that outgrows the file-size limit (ulimit -f) is that case's
    // failure, its write refused with EFBIG, and not the end of the cases
    // being made beside it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, nullptr);
    const unsigned cores = o.jobs != 0 ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    // A message that cannot be indexed ends its file's index: the times
    // before it can still be made.
    const unsigned readers =
        with_room(std::min(cores, 8u), header_thread_bytes, definitions_bytes, "reading the headers", err);
    const Sources sources = open_sources(o.files, {o.centre, readers, true}, o.plan.time.time);
    AllTimesOptions a;
    a.outdir = o.outdir;
    a.name = o.name;
    a.plan = o.plan;
    a.cores = with_room(cores, case_thread_bytes(sources), 0, "making the cases", err);
    a.quiet = o.quiet;
    a.terminal = ::isatty(::fileno(err)) == 1;
    return ingest_all_times(a, sources, table, out, err);
  }
  const unsigned readers = with_room(threads, header_thread_bytes, definitions_bytes, "reading the headers", err);
  const Sources sources = open_sources(o.files, {o.centre, readers}, o.plan.time.time);
  const Plan plan = make_plan(sources, table, o.plan);
  threads = with_room(threads, case_thread_bytes(sources), 0, "making the case", err);
  // Only now is anything made in OUTDIR.
  const std::string text = write_case(plan, sources, o.outdir, o.name, threads);
  if (!o.quiet) put(out, text);
  std::fflush(out);
  // A case that the converter would stop on is no case made.
  say_verdict(check_written_case(plan, o.outdir, o.name), o.outdir, o.name, err, "conv2model ingest");
  return cli::status_ok;
}

}  // namespace

int ingest(const Options& o, std::FILE* out, std::FILE* err) {
  // The allocator's own threshold for mapping a block afresh is kept: it
  // rises to the size of the blocks that come and go, so that ecCodes'
  // working arrays (a few of a plane's size for every field it decodes)
  // reuse the same memory from one field to the next.  Mapping every block
  // of a megabyte and more afresh cost 280 000 page faults (1.2 GB zeroed
  // by the system) for a case of 168 fields; the planes of the records
  // are kept by the record writer for the next ones, whatever the threshold.
  one_arena_under_limit();
  try {
    return run_ingest(o, out, err);
  } catch (const DataStop& e) {
    put(err, "conv2model ingest: " + std::string(e.what()) + "\n");
    return cli::status_data_stop;
  } catch (const RunFailure& e) {
    put(err, "conv2model ingest: " + std::string(e.what()) + "\n");
    return cli::status_failure;
  } catch (const std::bad_alloc&) {
    put(err, "conv2model ingest: no memory for the case\n");
    return cli::status_failure;
  } catch (const std::system_error& e) {
    put(err, "conv2model ingest: " + std::string(e.what()) + "\n");
    return cli::status_failure;
  }
}

}  // namespace c2m::ingest

namespace c2m::cli {

namespace {

int run(const std::vector<std::string>& args, Streams& io) {
  const ingest::Options o = ingest::parse_options(args);
  return ingest::ingest(o, io.out, io.err);
}

}  // namespace

const Subcommand& ingest_subcommand() {
  static const Subcommand sub{"ingest",
                              "make a case from GRIB or netCDF files",
                              ingest::synopsis,
                              ingest::help_before_options(),
                              run,
                              &ingest::option_table(),
                              ingest::help_after_options()};
  return sub;
}

}  // namespace c2m::cli
