#include "support/child_run.hpp"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

namespace testsupport {

ChildRun::ChildRun(const std::vector<std::string>& argv, const std::string& dir,
                   const std::string& stdin_text, const ChildLimits& limits) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int out[2], err[2], in[2];
  if (pipe(out) != 0 || pipe(err) != 0 || pipe(in) != 0) throw std::runtime_error("pipe");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    // The text fits the pipe: written whole before the program starts.
    if (write(in[1], stdin_text.data(), stdin_text.size()) != static_cast<ssize_t>(stdin_text.size()))
      _exit(126);
    close(in[1]);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    close(out[0]);
    close(err[0]);
    if (limits.ignore_xfsz) std::signal(SIGXFSZ, SIG_IGN);
    const rlimit lim{limits.file_size, limits.file_size};
    if (limits.file_size != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(126);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(in[1]);
  close(out[1]);
  close(err[1]);
  out_fd_ = out[0];
  err_fd_ = err[0];
}

ChildRun::~ChildRun() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  close(out_fd_);
  close(err_fd_);
}

bool ChildRun::wait_for(const std::string& line) {
  for (;;) {
    const auto nl = out_.find('\n', scanned_);
    if (nl != std::string::npos) {
      const std::string got = out_.substr(scanned_, nl - scanned_);
      scanned_ = nl + 1;
      if (got == line) return true;
      continue;
    }
    char buf[4096];
    const ssize_t n = read(out_fd_, buf, sizeof buf);
    if (n <= 0) return false;
    out_.append(buf, static_cast<std::size_t>(n));
  }
}

bool ChildRun::pause() {
  kill(pid_, SIGSTOP);
  int st = 0;
  waitpid(pid_, &st, WUNTRACED);
  return WIFSTOPPED(st);
}

void ChildRun::resume() { kill(pid_, SIGCONT); }
void ChildRun::signal(int sig) { kill(pid_, sig); }

int ChildRun::finish() {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  std::string* sinks[2] = {&out_, &err_};
  int open_count = 2;
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      char buf[4096];
      const ssize_t n = read(fds[k].fd, buf, sizeof buf);
      if (n <= 0) {
        fds[k].fd = -1;
        --open_count;
      } else {
        sinks[k]->append(buf, static_cast<std::size_t>(n));
      }
    }
  }
  int st = 0;
  waitpid(pid_, &st, 0);
  reaped_ = true;
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

}  // namespace testsupport
