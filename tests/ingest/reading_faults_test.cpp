// Faults of GRIB input that the reading path meets from outside, made to
// happen for real against the built conv2model: a file whose messages are
// swapped while ingest reads it, values that are not numbers, a file of
// many times broken in the middle, and a limit on the memory the run may
// map.  Each ends in a case that holds what the files hold, or in a status
// that says it does not, never in a case of wrong values with status 0 nor
// in a crash.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "grib_files.hpp"
#include "support/in_process.hpp"

using namespace ingesttest;
using testsupport::contains;
using testsupport::file_exists;
using testsupport::read_file;
using testsupport::ScratchDir;
using testsupport::write_file;

namespace {

constexpr int im = 12, jm = 8, lm = 3;
constexpr std::int64_t points = im * jm;

class ReadingFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    make_case(dir_->path(), im, jm, 40.0, 0.0, 1.0, lm);
    ieee_ = case_as_grib(dir_->path());
    simple_ = case_as_grib(dir_->path(), false, true);
  }
  static void TearDownTestSuite() { delete dir_; }

  // The case's messages (of BYTES) made valid on day DAY of December 2026
  // at 00 UTC.
  static std::string on_day(const std::string& bytes, long day) {
    return rewrite(bytes, [&](Message& m) {
      m.set("dataDate", 20261200L + day);
      m.set("dataTime", 0L);
      return true;
    });
  }

  static ScratchDir* dir_;
  static std::string ieee_, simple_;
};

ScratchDir* ReadingFaults::dir_ = nullptr;
std::string ReadingFaults::ieee_, ReadingFaults::simple_;

// Where each GRIB 2 message of BYTES starts, and how long it is.
std::vector<std::pair<std::size_t, std::size_t>> messages_of(const std::string& bytes) {
  std::vector<std::pair<std::size_t, std::size_t>> out;
  for (std::size_t at = 0; at + 16 <= bytes.size();) {
    std::size_t total = 0;
    for (std::size_t k = 8; k < 16; ++k) total = (total << 8) | static_cast<unsigned char>(bytes[at + k]);
    out.emplace_back(at, total);
    at += total;
  }
  return out;
}

// The number (from 0) of the message of BYTES with SHORT_NAME at LEVEL on DATE.
std::size_t find_message(const std::string& bytes, const std::string& short_name, long level, long date = 0) {
  const auto spans = messages_of(bytes);
  for (std::size_t n = 0; n < spans.size(); ++n) {
    codes_handle* h = codes_handle_new_from_message_copy(nullptr, bytes.data() + spans[n].first, spans[n].second);
    Message m(h);
    const bool found = m.get_string("shortName") == short_name && m.get_long("level") == level &&
                       (date == 0 || m.get_long("dataDate") == date);
    codes_handle_delete(h);
    if (found) return n;
  }
  throw std::runtime_error("no message " + short_name + " at " + std::to_string(level));
}

// A child whose standard error is a pipe already full: its first line on
// standard error waits until the test reads the pipe, so that the test can
// act at that moment of the run.
class BlockedOnStderr {
 public:
  BlockedOnStderr(const std::string& dir, const std::vector<std::string>& args) {
    int p[2];
    if (::pipe(p) != 0) throw std::runtime_error("pipe");
    read_ = p[0];
    ::fcntl(p[1], F_SETPIPE_SZ, 4096);
    ::fcntl(p[1], F_SETFL, O_NONBLOCK);
    const std::string filler(4096, 'x');
    while (::write(p[1], filler.data(), filler.size()) > 0) {
    }
    ::fcntl(p[1], F_SETFL, 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(p[1], 2);
      const int out = ::open((dir + "/stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, 1);
      if (::chdir(dir.c_str()) != 0) ::_exit(127);
      std::vector<char*> argv{const_cast<char*>(CONV2MODEL)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(CONV2MODEL, argv.data());
      ::_exit(127);
    }
    ::close(p[1]);
    dir_ = dir;
  }
  ~BlockedOnStderr() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(read_);
  }
  // Waits (at most 60 s) until the child waits to write on its standard error.
  bool wait_blocked() const {
    for (int k = 0; k < 6000; ++k) {
      const std::string s = read_file("/proc/" + std::to_string(pid_) + "/syscall");
      if (s.rfind("1 0x2 ", 0) == 0 || s.rfind("20 0x2 ", 0) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // Reads standard error to its end (the filler left out) and returns the
  // exit status.
  int finish() {
    std::string all;
    char buf[4096];
    for (ssize_t n; (n = ::read(read_, buf, sizeof buf)) > 0;) all.append(buf, static_cast<std::size_t>(n));
    err_ = all.substr(all.find_first_not_of('x'));
    int w = 0;
    ::waitpid(pid_, &w, 0);
    reaped_ = true;
    return WIFEXITED(w) ? WEXITSTATUS(w) : 128 + WTERMSIG(w);
  }
  const std::string& err() const { return err_; }
  std::string out() const { return read_file(dir_ + "/stdout.txt"); }

 private:
  pid_t pid_ = -1;
  int read_ = -1;
  bool reaped_ = false;
  std::string dir_, err_;
};

TEST_F(ReadingFaults, MessagesSwappedWhileReadingAreToldAndNoCaseIsMadeOfThem) {
  // Two times; the first case is made, then (its line on standard error
  // waiting) z and t at 1000 hPa of the second are swapped in place, both
  // of the same length.
  const std::string first = on_day(ieee_, 8), second = on_day(ieee_, 9);
  const std::string file = first + second;
  ScratchDir work;
  write_file(work / "in.grib", file);
  BlockedOnStderr run(work.path(), {"ingest", "--all-times", "-j", "1", "out", "in.grib"});
  ASSERT_TRUE(run.wait_blocked()) << "the run did not come to its first line of progress";
  const auto spans = messages_of(file);
  const std::size_t z = find_message(file, "z", 1000, 20261209), t = find_message(file, "t", 1000, 20261209);
  ASSERT_EQ(spans[z].second, spans[t].second);
  std::string swapped = file;
  swapped.replace(spans[z].first, spans[z].second, file, spans[t].first, spans[t].second);
  swapped.replace(spans[t].first, spans[t].second, file, spans[z].first, spans[z].second);
  const int fd = ::open((work / "in.grib").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, swapped.data(), swapped.size(), 0), static_cast<ssize_t>(swapped.size()));
  ::close(fd);

  EXPECT_EQ(run.finish(), 2) << run.err();
  EXPECT_TRUE(file_exists(work / "out/2026120800/case.bin")) << run.err();
  EXPECT_FALSE(file_exists(work / "out/2026120900")) << run.err();
  // z of level 1 is the first record, and the first read again.
  const std::string said = "in.grib: message " + std::to_string(z + 1) + " (at byte " +
                           std::to_string(spans[z].first) + "): is no longer the message indexed there";
  EXPECT_TRUE(contains(run.err(), said)) << run.err();
  EXPECT_TRUE(contains(run.err(), "the file changed while ingest read it")) << run.err();
}

// A GRIB 2 file of the case with the values of u at 450 hPa made not
// numbers in one of the ways the decoders meet them.
struct NotNumbers {
  const char* name;
  std::function<std::string(const std::string& ieee, const std::string& simple)> make;
  std::int64_t told;       // values of u at 450 hPa that are not numbers
  std::int64_t undefined;  // points of the case undefined that are not in the case of the file as it was
  bool simple;             // made from the file of simple packing, else of IEEE packing
};

// BYTES with the reference value (section 5, octets 12-15) of u at 450 hPa
// set to the bits of a NaN.
std::string nan_reference(const std::string& bytes) {
  const auto spans = messages_of(bytes);
  const std::size_t u = find_message(bytes, "u", 450);
  std::string b = bytes;
  for (std::size_t pos = spans[u].first + 16; pos < spans[u].first + spans[u].second - 4; pos += be32(b, pos))
    if (b[pos + 4] == 5) put_be32(b, pos + 11, 0x7fc00000u);
  return b;
}

TEST_F(ReadingFaults, ValuesThatAreNotNumbersBecomeUndefinedPointsAndAreCounted) {
  const NotNumbers rows[] = {
      {"simple packing with a NaN reference value", [](const std::string&, const std::string& s) { return nan_reference(s); },
       points, points, true},
      {"simple packing with a bitmap and a NaN reference value",
       [](const std::string&, const std::string& s) {
         return nan_reference(rewrite(s, [](Message& m) {
           if (m.get_string("shortName") == "u" && m.get_long("level") == 450) {
             auto v = m.values();
             v[5] = static_cast<double>(9.999e20f);
             m.set("bitmapPresent", 1L);
             m.set_values(v);
           }
           return true;
         }));
       },
       points - 1, points, true},
      {"IEEE packing holding two NaN values (decoded by ecCodes)",
       [](const std::string& i, const std::string&) {
         return rewrite(i, [](Message& m) {
           if (m.get_string("shortName") == "u" && m.get_long("level") == 450) {
             auto v = m.values();
             v[0] = v[7] = std::nan("");
             m.set_values(v);
           }
           return true;
         });
       },
       2, 2, false},
  };
  // The undefined points of the case made of BYTES (none of them NaN).
  // A level whose whole plane of u is undefined is one the converter takes
  // as missing: that case is made and kept, and ingest's check of it ends
  // with the data-stop status.
  auto undefined_points = [](const std::string& bytes, int status = 0) -> std::int64_t {
    ScratchDir work;
    write_file(work / "in.grib", bytes);
    const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
    EXPECT_EQ(r.status, status) << r.err;
    const std::string bin = read_file(work / "out/case.bin");
    std::int64_t undefined = 0;
    for (std::int64_t n = 1; n <= 6 * lm + 12; ++n)
      for (const float v : record(bin, points, n)) {
        EXPECT_FALSE(std::isnan(v)) << "record " << n;
        undefined += v == 9.999e20f;
      }
    return undefined;
  };
  const std::int64_t before_simple = undefined_points(simple_), before_ieee = undefined_points(ieee_);
  for (const NotNumbers& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir work;
    write_file(work / "in.grib", row.make(ieee_, simple_));
    const auto r = conv2model(work.path(), {"ingest", "out", "in.grib"});
    const int status = row.undefined == points ? 1 : 0;
    ASSERT_EQ(r.status, status) << r.err;
    if (status == 1) {
      EXPECT_TRUE(contains(r.err, "U-wind data missing at level")) << r.err;
    }
    EXPECT_TRUE(contains(r.out, "(u, 450 hPa): " + std::to_string(row.told) + " of its " + std::to_string(points) +
                                    " values are not numbers (NaN or infinite): they are taken as undefined points"))
        << r.out;
    EXPECT_EQ(undefined_points(row.make(ieee_, simple_), status) - (row.simple ? before_simple : before_ieee), row.undefined);
  }
}

// A file of six times with one message broken in the fourth.
struct Broken {
  const char* name;
  std::function<std::string(const std::string& file, std::size_t at, std::size_t length)> make;
  const char* said;
};

TEST_F(ReadingFaults, ABrokenMessageEndsTheIndexAndTheTimesBeforeItAreMade) {
  std::string file;
  for (long day = 1; day <= 6; ++day) file += on_day(ieee_, day);
  const auto spans = messages_of(file);
  const std::size_t per_time = spans.size() / 6, broken = 3 * per_time + per_time / 2;
  const Broken rows[] = {
      {"its end mark broken",
       [](const std::string& f, std::size_t at, std::size_t length) {
         std::string b = f;
         b[at + length - 2] = 'X';
         return b;
       },
       "does not end with 7777"},
      {"the file cut inside it", [](const std::string& f, std::size_t at, std::size_t) { return f.substr(0, at + 100); },
       "it is truncated"},
  };
  for (const Broken& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir work;
    write_file(work / "in.grib", row.make(file, spans[broken].first, spans[broken].second));
    const auto r = conv2model(work.path(), {"ingest", "--all-times", "-j", "2", "out", "in.grib"});
    EXPECT_EQ(r.status, 2) << r.err;
    const std::string where = "in.grib: message " + std::to_string(broken + 1) + " (at byte " +
                              std::to_string(spans[broken].first) + ")";
    EXPECT_TRUE(contains(r.err, where)) << r.err;
    EXPECT_TRUE(contains(r.err, row.said)) << r.err;
    EXPECT_TRUE(contains(r.err, "the index of in.grib ends at message " + std::to_string(broken + 1))) << r.err;
    for (const char* made : {"2026120100", "2026120200", "2026120300"}) {
      EXPECT_TRUE(file_exists(work / ("out/" + std::string(made) + "/case.bin"))) << made << "\n" << r.err;
      EXPECT_TRUE(contains(r.out, std::string("  ") + made + "  made ")) << r.out;
    }
    EXPECT_FALSE(file_exists(work / "out/2026120400")) << r.err;
    EXPECT_TRUE(contains(r.out, "  2026120400  not made  the index of in.grib ends at message")) << r.out;
    EXPECT_TRUE(contains(r.out, "fields of this time may lie beyond it")) << r.out;
  }
}

// conv2model ingest of a real file of GFS under a limit of the address
// space (ulimit -v), with two threads: the run ends with a case, or with
// status 2 and "out of memory", whatever the limit; under a limit that one
// thread lives with, the case is made, on fewer threads if need be.  (Not
// in a sanitizer build, whose shadow memory no such limit admits.)
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(MemoryLimit, ALimitOnTheAddressSpaceEndsInACaseOrOutOfMemoryNeverASignal) {
  const std::string gfs = std::string(GRIB_EXAMPLES) + "/gfs.t12z.pgrbf120.2p5deg.grib2";
  const std::vector<std::vector<std::string>> commands = {
      {"ingest", "--threads", "2", "out", gfs},
      {"ingest", "--all-times", "-j", "2", "all", gfs},
  };
  for (const long kib : {85000L, 90000L, 95000L, 100000L, 110000L, 120000L, 150000L, 200000L, 300000L}) {
    for (const auto& args : commands) {
      SCOPED_TRACE(std::to_string(kib) + " KiB: " + args[1]);
      ScratchDir work;
      std::string line = "ulimit -v " + std::to_string(kib) + " && exec " + CONV2MODEL;
      for (const auto& a : args) line += " '" + a + "'";
      const auto r = testsupport::run_program("/bin/sh", work.path(), "", {"-c", line});
      ASSERT_TRUE(r.status == 0 || r.status == 2) << "status " << r.status << "\n" << r.err;
      if (r.status == 2) {
        EXPECT_TRUE(contains(r.err, "out of memory")) << r.err;
      }
      if (kib >= 150000) {
        EXPECT_EQ(r.status, 0) << r.err;
      }
    }
  }
}
#endif

}  // namespace
