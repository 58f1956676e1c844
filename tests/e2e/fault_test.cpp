// Faults that happen to a run from outside, made to happen for real: a
// signal in the middle of the model data file, a file-size limit (the disk
// filling up), a second run of the same case at the same time, odd things
// at the output names.  After each, every file of the directory is either
// byte for byte what it was before the run, or a complete output of one
// run, with its partner from the same run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "support/case_files.hpp"
#include "support/child_run.hpp"
#include "support/dir_snapshot.hpp"
#include "support/scratch.hpp"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// A case big enough that the model data file takes a while to write:
// 480 x 241 points, 26 levels (68 MB out), every record one value.
constexpr std::int32_t big_im = 480, big_jm = 241, big_lm = 26;
constexpr std::int64_t big_record = std::int64_t{big_im} * big_jm * 4;
constexpr std::int64_t big_output = (5 * big_lm + 12) * big_record;

void write_big_case(const std::string& dir, float bottom_temperature) {
  TestCase small = TestCase::valid(1, 1, big_lm);
  small.at(small.rec().tp(1), 1, 1) = bottom_temperature;
  TestCase desc = small;
  desc.im = big_im;
  desc.jm = big_jm;
  write_file(dir + "/InputModelInf.txt", desc.run_description());
  write_file(dir + "/adate.txt", "2024010100\n");
  std::FILE* f = std::fopen((dir + "/case.bin").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::vector<float> plane(static_cast<std::size_t>(big_im) * big_jm);
  for (const float v : small.records) {
    std::fill(plane.begin(), plane.end(), v);
    ASSERT_EQ(std::fwrite(plane.data(), sizeof(float), plane.size(), f), plane.size());
  }
  ASSERT_EQ(std::fclose(f), 0);
}

// The converter run as a child with its log read line by line, so that the
// test can act at a given moment of the run.
using Limits = ChildLimits;
class Child : public ChildRun {
 public:
  explicit Child(const std::string& dir, const Limits& limits = {})
      : ChildRun({INPUT_DRIVER}, dir, "case.bin\nnone\n", limits) {}
  // Stops the child and waits until it is stopped.
  void pause() { ASSERT_TRUE(ChildRun::pause()) << "the run ended before it could be stopped"; }
};

const std::string writing = " starting writes to unit1";

class Faults : public ::testing::Test {
 protected:
  // Two versions of the big case, A and B (another bottom temperature),
  // and their complete outputs, made once for all tests.
  static void SetUpTestSuite() {
    shared_ = new ScratchDir;
    for (const auto& [name, t] : {std::pair{"a", 290.0f}, std::pair{"b", 280.0f}}) {
      const std::string dir = *shared_ / name;
      fs::create_directories(dir);
      write_big_case(dir, t);
      const RunResult r = run_program(INPUT_DRIVER, dir, "case.bin\nnone\n");
      ASSERT_EQ(r.status, 0) << r.err;
    }
  }
  static void TearDownTestSuite() {
    delete shared_;
    shared_ = nullptr;
  }

  static std::string of(const std::string& version, const std::string& file) {
    return *shared_ / (version + "/" + file);
  }

  // A working directory for the case VERSION (its input grid file a
  // symlink to the shared one), with the outputs of the other version
  // standing under the output names when OLD_OUTPUTS.
  std::string make_dir(const std::string& version, bool old_outputs) {
    const std::string dir = work_ / version;
    fs::create_directories(dir);
    for (const char* f : {"InputModelInf.txt", "adate.txt"}) fs::copy_file(of(version, f), dir + "/" + f);
    fs::create_symlink(of(version, "case.bin"), dir + "/case.bin");
    if (old_outputs) {
      const std::string other = version == "a" ? "b" : "a";
      for (const char* f : {"case.bin.KVOwrk", "case.bin.KVOwrk.gdsinfo"})
        fs::copy_file(of(other, f), dir + "/" + f);
    }
    return dir;
  }

  // The directory holds the complete outputs of VERSION and nothing else
  // beside the case's own files.
  void expect_outputs_of(const std::string& dir, const std::string& version) {
    Snapshot s = snapshot(dir);
    EXPECT_EQ(s["case.bin.KVOwrk"], digest(of(version, "case.bin.KVOwrk")));
    EXPECT_EQ(s["case.bin.KVOwrk.gdsinfo"], digest(of(version, "case.bin.KVOwrk.gdsinfo")));
    EXPECT_EQ(s.size(), 5u) << "files left beside the outputs";
  }

  static ScratchDir* shared_;
  ScratchDir work_;
};
ScratchDir* Faults::shared_ = nullptr;

std::string partial(const std::string& dir, const std::string& name, pid_t pid) {
  return dir + "/" + name + ".partial-" + std::to_string(pid);
}

// A signal in the middle of the records: the run ends with 128 + the signal,
// says so, and leaves the directory as it found it, old outputs included.
// Only SIGKILL, which no program can answer, leaves the two temporary
// files, under names that say what they are.
TEST_F(Faults, SignalInTheMiddleOfTheRecords) {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    for (const bool old_outputs : {false, true}) {
      SCOPED_TRACE("signal " + std::to_string(sig) + (old_outputs ? " beside old outputs" : ""));
      const std::string dir = make_dir("a", old_outputs);
      const Snapshot before = snapshot(dir);
      Child run(dir);
      ASSERT_TRUE(run.wait_for(writing));
      run.pause();
      // Stopped inside stage 11: the model data file is on its way.
      const std::string model_tmp = partial(dir, "case.bin.KVOwrk", run.pid());
      ASSERT_TRUE(fs::exists(model_tmp));
      EXPECT_LT(static_cast<std::int64_t>(fs::file_size(model_tmp)), big_output);
      EXPECT_TRUE(fs::exists(partial(dir, "case.bin.KVOwrk.gdsinfo", run.pid())));
      run.signal(sig);
      run.resume();
      EXPECT_EQ(run.finish(), 128 + sig);
      Snapshot after = snapshot(dir);
      if (sig == SIGKILL) {
        EXPECT_EQ(after.erase("case.bin.KVOwrk.partial-" + std::to_string(run.pid())), 1u);
        EXPECT_EQ(after.erase("case.bin.KVOwrk.gdsinfo.partial-" + std::to_string(run.pid())), 1u);
      } else {
        EXPECT_NE(run.err().find("input_driver: stopped by SIG"), std::string::npos) << run.err();
        EXPECT_NE(run.err().find("(signal " + std::to_string(sig) + ")"), std::string::npos);
      }
      EXPECT_EQ(after, before);
      fs::remove_all(dir);
    }
  }
}

// The disk filling up, made with a file-size limit: at record 88 of the
// model data file, and at the first byte of the grid description.  With
// SIGXFSZ at its default the run ends by the signal; with it ignored the
// write fails and the run ends with status 2 and the system's reason.
TEST_F(Faults, FileSizeLimitWhileWriting) {
  struct Row {
    const char* name;
    Limits limits;
    int status;
    std::vector<std::string> err;
  };
  const Row rows[] = {
      {"record_88_signal", {static_cast<rlim_t>(88 * big_record), false}, 128 + SIGXFSZ,
       {"stopped by SIGXFSZ"}},
      {"record_88_failed_write", {static_cast<rlim_t>(88 * big_record), true}, 2,
       {"case.bin.KVOwrk: File too large (writing record 89)"}},
      {"grid_description_failed_write", {0, true}, 2,
       {"case.bin.KVOwrk.gdsinfo: File too large (writing the grid description)"}},
      {"grid_description_signal", {0, false}, 128 + SIGXFSZ, {"stopped by SIGXFSZ"}},
  };
  for (const Row& row : rows) {
    for (const bool old_outputs : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (old_outputs ? " beside old outputs" : ""));
      const std::string dir = make_dir("a", old_outputs);
      const Snapshot before = snapshot(dir);
      Child run(dir, row.limits);
      EXPECT_EQ(run.finish(), row.status);
      for (const auto& piece : row.err) EXPECT_NE(run.err().find(piece), std::string::npos) << run.err();
      EXPECT_EQ(snapshot(dir), before);
      fs::remove_all(dir);
    }
  }
}

// Two runs of the same case at once, the input replaced between them: the
// run that finishes last wins whole, and a run that fails takes nothing of
// the other's.
TEST_F(Faults, TwoRunsOfTheSameCaseAtOnce) {
  const std::string dir = make_dir("a", true);
  Child first(dir);  // reads version A
  ASSERT_TRUE(first.wait_for(writing));
  first.pause();

  // The input is replaced by version B, which a second run converts whole.
  fs::create_symlink(of("b", "case.bin"), dir + "/case.bin.new");
  fs::rename(dir + "/case.bin.new", dir + "/case.bin");
  {
    Child second(dir);
    EXPECT_EQ(second.finish(), 0) << second.err();
  }
  Snapshot mid = snapshot(dir);
  EXPECT_EQ(mid["case.bin.KVOwrk"], digest(of("b", "case.bin.KVOwrk")));
  EXPECT_EQ(mid.size(), 7u) << "the first run's two temporary files beside the case";

  // A third run fails half-way (the disk full at record 10): it takes
  // back its own temporary files and nothing else.
  {
    Child third(dir, {static_cast<rlim_t>(10 * big_record), true});
    EXPECT_EQ(third.finish(), 2);
  }
  EXPECT_EQ(snapshot(dir), mid);

  first.resume();
  EXPECT_EQ(first.finish(), 0) << first.err();
  expect_outputs_of(dir, "a");
}

// Both runs paused before their records, let go in turn: whichever order
// they finish in, the pair is whole and from the one that finished last.
TEST_F(Faults, TwoRunsInterleavedFinishInEitherOrder) {
  for (const bool first_finishes_last : {false, true}) {
    SCOPED_TRACE(first_finishes_last ? "first finishes last" : "second finishes last");
    const std::string dir = make_dir("a", false);
    Child first(dir);
    ASSERT_TRUE(first.wait_for(writing));
    first.pause();
    fs::create_symlink(of("b", "case.bin"), dir + "/case.bin.new");
    fs::rename(dir + "/case.bin.new", dir + "/case.bin");
    Child second(dir);
    ASSERT_TRUE(second.wait_for(writing));
    second.pause();
    Child& early = first_finishes_last ? second : first;
    Child& late = first_finishes_last ? first : second;
    early.resume();
    EXPECT_EQ(early.finish(), 0);
    late.resume();
    EXPECT_EQ(late.finish(), 0);
    expect_outputs_of(dir, first_finishes_last ? "a" : "b");
    fs::remove_all(dir);
  }
}

// Symlinks at the output names are replaced by the new files; what they
// point at, existing or not, is never written.
TEST(OutputNames, SymlinksAreReplacedAndTheirTargetsLeftAlone) {
  ScratchDir dir;
  TestCase::valid(4, 3, 2).write(dir.path());
  ScratchDir clean;
  TestCase::valid(4, 3, 2).write(clean.path());
  ASSERT_EQ(run_program(INPUT_DRIVER, clean.path(), "case.bin\nnone\n").status, 0);

  write_file(dir / "some/other.txt", "precious\n");
  fs::create_symlink("some/other.txt", dir / "case.bin.KVOwrk");
  fs::create_symlink("nowhere/at/all.txt", dir / "case.bin.KVOwrk.gdsinfo");
  const RunResult r = run_program(INPUT_DRIVER, dir.path(), "case.bin\nnone\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir / "some/other.txt"), "precious\n");
  for (const char* f : {"case.bin.KVOwrk", "case.bin.KVOwrk.gdsinfo"}) {
    EXPECT_FALSE(fs::is_symlink(dir / f)) << f;
    EXPECT_EQ(read_file(dir / f), read_file(clean / f)) << f;
  }
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

// Memory running out names the file and the sizes.  The converter holds a
// few bands of rows, at least one row each: a row of 800 MB cannot be had
// under a limit of 500 MB.  The input grid file is sparse: 12 surface
// records of 800 MB that take no room on the disk.
TEST(Diagnostics, NoMemoryNamesTheFileAndTheSizes) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer cannot run under an address-space limit";
#endif
  ScratchDir dir;
  TestCase c = TestCase::valid(1, 1, 0);
  c.im = 200000000;
  c.jm = 1;
  c.grid = {0, 0, 0, 0, 0, 0, 0};
  write_file(dir / "InputModelInf.txt", c.run_description());
  write_file(dir / "adate.txt", c.date + "\n");
  write_file(dir / "case.bin", "");
  fs::resize_file(dir / "case.bin", 12ull * 200000000 * 4);
  const RunResult r = run_program("/bin/sh", dir.path(), "case.bin\nnone\n",
                                  {"-c", "ulimit -v 500000 && exec \"$0\"", INPUT_DRIVER});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("input_driver: case.bin: out of memory for a grid of im = 200000000, "
                       "jm = 1, lm = 0"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(list_files(dir.path()),
            (std::vector<std::string>{"InputModelInf.txt", "adate.txt", "case.bin"}));
}

// A token of 100 MB in the run description is quoted by its first 60
// characters: the diagnostic stays one short line.
TEST(Diagnostics, AHugeTokenIsCutInTheMessage) {
  ScratchDir dir;
  TestCase::valid(4, 3, 2).write(dir.path());
  write_file(dir / "InputModelInf.txt", "label\n" + std::string(100 << 20, '9') + "x 3 2\n");
  const RunResult r = run_program(INPUT_DRIVER, dir.path(), "case.bin\nnone\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_LT(r.err.size(), 400u) << r.err.substr(0, 400);
  EXPECT_NE(r.err.find("'" + std::string(60, '9') + "...'"), std::string::npos) << r.err.substr(0, 400);
}

}  // namespace
