#include "support/open_stdin_run.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

namespace testsupport {

TimedRun run_with_open_stdin(const std::string& program, const std::string& dir,
                             const std::vector<std::string>& args, const RunLimits& limits) {
  ScratchDir io;
  const std::string out_path = io / "stdout", err_path = io / "stderr";
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::close(fds[1]);
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (dup2(fds[0], STDIN_FILENO) < 0 || !freopen(out_path.c_str(), "w", stdout) ||
        !freopen(err_path.c_str(), "w", stderr))
      _exit(126);
    if (limits.file_size_bytes >= 0) {
      const rlimit r{static_cast<rlim_t>(limits.file_size_bytes),
                     static_cast<rlim_t>(limits.file_size_bytes)};
      setrlimit(RLIMIT_FSIZE, &r);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  ::close(fds[0]);
  TimedRun run;
  int wstatus = 0;
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<long>(limits.seconds * 1000));
  for (;;) {
    const pid_t done = waitpid(pid, &wstatus, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      run.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::close(fds[1]);
  run.result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  run.result.out = read_file(out_path);
  run.result.err = read_file(err_path);
  return run;
}

}  // namespace testsupport
