// conv2model fetch as a user runs it, against a real nginx on this machine
// serving mirror trees of both providers' layouts, with the fault proxy in
// front of it for the faults.  The requests each run took are counted in
// the server's log.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "grib_files.hpp"
#include "mirror.hpp"
#include "servers.hpp"
#include "support/child_run.hpp"
#include "support/scratch.hpp"

namespace {

using fetchtest::FaultProxy;
using fetchtest::Nginx;
using testsupport::file_exists;
using testsupport::read_file;
using testsupport::RunResult;
using testsupport::ScratchDir;

const std::vector<std::string> case_files = {"case.bin", "InputModelInf.txt", "adate.txt"};

RunResult c2m(const ScratchDir& s, std::vector<std::string> args) { return ingesttest::conv2model(s.path(), args); }

// The options that keep a test fast and its requests countable.
std::vector<std::string> quick(std::vector<std::string> more) {
  std::vector<std::string> a = {"fetch", "--rate", "0", "--retry-wait", "0.05", "--timeout", "1", "--no-cache"};
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

void expect_same_case(const std::string& a, const std::string& b) {
  for (const std::string& f : case_files) {
    ASSERT_TRUE(file_exists(a + "/" + f)) << a << "/" << f;
    ASSERT_TRUE(file_exists(b + "/" + f)) << b << "/" << f;
    EXPECT_TRUE(read_file(a + "/" + f) == read_file(b + "/" + f)) << f << " differs between " << a << " and " << b;
  }
}

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The servers are on this machine: no proxy of the environment in between.
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
    gfs = fetchtest::gfs_file(s / "mirror", s / "work", "2024011500", 6, 4);
    ifs = fetchtest::ifs_file(s / "mirror", s / "work-ifs", "2024011500", 0, 4, s / "invariant.grib");
    server = std::make_unique<Nginx>(s / "nginx", s / "mirror");
  }
  std::vector<std::string> gfs_args(const std::string& root, const std::string& out) {
    return quick({"--res", "1", "--step", "6", "--cycle", "2024011500", "--root", root, out});
  }
  ScratchDir s;
  fetchtest::MirrorFile gfs, ifs;
  std::unique_ptr<Nginx> server;
};

TEST_F(FetchTest, GfsCaseIsIngestOfTheWholeFileAndItsReportIngestsOfTheMessages) {
  auto args = gfs_args(server->url() + "/", "out");
  args.push_back("--keep-grib");
  const RunResult r = c2m(s, args);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(c2m(s, {"ingest", "--quiet", "whole", s / "mirror" + "/" + gfs.data_path}).status, 0);
  expect_same_case(s / "out", s / "whole");

  // Only the messages the case needs, in fewer requests than messages, over
  // kept-alive connections, all answered with their range.
  const auto log = server->log();
  ASSERT_EQ(server->count(".idx"), 1u);
  const std::string kept = read_file(s / "out/source.grib2");
  EXPECT_LT(kept.size(), gfs.bytes.size());
  long longest_connection = 0;
  for (const auto& l : log) {
    longest_connection = std::max(longest_connection, l.connection_requests);
    EXPECT_TRUE(l.user_agent.starts_with("conv2model/")) << l.user_agent;
    if (!l.uri.ends_with(".idx")) {
      EXPECT_EQ(l.status, 206) << l.range;
      EXPECT_TRUE(l.range.starts_with("bytes=")) << l.range;
    }
  }
  EXPECT_GT(longest_connection, 1);
  EXPECT_LT(server->count(), 12u);

  // The report is ingest's of the downloaded messages, then where each came from.
  const std::string report = read_file(s / "out/ingest.txt");
  ASSERT_EQ(c2m(s, {"ingest", "--quiet", "out", "out/source.grib2"}).status, 0);
  const std::string ingested = read_file(s / "out/ingest.txt");
  ASSERT_TRUE(report.starts_with(ingested)) << report;
  const std::string origin = report.substr(ingested.size());
  EXPECT_NE(origin.find("\ndownloaded: out/source.grib2 (kept)"), std::string::npos) << origin;
  EXPECT_NE(origin.find(server->url() + "/" + gfs.data_path), std::string::npos) << origin;
  EXPECT_NE(origin.find("UGRD:700 mb, VGRD:700 mb"), std::string::npos) << origin;
  EXPECT_EQ(origin.find("VVEL"), std::string::npos) << origin;
  EXPECT_EQ(r.out, report);
}

TEST_F(FetchTest, AreaLevelsAndHumidityArePassedOnAsIngestTakesThem) {
  auto args = gfs_args(server->url(), "out");
  args.insert(args.begin() + 1, {"--area", "30,-30,75,45", "--levels", "1000,700"});
  const RunResult r = c2m(s, args);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(c2m(s, {"ingest", "--quiet", "--area", "30,-30,75,45", "--levels", "1000,700", "whole",
                    s / "mirror" + "/" + gfs.data_path}).status, 0);
  expect_same_case(s / "out", s / "whole");
  // Two levels need fewer messages: no field of another level is downloaded.
  EXPECT_EQ(r.out.find("TMP:250 mb"), std::string::npos) << r.out;

  // --humidity physical makes other relative-humidity records, as ingest's.
  args = gfs_args(server->url(), "physical");
  args.insert(args.begin() + 1, {"--levels", "1000,700", "--humidity", "physical"});
  ASSERT_EQ(c2m(s, args).status, 0);
  ASSERT_EQ(c2m(s, {"ingest", "--quiet", "--levels", "1000,700", "--humidity", "physical", "whole_physical",
                    s / "mirror" + "/" + gfs.data_path}).status, 0);
  expect_same_case(s / "physical", s / "whole_physical");
  EXPECT_NE(read_file(s / "physical/ingest.txt").find("humidity:      physical"), std::string::npos);
}

TEST_F(FetchTest, IfsSaysWhatItLacksBeforeDownloadingAndInvariantFilesCompleteTheCase) {
  const auto base = quick({"--source", "ifs", "--cycle", "2024011500", "--root", server->url()});
  auto lacking = base;
  lacking.push_back("out");
  const RunResult refused = c2m(s, lacking);
  EXPECT_EQ(refused.status, 2);
  for (const char* piece : {"required fields are absent", "lsm", "orog", "swvl1", "--invariant FILE", ".index"})
    EXPECT_NE(refused.err.find(piece), std::string::npos) << piece << " in " << refused.err;
  EXPECT_EQ(server->count(), 0u) << "GRIB bytes downloaded before the case was known to be possible";
  EXPECT_FALSE(std::filesystem::exists(s / "out"));

  auto complete = base;
  complete.insert(complete.end(), {"--invariant", s / "invariant.grib", "out"});
  const RunResult r = c2m(s, complete);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(c2m(s, {"ingest", "--quiet", "whole", s / "mirror" + "/" + ifs.data_path, s / "invariant.grib"}).status, 0);
  expect_same_case(s / "out", s / "whole");
  EXPECT_NE(r.out.find("(--invariant): its fields are taken as valid at 2024-01-15 00:00"), std::string::npos) << r.out;
}

TEST_F(FetchTest, DryRunDownloadsTheIndexOnly) {
  const RunResult r = c2m(s, {"fetch", "--dry-run", "--no-cache", "--res", "1", "--step", "6", "--cycle",
                              "2024011500", "--root", server->url(), "out"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* piece : {"index: ", "messages of the case", "requests (", "total: ", "missing: nothing"})
    EXPECT_NE(r.out.find(piece), std::string::npos) << piece << " in " << r.out;
  EXPECT_NE(r.out.find("HGT:1000 mb"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("VVEL"), std::string::npos) << r.out;
  EXPECT_EQ(server->count(".idx"), 1u);
  EXPECT_EQ(server->count(), 0u);
  EXPECT_FALSE(std::filesystem::exists(s / "out"));

  // Without what the provider lacks: what is missing, and status 2.
  const RunResult lacking = c2m(s, {"fetch", "--dry-run", "--no-cache", "--source", "ifs", "--cycle", "2024011500",
                                    "--root", server->url(), "out"});
  EXPECT_EQ(lacking.status, 2) << lacking.err;
  EXPECT_NE(lacking.out.find("missing: "), std::string::npos) << lacking.out;
  EXPECT_NE(lacking.out.find("lsm"), std::string::npos) << lacking.out;
  EXPECT_EQ(server->count(), 0u);
}

// A fault in front of the server: the run's status, a piece of its
// diagnostic, and the GRIB requests the server saw beyond those of a run
// without faults.
struct FaultRow {
  const char* name;
  const char* mode;
  int count;
  bool data_only;
  std::vector<std::string> proxy_extra;
  int status;
  const char* said;  // in standard error ("" for nothing to look for)
  int more_requests;  // beyond a clean run's when it succeeds; else all
  int faults;         // the proxy made
};

TEST_F(FetchTest, FaultsAreTriedAgainOrRefusedNamingTheURL) {
  // A run without faults, one transfer at a time: its requests.
  ASSERT_EQ(c2m(s, [&] { auto a = gfs_args(server->url(), "clean"); a.insert(a.begin() + 1, {"-j", "1"}); return a; }()).status, 0);
  const long clean = static_cast<long>(server->count());
  const std::vector<FaultRow> rows = {
      {"connections reset, twice", "refuse", 2, false, {}, 0, "", 0, 2},
      {"no answer past the timeout", "delay", 1, true, {"--delay", "3"}, 0, "", 0, 1},
      {"503 three times", "503", 3, false, {}, 0, "", 0, 3},
      {"a body cut after 1000 bytes, resumed", "cut", 1, true, {"--cut", "1000"}, 0, "", 1, 1},
      {"the whole file for a range, once", "ignore-range", 1, true, {}, 0, "", 1, 1},
      {"the whole file for a range, always", "ignore-range", 99, true, {}, 2, "with the whole file (status 200)", 2, 2},
      {"another Content-Range, once", "lie-range", 1, true, {}, 0, "", 1, 1},
      {"another Content-Range, always", "lie-range", 99, true, {}, 2, "with another range, Content-Range", 2, 2},
      {"a body shorter than the range, once", "short", 1, true, {}, 0, "", 1, 1},
      {"a body shorter than the range, always", "short", 99, true, {}, 2, "its body ended after", 2, 2},
      {"a body longer than the range, always", "long", 99, true, {}, 2, "sent more bytes than the range", 2, 2},
      {"503 beyond the retries", "503", 99, true, {}, 2, "answered status 503 (4 attempts; gave up)", 0, 4},
  };
  int n = 0;
  for (const FaultRow& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string out = "out" + std::to_string(n), dir = s / ("proxy" + std::to_string(n++));
    const std::size_t before = server->log().size();
    FaultProxy proxy(dir, server->port(), row.mode, row.count, row.data_only, row.proxy_extra);
    auto args = gfs_args(proxy.url(), out);
    args.insert(args.begin() + 1, {"-j", "1", "--retries", "3"});
    const RunResult r = c2m(s, args);
    EXPECT_EQ(r.status, row.status) << r.err;
    if (row.status == 0) {
      expect_same_case(s / out, s / "clean");
    } else {
      EXPECT_FALSE(std::filesystem::exists(s / out));
      EXPECT_NE(r.err.find(proxy.url() + "/" + gfs.data_path), std::string::npos) << r.err;
    }
    if (row.said[0] != '\0') {
      EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
    }
    std::size_t grib = 0;
    const auto log = server->log();
    for (std::size_t k = before; k < log.size(); ++k)
      if (!log[k].uri.ends_with(".idx")) ++grib;
    EXPECT_EQ(static_cast<long>(grib), row.status == 0 ? clean + row.more_requests : row.more_requests);
    std::size_t faults = 0;
    for (const std::string& l : proxy.log())
      if (!l.starts_with("forwarded")) ++faults;
    EXPECT_EQ(faults, static_cast<std::size_t>(row.faults)) << row.mode;
  }
}

TEST_F(FetchTest, ResumedRangeStartsWhereTheCutLeftIt) {
  FaultProxy proxy(s / "proxy", server->port(), "cut", 1, true, {"--cut", "1000"});
  auto args = gfs_args(proxy.url(), "out");
  args.insert(args.begin() + 1, {"-j", "1"});
  ASSERT_EQ(c2m(s, args).status, 0);
  const auto log = server->log();
  ASSERT_GE(log.size(), 3u);
  // The first GRIB request, then its resumption from 1000 bytes on.
  const std::string first = log[1].range, again = log[2].range;
  const long long start = std::stoll(first.substr(6));
  EXPECT_EQ(again.substr(0, again.find('-')), "bytes=" + std::to_string(start + 1000)) << first << " then " << again;
}

TEST_F(FetchTest, RootsAreTriedInOrder) {
  const int nobody = fetchtest::free_port();
  struct Row {
    const char* name;
    std::vector<std::string> roots;
    int status;
    const char* said;
  };
  const std::vector<Row> rows = {
      {"a root without the cycle, then one with it", {server->url() + "/elsewhere", server->url()}, 0, "(yet?)"},
      {"a refused root, then one that answers", {"http://127.0.0.1:" + std::to_string(nobody), server->url()}, 0,
       "127.0.0.1"},
      {"no root has it", {server->url() + "/elsewhere", server->url() + "/nowhere"}, 2, "is not on "},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = quick({"--retries", "1", "--res", "1", "--step", "6", "--cycle", "2024011500"});
    for (const std::string& root : row.roots) args.insert(args.end(), {"--root", root});
    const std::string out = "out" + std::to_string(n++);
    args.push_back(out);
    const RunResult r = c2m(s, args);
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
    EXPECT_EQ(std::filesystem::exists(s / out), row.status == 0);
  }
  const RunResult none = c2m(s, quick({"--res", "1", "--cycle", "2024011500", "--root", server->url() + "/x", "out"}));
  EXPECT_NE(none.err.find("the cycle 2024011500 (step 0 h) is not on " + server->url() + "/x (yet?)"), std::string::npos)
      << none.err;
}

TEST_F(FetchTest, ACacheHitDownloadsNothing) {
  auto args = gfs_args(server->url(), "first");
  args.erase(std::find(args.begin(), args.end(), "--no-cache"));
  args.insert(args.begin() + 1, {"--cache", s / "cache"});
  ASSERT_EQ(c2m(s, args).status, 0);
  const std::size_t first = server->log().size();
  args.back() = "second";
  const RunResult again = c2m(s, args);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(server->log().size(), first) << "a rerun asked the server";
  expect_same_case(s / "first", s / "second");
  for (const std::string& f : testsupport::list_files(s / "cache")) EXPECT_EQ(f.find(".partial-"), std::string::npos) << f;

  // An entry spoilt in the cache is not used: that message is downloaded again.
  std::string spoilt;
  for (const std::string& f : testsupport::list_files(s / "cache"))
    if (!f.ends_with("/whole")) spoilt = s / "cache/" + f;
  ASSERT_FALSE(spoilt.empty());
  const std::string bytes = read_file(spoilt);
  testsupport::write_file(spoilt, bytes.substr(0, bytes.size() - 1));
  args.back() = "third";
  const RunResult third = c2m(s, args);
  ASSERT_EQ(third.status, 0) << third.err;
  EXPECT_EQ(server->log().size(), first + 1);
  expect_same_case(s / "first", s / "third");
  EXPECT_EQ(read_file(spoilt), bytes);
}

TEST_F(FetchTest, CyclesMakeACaseEachAndGoOnPastOneMissing) {
  for (const char* c : {"2024011506", "2024011518"}) fetchtest::gfs_file(s / "mirror", s / "work", c, 6, 3);
  const auto args = quick({"--res", "1", "--step", "6", "--cycles", "2024011500/2024011518/6h", "--root",
                           server->url(), "cases"});
  const RunResult r = c2m(s, args);
  EXPECT_EQ(r.status, 2) << r.err;
  for (const char* c : {"2024011500", "2024011506", "2024011518"})
    EXPECT_TRUE(file_exists(s / "cases/" + std::string(c) + "/case.bin")) << c;
  EXPECT_FALSE(std::filesystem::exists(s / "cases/2024011512"));
  EXPECT_NE(r.err.find("[3/4] 2024011512: not made: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("(yet?)"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("4 cycles; 3 made, 0 complete already, 1 not made"), std::string::npos) << r.out;

  // Again: the cases made are complete and skipped; only the missing one is asked for.
  const std::size_t before = server->log().size();
  const RunResult again = c2m(s, args);
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.out.find("0 made, 3 complete already, 1 not made"), std::string::npos) << again.out;
  const auto log = server->log();
  ASSERT_EQ(log.size(), before + 1);
  EXPECT_NE(log.back().uri.find("gfs.20240115/12/"), std::string::npos) << log.back().uri;
}

TEST_F(FetchTest, SigtermInTheMiddleOfATransferLeavesNothing) {
  FaultProxy proxy(s / "proxy", server->port(), "delay", 99, true, {"--delay", "30"});
  std::vector<std::string> argv = {CONV2MODEL};
  auto args = gfs_args(proxy.url(), "out");
  args[std::find(args.begin(), args.end(), "--no-cache") - args.begin()] = "--cache";
  args.insert(std::find(args.begin(), args.end(), "--cache") + 1, s / "cache");
  args.insert(args.begin() + 1, {"--timeout", "60"});
  argv.insert(argv.end(), args.begin(), args.end());
  testsupport::ChildRun run(argv, s.path(), "");
  // Until the proxy holds a GRIB request.
  bool holding = false;
  for (int n = 0; n < 500 && !holding; ++n) {
    for (const std::string& l : proxy.log()) holding = holding || l.starts_with("delay");
    if (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(holding);
  run.signal(SIGTERM);
  EXPECT_EQ(run.finish(), 128 + SIGTERM) << run.err();
  EXPECT_NE(run.err().find("stopped by SIGTERM (signal 15)"), std::string::npos) << run.err();
  EXPECT_FALSE(std::filesystem::exists(s / "out"));
  for (const std::string& f : testsupport::list_files(s / "cache")) EXPECT_TRUE(f.ends_with("/whole")) << f;
}

}  // namespace
