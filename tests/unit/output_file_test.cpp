// The safe writer: what stands at an output name before, during and after
// a write, for every kind of thing that can stand there.
#include "fileio/output_file.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <functional>

#include "support/scratch.hpp"
#include "textio/errors.hpp"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const c2m::IoFailure& e) {
    return e.what();
  }
  return "";
}

struct NameRow {
  const char* name;
  std::function<void(const std::string& path, const ScratchDir& dir)> make;
  const char* refusal;  // empty when the name may take an output
};

void PrintTo(const NameRow& row, std::ostream* os) { *os << row.name; }

class OutputName : public ::testing::TestWithParam<NameRow> {};

TEST_P(OutputName, RefusedOrReplacedWithoutTouchingWhatItPointsAt) {
  const NameRow& row = GetParam();
  ScratchDir dir;
  const std::string path = dir / "out.bin";
  write_file(dir / "target.txt", "target\n");
  row.make(path, dir);
  const std::string refusal = row.refusal;
  if (!refusal.empty()) {
    const std::string err = error_of([&] { c2m::OutputFile f(path); });
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_NE(err.find(refusal), std::string::npos) << err;
    EXPECT_EQ(list_files(dir.path()).size(), 1u + (fs::is_regular_file(path) ? 1u : 0u));
    return;
  }
  {
    c2m::OutputFile f(path);
    f.write(std::string_view("new\n"), "the text");
    f.commit();
  }
  EXPECT_FALSE(fs::is_symlink(path));
  EXPECT_EQ(read_file(path), "new\n");
  EXPECT_EQ(read_file(dir / "target.txt"), "target\n");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OutputName,
    ::testing::Values(
        NameRow{"missing", [](const std::string&, const ScratchDir&) {}, ""},
        NameRow{"regular", [](const std::string& p, const ScratchDir&) { write_file(p, "old"); },
                ""},
        NameRow{"symlink", [](const std::string& p, const ScratchDir& d) {
                  fs::create_symlink(d / "target.txt", p);
                }, ""},
        NameRow{"dangling_symlink", [](const std::string& p, const ScratchDir& d) {
                  fs::create_symlink(d / "nowhere/else.txt", p);
                }, ""},
        NameRow{"directory", [](const std::string& p, const ScratchDir&) { fs::create_directory(p); },
                "Is a directory"},
        NameRow{"fifo", [](const std::string& p, const ScratchDir&) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
                "is a FIFO"},
        NameRow{"socket", [](const std::string& p, const ScratchDir&) {
                  const int s = socket(AF_UNIX, SOCK_STREAM, 0);
                  sockaddr_un a{};
                  a.sun_family = AF_UNIX;
                  ASSERT_LT(p.size(), sizeof a.sun_path);
                  p.copy(a.sun_path, p.size());
                  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
                  close(s);
                }, "is a socket"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(OutputFile, ACharacterDeviceIsRefused) {
  const std::string err = error_of([] { c2m::OutputFile f("/dev/null"); });
  EXPECT_NE(err.find("/dev/null: is a character device"), std::string::npos) << err;
}

TEST(OutputFile, NothingReachesTheNameBeforeTheCommitAndAFailedWriteLeavesTheOldFile) {
  ScratchDir dir;
  const std::string path = dir / "out.bin";
  write_file(path, "old contents");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  std::string temp;
  {
    c2m::OutputFile f(path);
    temp = f.temp_name();
    EXPECT_EQ(temp, path + ".partial-" + std::to_string(getpid()));
    f.write(std::string_view("half"), "the first half");
    EXPECT_EQ(read_file(path), "old contents");
    EXPECT_TRUE(file_exists(temp));
  }  // not committed: as after a failed write
  EXPECT_FALSE(file_exists(temp));
  EXPECT_EQ(read_file(path), "old contents");

  {
    c2m::OutputFile f(path);
    f.write(std::string_view("new contents"), "everything");
    f.commit();
  }
  EXPECT_EQ(read_file(path), "new contents");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"out.bin"});
}

TEST(OutputFile, WritesAtOffsetsAndTwoFilesCommitTogether) {
  ScratchDir dir;
  c2m::OutputFile a(dir / "a.bin"), b(dir / "b.txt");
  a.write_at(std::as_bytes(std::span<const char>("45", 2)), 4, "the end");
  a.write_at(std::as_bytes(std::span<const char>("0123", 4)), 0, "the start");
  EXPECT_EQ(a.size(), 6);
  b.write(std::string_view("text"), "text");
  c2m::commit_together({&a, &b});
  EXPECT_EQ(read_file(dir / "a.bin"), "012345");
  EXPECT_EQ(read_file(dir / "b.txt"), "text");
}

TEST(OutputFile, AMissingDirectoryIsNamedWithTheSystemReason) {
  ScratchDir dir;
  const std::string err = error_of([&] { c2m::OutputFile f(dir / "no/such/out.bin"); });
  EXPECT_NE(err.find(dir / "no/such/out.bin: No such file or directory"), std::string::npos) << err;
}

TEST(PartialName, StaysWithinTheLimitOfAFileName) {
  EXPECT_EQ(c2m::partial_name("d/case.KVOwrk", 123), "d/case.KVOwrk.partial-123");
  EXPECT_EQ(c2m::partial_name("case.KVOwrk", 123, 2), "case.KVOwrk.partial-123-2");
  const std::string base(250, 'c');
  const std::string temp = c2m::partial_name("dir/" + base, 4567890);
  EXPECT_EQ(temp.size(), 4u + NAME_MAX);
  EXPECT_EQ(temp.substr(temp.size() - 16), ".partial-4567890");
  EXPECT_EQ(temp.substr(0, 10), "dir/cccccc");
}

// A child that holds an uncommitted output when SIG arrives.
TEST(CleanupOnSignals, RemovesTheTemporaryFileAndEndsWith128PlusTheSignal) {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
    ScratchDir dir;
    write_file(dir / "out.bin", "old");
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(pipe_fds[1], STDERR_FILENO);
      c2m::install_cleanup_on_signals("test_program");
      c2m::OutputFile f(dir / "out.bin");
      f.write(std::string_view("partial"), "part");
      raise(sig);
      _exit(0);
    }
    close(pipe_fds[1]);
    std::string err;
    char buf[256];
    for (ssize_t n; (n = read(pipe_fds[0], buf, sizeof buf)) > 0;) err.append(buf, static_cast<std::size_t>(n));
    close(pipe_fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
    EXPECT_NE(err.find("test_program: stopped by SIG"), std::string::npos) << err;
    EXPECT_NE(err.find("(signal " + std::to_string(sig) + ")"), std::string::npos) << err;
    EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(read_file(dir / "out.bin"), "old");
  }
}

}  // namespace
