// What ingest writes, and never writes over: an output name that is one of
// the inputs (by that name, through a link, a hard link) is refused before
// anything is made; a link where --all-times names a case's directory is
// reported and left alone; a run stopped by a signal, or a case of
// --all-times stopped by the file-size limit, leaves no directory it made
// and did not finish; the report's commands convert the case as printed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "grib_files.hpp"
#include "support/child_run.hpp"
#include "support/dir_snapshot.hpp"

namespace fs = std::filesystem;
using namespace ingesttest;
using testsupport::ScratchDir;

namespace {

// The small synthetic case as GRIB, made once, valid on 2026-12-08 at 06
// UTC, and its messages made valid a day later.
struct Inputs {
  ScratchDir dir;
  std::string grib, next_day;
  Inputs() {
    make_case(dir.path(), 12, 8, 40.0, 0.0, 1.0, 3);
    grib = case_as_grib(dir.path());
    next_day = rewrite(grib, [](Message& m) {
      m.set("dataDate", 20261209L);
      return true;
    });
  }
};

const Inputs& inputs() {
  static const Inputs made;
  return made;
}

// Every entry below DIR by its path relative to DIR: a file by its bytes'
// digest, a link by its target, a directory as such.
std::map<std::string, std::string> everything(const std::string& dir) {
  std::map<std::string, std::string> t;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), dir).string();
    if (it->is_symlink()) t[rel] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_directory()) t[rel] = "dir";
    else t[rel] = testsupport::digest(it->path().string());
  }
  return t;
}

void link_or_fail(const std::string& target, const std::string& name) {
  ASSERT_EQ(::symlink(target.c_str(), name.c_str()), 0) << name;
}

struct OntoInput {
  const char* name;
  // Puts the GRIB file (BYTES) where the row wants it, below the scratch
  // directory, and returns the input's name as given to ingest.
  std::function<std::string(const ScratchDir&, const std::string& bytes)> place;
  std::vector<std::string> options;  // before OUTDIR
  std::string outdir;
  std::vector<std::string> said;
};

TEST(Outputs, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
  auto in = [](const char* path) {
    return [path](const ScratchDir& d, const std::string& bytes) {
      fs::create_directories(fs::path(d / path).parent_path());
      testsupport::write_file(d / path, bytes);
      return std::string(path);
    };
  };
  const OntoInput rows[] = {
      {"the grid file's name", in("io/case.bin"), {}, "io", {"io/case.bin: is the input file io/case.bin"}},
      {"--name naming the input", in("io/in.grib2"), {"--name", "in.grib2"}, "io",
       {"io/in.grib2: is the input file io/in.grib2"}},
      {"the report's name", in("io/ingest.txt"), {}, "io", {"io/ingest.txt: is the input file"}},
      {"the run description's name", in("io/InputModelInf.txt"), {}, "io", {"io/InputModelInf.txt: is the input"}},
      {"the date file's name", in("io/adate.txt"), {}, "io", {"io/adate.txt: is the input"}},
      {"an input that is a symlink to the grid file's name",
       [](const ScratchDir& d, const std::string& bytes) {
         fs::create_directories(d / "io");
         testsupport::write_file(d / "io/case.bin", bytes);
         link_or_fail("io/case.bin", d / "in.grib2");
         return std::string("in.grib2");
       },
       {}, "io", {"io/case.bin: is the same file as the input in.grib2"}},
      {"an input that is a hard link of the grid file's name",
       [](const ScratchDir& d, const std::string& bytes) {
         fs::create_directories(d / "io");
         testsupport::write_file(d / "in.grib2", bytes);
         fs::create_hard_link(d / "in.grib2", d / "io/case.bin");
         return std::string("in.grib2");
       },
       {}, "io", {"io/case.bin: is the same file as the input in.grib2"}},
      {"OUTDIR reached through a link", in("io/case.bin"), {}, "link", {"link/case.bin: is the same file"}},
  };
  for (const OntoInput& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir work;
    const std::string input = row.place(work, inputs().grib);
    if (row.outdir == "link") link_or_fail("io", work / "link");
    const auto before = everything(work.path());
    std::vector<std::string> args = {"ingest"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.push_back(row.outdir);
    args.push_back(input);
    const auto r = conv2model(work.path(), args);
    EXPECT_EQ(r.status, 2) << r.err;
    for (const std::string& s : row.said) EXPECT_NE(r.err.find(s), std::string::npos) << s << " not in\n" << r.err;
    EXPECT_EQ(everything(work.path()), before) << "the run changed the directory";
  }
}

TEST(Outputs, AllTimesRefusesTheTimeWhoseOutputIsAnInputAndMakesTheOthers) {
  ScratchDir work;
  fs::create_directories(work / "out/2026120806");
  testsupport::write_file(work / "out/2026120806/case.bin", inputs().grib + inputs().next_day);
  const std::string input = "out/2026120806/case.bin";
  const std::string bytes = testsupport::read_file(work / input);
  const auto r = conv2model(work.path(), {"ingest", "--all-times", "out", input});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_TRUE(testsupport::read_file(work / input) == bytes) << "the input was written over";
  EXPECT_NE(r.err.find("2026120806: not made: out/2026120806/case.bin: is the input file"), std::string::npos)
      << r.err;
  EXPECT_TRUE(testsupport::file_exists(work / "out/2026120906/case.bin")) << r.err;
  EXPECT_FALSE(testsupport::file_exists(work / "out/2026120806/ingest.txt"));
}

TEST(Outputs, ALinkWhereAllTimesNamesACaseIsReportedAndLeftAlone) {
  struct Row {
    const char* name;
    bool dangling;
  };
  for (const Row row : {Row{"a link to a directory of files", false}, Row{"a dangling link", true}}) {
    SCOPED_TRACE(row.name);
    ScratchDir work;
    testsupport::write_file(work / "in.grib", inputs().grib + inputs().next_day);
    fs::create_directories(work / "out");
    if (!row.dangling) {
      fs::create_directories(work / "elsewhere");
      for (const char* f : {"case.bin", "InputModelInf.txt", "adate.txt", "ingest.txt"})
        testsupport::write_file(work / (std::string("elsewhere/") + f), std::string("mine: ") + f);
    }
    link_or_fail("../elsewhere", work / "out/2026120806");
    const auto before = everything(work.path());
    const auto r = conv2model(work.path(), {"ingest", "--all-times", "out", "in.grib"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("2026120806: not made: out/2026120806 is a symbolic link"), std::string::npos) << r.err;
    auto after = everything(work.path());
    for (const auto& [name, what] : before) EXPECT_EQ(after[name], what) << name;
    EXPECT_TRUE(testsupport::file_exists(work / "out/2026120906/case.bin")) << r.err;
  }
}

// The case of 360 x 181 points and 9 levels, large enough that writing it
// takes a moment in which a signal can be sent.
class Stopped : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    make_case(dir_->path(), 360, 181, -90.0, 0.0, 1.0, 9);
    const std::string g = case_as_grib(dir_->path(), false, true);
    std::string times = g;
    for (long day : {20261209L, 20261210L, 20261211L})
      times += rewrite(g, [day](Message& m) {
        m.set("dataDate", day);
        return true;
      });
    testsupport::write_file(*dir_ / "one.grib", g);
    testsupport::write_file(*dir_ / "four.grib", times);
    const auto r = conv2model(dir_->path(), {"ingest", "--quiet", "ref", "one.grib"});
    ASSERT_EQ(r.status, 0) << r.err;
    grid_file_size_ = static_cast<std::int64_t>(fs::file_size(*dir_ / "ref/case.bin"));
  }
  static void TearDownTestSuite() { delete dir_; }
  static ScratchDir* dir_;
  static std::int64_t grid_file_size_;
};

ScratchDir* Stopped::dir_ = nullptr;
std::int64_t Stopped::grid_file_size_ = 0;

// Waits until PATH exists (true) or the child's run has ended (false).
bool appears(const std::string& path, pid_t pid) {
  for (int n = 0; n < 200000; ++n) {
    if (fs::exists(path)) return true;
    if (::kill(pid, 0) != 0) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return false;
}

// Every directory below DIR that holds no whole case (all four files).
std::vector<std::string> unfinished(const std::string& dir) {
  std::vector<std::string> bad;
  if (!fs::exists(dir)) return bad;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string rel = fs::relative(e.path(), dir).string();
    if (e.is_directory()) {
      for (const char* f : {"case.bin", "InputModelInf.txt", "adate.txt", "ingest.txt"})
        if (!fs::exists(e.path() / f)) bad.push_back(rel + " without " + f);
    } else if (rel.find(".partial-") != std::string::npos) {
      bad.push_back(rel);
    }
  }
  return bad;
}

struct StopRow {
  const char* name;
  std::vector<std::string> args;  // after "ingest"
  std::string appears;            // the moment to stop it
  std::string outdir;             // what must not stay unless whole
};

TEST_F(Stopped, SignalsLeaveNoDirectoryTheRunMadeUnfinished) {
  const StopRow rows[] = {
      {"one case in a directory made with its parent", {"s1/new/deep", "one.grib"}, "s1/new/deep", "s1/new"},
      {"--all-times", {"--all-times", "-j", "1", "all", "four.grib"}, "all/2026120806", "all"},
  };
  for (const StopRow& row : rows) {
    for (const int sig : {SIGTERM, SIGINT}) {
      SCOPED_TRACE(std::string(row.name) + ", signal " + std::to_string(sig));
      ScratchDir work;
      fs::create_directories(work / "s1");
      for (const char* f : {"one.grib", "four.grib"}) fs::create_symlink(*dir_ / f, work / f);
      std::vector<std::string> argv = {CONV2MODEL, "ingest"};
      argv.insert(argv.end(), row.args.begin(), row.args.end());
      testsupport::ChildRun child(argv, work.path(), "");
      ASSERT_TRUE(appears(work / row.appears, child.pid())) << "the run ended before it was stopped";
      child.signal(sig);
      const int status = child.finish();
      EXPECT_EQ(status, 128 + sig) << child.err();
      EXPECT_TRUE(fs::exists(work / "s1"));
      EXPECT_EQ(unfinished(work / row.outdir), std::vector<std::string>{}) << child.err();
      if (row.outdir == "s1/new") {
        EXPECT_FALSE(fs::exists(work / "s1/new")) << child.err();
      }
    }
  }
}

TEST_F(Stopped, TheFileSizeLimitStopsOneCaseAloneAndItsDirectoryGoes) {
  // The second time lacks its upper levels, the others have all 9: its
  // grid file is smaller, and a limit between the two sizes lets only it
  // be made.
  ScratchDir work;
  const std::string all = testsupport::read_file(*dir_ / "four.grib");
  std::string bytes;
  int time = 0;
  std::string last;
  bytes = rewrite(all, [&](Message& m) {
    const std::string when = std::to_string(m.get_long("dataDate"));
    if (when != last) ++time, last = when;
    return time != 2 || m.get_string("typeOfLevel") != "isobaricInhPa" || m.get_long("level") >= 700;
  });
  testsupport::write_file(work / "in.grib", bytes);
  testsupport::ChildLimits limits;
  limits.file_size = static_cast<rlim_t>(grid_file_size_ - 1);
  testsupport::ChildRun child({CONV2MODEL, "ingest", "--all-times", "-j", "2", "out", "in.grib"}, work.path(), "",
                              limits);
  const int status = child.finish();
  EXPECT_EQ(status, 2) << child.err();
  EXPECT_NE(child.err().find("2026120806: not made: "), std::string::npos) << child.err();
  EXPECT_NE(child.err().find("File too large"), std::string::npos) << child.err();
  EXPECT_TRUE(testsupport::file_exists(work / "out/2026120906/case.bin")) << child.err();
  EXPECT_EQ(unfinished(work / "out"), std::vector<std::string>{}) << child.err();
  EXPECT_EQ(child.err().find("stopped by"), std::string::npos) << child.err();
}

// The lines of the report after "to convert the case:".
std::vector<std::string> convert_commands(const std::string& report) {
  const std::string head = "to convert the case:\n";
  const auto at = report.find(head);
  std::vector<std::string> cmds;
  if (at == std::string::npos) return cmds;
  for (std::size_t p = at + head.size(), nl; (nl = report.find('\n', p)) != std::string::npos; p = nl + 1) {
    if (report.compare(p, 2, "  ") != 0) break;
    cmds.push_back(report.substr(p + 2, nl - p - 2));
  }
  return cmds;
}

TEST(Outputs, TheReportsCommandsConvertTheCaseAsPrinted) {
  struct Row {
    const char* name;
    std::string outdir, grid_name;
  };
  const Row rows[] = {
      {"a directory with a blank", "my cases/a", "case.bin"},
      {"names beginning with a dash", "-d", "-x"},
      {"a quote in the directory", "it's/here", "a+b.bin"},
      {"an absolute directory", "", "case.bin"},  // the scratch directory's own path
  };
  const std::string path = fs::path(CONV2MODEL).parent_path().string() + ":" +
                           fs::path(INPUT_DRIVER).parent_path().string() + ":/usr/bin:/bin";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir work;
    testsupport::write_file(work / "in.grib", inputs().grib);
    const std::string outdir = row.outdir.empty() ? work / "abs" : row.outdir;
    const auto r = conv2model(work.path(), {"ingest", "--name", row.grid_name, "--", outdir, "in.grib"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto cmds = convert_commands(r.out);
    ASSERT_EQ(cmds.size(), 2u) << r.out;
    const std::string dir = row.outdir.empty() ? outdir : work / outdir;
    for (const std::string& cmd : cmds) {
      SCOPED_TRACE(cmd);
      fs::remove(dir + "/" + row.grid_name + ".KVOwrk");
      const auto run = testsupport::run_program("/usr/bin/env", work.path(), "",
                                                {"PATH=" + path, "bash", "-c", cmd});
      EXPECT_EQ(run.status, 0) << run.out << run.err;
      EXPECT_TRUE(testsupport::file_exists(dir + "/" + row.grid_name + ".KVOwrk")) << run.out << run.err;
    }
  }
}

}  // namespace
