// The moment a run moves its outputs into place, and the cleanup of its
// temporary files, under faults from outside that strike just then: a
// signal while the names are being exchanged and a rename refused half-way
// through the set (both made with strace, which slows or fails the renames
// of the run), and the directory of the outputs moved elsewhere while the
// run writes them.  Every program that writes files is run: input_driver
// and conv2model's convert, ingest, synth, plot and export.  After each,
// the outputs are all the earlier files or all the new ones, never a mix,
// no temporary file is left, and what the program said is true.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "support/child_run.hpp"
#include "support/dir_snapshot.hpp"
#include "support/scratch.hpp"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const std::string golden_case = std::string(GOLDEN_DIR) + "/full_7x5x4/case";

// A program and the files it writes into OUTDIR.
struct Scene {
  std::string name{};
  std::vector<std::string> outputs{};
  // The command line, its outputs in OUTDIR (an absolute path) and its
  // inputs in INPUTS, which no fault touches.
  std::function<std::vector<std::string>(const std::string& outdir, const std::string& inputs)> argv{};
  std::string stdin_text{};     // input_driver's two lines
  bool runs_in_outdir = false;  // else in INPUTS
  bool case_in_outdir = false;  // the converter's case is copied into OUTDIR first
  bool reproducible = true;     // a second run writes the same bytes (the netCDF file has a date)
};

const std::vector<std::string> case_outputs = {"case.bin.KVOwrk", "case.bin.KVOwrk.gdsinfo"};
const std::vector<std::string> synth_options = {"--im", "12", "--jm", "8", "--lm", "4", "--res", "2",
                                                "--south", "40", "--west", "0"};

Scene input_driver_scene() {
  return {.name = "input_driver",
          .outputs = case_outputs,
          .argv = [](const std::string&, const std::string&) { return std::vector<std::string>{INPUT_DRIVER}; },
          .stdin_text = "case.bin\nnone\n",
          .runs_in_outdir = true,
          .case_in_outdir = true};
}

// The run description and date file stay in INPUTS/settings, so that the
// outputs are named by the absolute path of the input grid file.
Scene convert_scene() {
  return {.name = "convert",
          .outputs = case_outputs,
          .argv =
              [](const std::string& outdir, const std::string& inputs) {
                return std::vector<std::string>{CONV2MODEL, "convert", "--quiet", "--dir",
                                                inputs + "/settings", outdir + "/case.bin"};
              },
          .case_in_outdir = true};
}

Scene ingest_scene() {
  return {.name = "ingest",
          .outputs = {"case.bin", "InputModelInf.txt", "adate.txt", "ingest.txt"},
          .argv = [](const std::string& outdir, const std::string& inputs) {
            return std::vector<std::string>{CONV2MODEL, "ingest", outdir, inputs + "/synth/case.grib"};
          }};
}

Scene synth_scene() {
  return {.name = "synth",
          .outputs = {"InputModelInf.txt", "adate.txt", "case.bin"},
          .argv = [](const std::string& outdir, const std::string&) {
            std::vector<std::string> a = {CONV2MODEL, "synth", outdir};
            a.insert(a.end(), synth_options.begin(), synth_options.end());
            return a;
          }};
}

Scene plot_scene() {
  return {.name = "plot",
          .outputs = {"t.png"},
          .argv = [](const std::string& outdir, const std::string& inputs) {
            return std::vector<std::string>{CONV2MODEL, "plot", inputs + "/synth/case.bin.KVOwrk",
                                            "--var", "t", "-o", outdir + "/t.png"};
          }};
}

Scene export_scene() {
  return {.name = "export",
          .outputs = {"x.ctl", "x.nc"},
          .argv =
              [](const std::string& outdir, const std::string& inputs) {
                return std::vector<std::string>{CONV2MODEL, "export", inputs + "/synth/case.bin.KVOwrk",
                                                "--ctl", outdir + "/x.ctl", "--netcdf", outdir + "/x.nc"};
              },
          .reproducible = false};
}

// The command line ARGV run under strace with the fault INJECT (strace's
// -e inject=...) on every one of its threads and children.  The leak check
// of a sanitizer build cannot run under strace, and is left out.
std::vector<std::string> traced(const std::string& inject, const std::vector<std::string>& argv) {
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  std::vector<std::string> a = {"/usr/bin/env",
                                "ASAN_OPTIONS=" + std::string(sanitizer ? sanitizer : "") + ":detect_leaks=0",
                                STRACE, "-f", "-qq", "-o", "/dev/null", "-e", "inject=" + inject};
  a.insert(a.end(), argv.begin(), argv.end());
  return a;
}

const std::string renames = "rename,renameat,renameat2";

// The process that strace runs, once it runs PROGRAM (strace tries out
// the system with children of its own first).
pid_t tracee_of(pid_t tracer, const std::string& program) {
  const std::string children = "/proc/" + std::to_string(tracer) + "/task/" + std::to_string(tracer) +
                               "/children";
  const fs::path wanted = fs::canonical(program);
  for (int tries = 0; tries < 4000; ++tries) {
    std::ifstream in(children);
    for (pid_t pid = 0; in >> pid;) {
      std::error_code ec;
      if (fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec) == wanted) return pid;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

// A thread of PID is held by strace in the system call NUMBER.
bool held_in(pid_t pid, long number) {
  std::error_code ec;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream call(task.path() / "syscall"), stat(task.path() / "stat");
    long got = -1;
    std::string stat_line;
    if (!(call >> got) || got != number || !std::getline(stat, stat_line)) continue;
    // The state follows the command name, which is in parentheses.
    const auto close = stat_line.rfind(')');
    if (close != std::string::npos && stat_line.compare(close, 4, ") t ") == 0) return true;
  }
  return false;
}

// Waits until DONE holds, at most 20 s.
bool wait_until(const std::function<bool()>& done) {
  for (int tries = 0; tries < 4000; ++tries) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

std::string earlier_text(const std::string& output) { return "an earlier " + output + "\n"; }

class Commit : public ::testing::Test {
 protected:
  // The inputs every scene reads: a small synthetic case with its GRIB
  // file and its conversion, and the converter's settings.
  static void SetUpTestSuite() {
    inputs_ = new ScratchDir;
    std::vector<std::string> args = {"synth", *inputs_ / "synth", "--grib", *inputs_ / "synth/case.grib"};
    args.insert(args.end(), synth_options.begin(), synth_options.end());
    ASSERT_EQ(run_program(CONV2MODEL, inputs_->path(), "", args).status, 0);
    ASSERT_EQ(run_program(CONV2MODEL, inputs_->path(), "", {"convert", "--quiet", "synth/case.bin"}).status, 0);
    fs::create_directories(*inputs_ / "settings");
    for (const char* f : {"InputModelInf.txt", "adate.txt"})
      fs::copy_file(golden_case + "/" + f, *inputs_ / ("settings/" + std::string(f)));
  }
  static void TearDownTestSuite() {
    delete inputs_;
    inputs_ = nullptr;
  }

  void SetUp() override { ASSERT_EQ(::access(STRACE, X_OK), 0) << STRACE << ": these tests need strace"; }

  ChildRun start(const Scene& s, const std::string& outdir, const std::vector<std::string>& argv,
                 const ChildLimits& limits = {}) {
    return ChildRun(argv, s.runs_in_outdir ? outdir : inputs_->path(), s.stdin_text, limits);
  }

  // Makes OUTDIR for scene S, runs S there once without faults and returns
  // the digests of the new outputs; then leaves OUTDIR with earlier files
  // at the output names (EARLIER) or none.
  std::map<std::string, std::string> prepare(const Scene& s, const std::string& outdir, bool earlier) {
    fs::create_directories(outdir);
    if (s.case_in_outdir)
      for (const char* f : {"InputModelInf.txt", "adate.txt", "case.bin"})
        fs::copy_file(golden_case + "/" + f, outdir + "/" + f);
    ChildRun plain = start(s, outdir, s.argv(outdir, inputs_->path()));
    EXPECT_EQ(plain.finish(), 0) << plain.err();
    std::map<std::string, std::string> made;
    for (const auto& o : s.outputs) {
      made[o] = digest(outdir + "/" + o);
      fs::remove(outdir + "/" + o);
      if (earlier) write_file(outdir + "/" + o, earlier_text(o));
    }
    return made;
  }

  // Every output of S in OUTDIR is the new one (MADE), or every one is as
  // it was before the run; and nothing else is there but what was before.
  void expect_whole_set(const Scene& s, const std::string& outdir, const Snapshot& before,
                        const std::map<std::string, std::string>& made, bool expect_new) {
    Snapshot after = snapshot(outdir);
    for (const auto& o : s.outputs) {
      SCOPED_TRACE(o);
      const std::string got = after.count(o) ? after[o] : "<none>";
      const std::string was = before.count(o) ? before.at(o) : "<none>";
      if (!expect_new)
        EXPECT_EQ(got, was) << "not the earlier file";
      else if (s.reproducible)
        EXPECT_EQ(got, made.at(o)) << "not the new file";
      else
        EXPECT_TRUE(got != was && got != "<none>" && got.rfind("0 bytes", 0) != 0) << "not a new file: " << got;
      after.erase(o);
    }
    Snapshot rest = before;
    for (const auto& o : s.outputs) rest.erase(o);
    EXPECT_EQ(after, rest) << "files left beside the outputs";
  }

  static ScratchDir* inputs_;
  ScratchDir work_;
};
ScratchDir* Commit::inputs_ = nullptr;

// The stat of each output of S in OUTDIR, by inode (0: none there).
std::vector<ino_t> inodes(const Scene& s, const std::string& outdir) {
  std::vector<ino_t> got;
  for (const auto& o : s.outputs) {
    struct stat st {};
    got.push_back(::lstat((outdir + "/" + o).c_str(), &st) == 0 ? st.st_ino : 0);
  }
  return got;
}

// Faults at the renames that put a set of outputs in place.  SIGTERM just
// after the first name has changed (the rename held back 2 s by strace):
// the renames are a few system calls long, and the run completes them
// before it acts on the signal, so the outputs are all new and the run
// says so.  The second rename refused by the system: the first is undone,
// and the outputs are all as they were.
TEST_F(Commit, FaultsWhileTheOutputsAreMovedIntoPlace) {
  struct Fault {
    std::string what;
    std::string inject;
    bool signal_after_first;
    int status;
    bool outputs_new;
    std::string in_err;
  };
  const Fault faults[] = {
      {"SIGTERM after the first rename", renames + ":delay_exit=2000000:when=1", true, 128 + SIGTERM, true,
       "stopped by SIGTERM (signal 15) with every output it had written in place: they are whole and new"},
      {"the second rename refused", renames + ":error=EIO:when=2", false, 2, false, "Input/output error"},
  };
  for (const Scene& s : {input_driver_scene(), ingest_scene(), synth_scene(), export_scene()}) {
    for (const Fault& f : faults) {
      for (const bool earlier : {true, false}) {
        SCOPED_TRACE(s.name + ": " + f.what + (earlier ? ", earlier outputs there" : ""));
        const std::string outdir = work_ / (s.name + "-" + std::to_string(&f - faults) + (earlier ? "e" : "n"));
        const auto made = prepare(s, outdir, earlier);
        const Snapshot before = snapshot(outdir);
        const std::vector<ino_t> old_inodes = inodes(s, outdir);
        const std::vector<std::string> argv = s.argv(outdir, inputs_->path());
        ChildRun run = start(s, outdir, traced(f.inject, argv));
        if (f.signal_after_first) {
          const pid_t tracee = tracee_of(run.pid(), argv[0]);
          ASSERT_GT(tracee, 0);
          ASSERT_TRUE(wait_until([&] { return inodes(s, outdir) != old_inodes; }))
              << "no output was ever moved into place";
          ::kill(tracee, SIGTERM);
        }
        EXPECT_EQ(run.finish(), f.status) << run.err();
        EXPECT_NE(run.err().find(f.in_err), std::string::npos) << run.err();
        expect_whole_set(s, outdir, before, made, f.outputs_new);
      }
    }
  }
}

// Many cases made at once by ingest --all-times, each moved into place by
// the worker that made it while the others go on: SIGTERM just after the
// first name of a case has changed.  Whichever thread takes the signal,
// every case is whole and new or not there at all, and the message says
// which of the two the run left.
TEST_F(Commit, SignalWhileOneCaseOfManyIsMovedIntoPlace) {
  const std::vector<std::string> times = {"2026120800", "2026120806", "2026120812"};
  std::string grib;
  for (const auto& t : times) {
    std::vector<std::string> args = {"synth", work_ / t, "--date", t, "--grib", work_ / (t + ".grib")};
    args.insert(args.end(), synth_options.begin(), synth_options.end());
    ASSERT_EQ(run_program(CONV2MODEL, work_.path(), "", args).status, 0);
    grib += read_file(work_ / (t + ".grib"));
  }
  write_file(work_ / "all.grib", grib);
  const std::string outdir = work_ / "cases";
  const std::vector<std::string> argv = {CONV2MODEL, "ingest", "--all-times", "-j", "2", outdir,
                                         work_ / "all.grib"};
  const Scene one_case = ingest_scene();
  std::map<std::string, std::map<std::string, std::string>> made;
  ASSERT_EQ(run_program(CONV2MODEL, work_.path(), "", {argv.begin() + 1, argv.end()}).status, 0);
  for (const auto& t : times)
    for (const auto& o : one_case.outputs) made[t][o] = digest(outdir + "/" + t + "/" + o);
  fs::remove_all(outdir);

  ChildRun run(traced(renames + ":delay_exit=2000000:when=1", argv), work_.path(), "");
  const pid_t tracee = tracee_of(run.pid(), argv[0]);
  ASSERT_GT(tracee, 0);
  ASSERT_TRUE(wait_until([&] {
    for (const auto& t : times)
      for (const auto& o : one_case.outputs)
        if (file_exists(outdir + "/" + t + "/" + o)) return true;
    return false;
  })) << "no case was ever moved into place";
  ::kill(tracee, SIGTERM);
  EXPECT_EQ(run.finish(), 128 + SIGTERM) << run.err();
  std::size_t whole = 0;
  for (const auto& t : times) {
    SCOPED_TRACE(t);
    const Snapshot got = fs::exists(outdir + "/" + t) ? snapshot(outdir + "/" + t) : Snapshot{};
    if (got.empty()) continue;
    EXPECT_EQ(got, Snapshot(made[t].begin(), made[t].end())) << "a case neither whole nor absent";
    ++whole;
  }
  EXPECT_GE(whole, 1u);
  // A case not yet begun has no temporary files: the run may not have
  // been writing any other.
  const std::string all_written = "stopped by SIGTERM (signal 15) with every output it had written in place";
  const std::string some_written = "stopped by SIGTERM (signal 15): the run did not finish; the outputs it "
                                   "had put in place are whole and new, its other temporary files are removed";
  const bool said_all = run.err().find(all_written) != std::string::npos;
  EXPECT_TRUE(said_all || (whole < times.size() && run.err().find(some_written) != std::string::npos))
      << run.err();
}

// The directory of the outputs moved elsewhere (its parent renamed) while
// the run writes them, held at its first write by strace.  Stopped by a
// signal, or failing (the disk full), the run removes its temporary files
// where the directory now is, and the earlier outputs stay.  Left to go
// on, it puts its outputs in place there, whole; only export, which makes
// its descriptor after the netCDF file and so by a name that no longer
// leads anywhere, fails, and leaves nothing behind.
TEST_F(Commit, DirectoryMovedAwayDuringTheRun) {
  struct Fault {
    std::string what;
    int signal;  // 0: none
    ChildLimits limits;
  };
  const Fault faults[] = {
      {"SIGTERM", SIGTERM, {}},
      {"a failed write", 0, {16, true}},
      {"carried on", 0, {}},
  };
  for (const Scene& s : {convert_scene(), ingest_scene(), synth_scene(), plot_scene(), export_scene()}) {
    for (const Fault& f : faults) {
      SCOPED_TRACE(s.name + ": " + f.what);
      const std::string parent = work_ / (s.name + "-" + std::to_string(&f - faults));
      const std::string moved = parent + "-moved";
      const auto made = prepare(s, parent + "/out", true);
      const Snapshot before = snapshot(parent + "/out");
      const std::vector<std::string> argv = s.argv(parent + "/out", inputs_->path());
      ChildRun run = start(s, parent + "/out", traced("pwrite64:delay_enter=2000000:when=1", argv), f.limits);
      const pid_t tracee = tracee_of(run.pid(), argv[0]);
      ASSERT_GT(tracee, 0);
      ASSERT_TRUE(wait_until([&] { return held_in(tracee, SYS_pwrite64); })) << "the run never wrote";
      fs::rename(parent, moved);
      if (f.signal != 0) ::kill(tracee, f.signal);
      const bool completes = f.signal == 0 && f.limits.file_size == RLIM_INFINITY && s.name != "export";
      const int status = f.signal != 0 ? 128 + f.signal : completes ? 0 : 2;
      EXPECT_EQ(run.finish(), status) << run.err();
      expect_whole_set(s, moved + "/out", before, made, completes);
    }
  }
}

}  // namespace
