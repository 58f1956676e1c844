// A log that nobody reads any more (standard output a pipe whose reader has
// gone) does not stop the run: the case is converted all the same.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "support/case_files.hpp"
#include "support/scratch.hpp"

using namespace testsupport;

namespace {

// Runs input_driver in DIR with standard output a pipe closed at its
// reading end; returns the exit status, or 128 + the signal that ended it.
int run_with_closed_log(const std::string& dir, const std::string& stdin_path) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  close(fds[0]);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    std::signal(SIGPIPE, SIG_DFL);  // as a shell starts it
    const int in = open(stdin_path.c_str(), O_RDONLY);
    if (chdir(dir.c_str()) != 0 || in < 0 || dup2(in, 0) < 0 || dup2(fds[1], 1) < 0) _exit(126);
    execl(INPUT_DRIVER, INPUT_DRIVER, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

TEST(ClosedLog, RunConvertsTheCaseAsWithALog) {
  const TestCase tc = TestCase::valid(5, 4, 3);
  ScratchDir logged, unlogged, io;
  tc.write(logged.path());
  tc.write(unlogged.path());
  write_file(io / "stdin", "case.bin\nsecond\n");

  ASSERT_EQ(run_program(INPUT_DRIVER, logged.path(), "case.bin\nsecond\n").status, 0);
  EXPECT_EQ(run_with_closed_log(unlogged.path(), io / "stdin"), 0);
  for (const std::string name : {"case.bin.KVOwrk", "case.bin.KVOwrk.gdsinfo"}) {
    ASSERT_TRUE(file_exists(unlogged / name)) << name;
    EXPECT_EQ(read_file(unlogged / name), read_file(logged / name)) << name;
  }
}

}  // namespace
