#include "servers.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/scratch.hpp"

extern char** environ;

namespace fetchtest {

namespace {

constexpr const char* nginx_program = "/usr/sbin/nginx";
constexpr const char* python_program = "/usr/bin/python3";

pid_t spawn(const std::vector<std::string>& argv, const std::string& out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int err = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) throw std::runtime_error(argv[0] + ": cannot be started (installed by scripts/install-deps.sh?)");
  return pid;
}

bool alive(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == 0;
}

bool accepts(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  for (int n = 0; n < 200; ++n) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
}

std::vector<std::string> lines(const std::string& path) {
  std::vector<std::string> out;
  if (!testsupport::file_exists(path)) return out;
  std::istringstream in(testsupport::read_file(path));
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

}  // namespace

int free_port() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

Nginx::Nginx(const std::string& dir, const std::string& root) : dir_(dir) {
  std::filesystem::create_directories(dir + "/temp");
  for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
    port_ = free_port();
    const std::string conf =
        "daemon off;\nmaster_process off;\npid " + dir + "/nginx.pid;\nerror_log " + dir + "/error.log info;\n"
        "events { worker_connections 64; }\n"
        "http {\n"
        "  log_format fetch '$request_method $uri $status $http_range $body_bytes_sent $connection "
        "$connection_requests $http_user_agent';\n"
        "  access_log " + dir + "/access.log fetch;\n"
        "  client_body_temp_path " + dir + "/temp/body;\n  proxy_temp_path " + dir + "/temp/proxy;\n"
        "  fastcgi_temp_path " + dir + "/temp/fastcgi;\n"
        "  default_type application/octet-stream;\n  keepalive_requests 1000;\n  keepalive_timeout 30s;\n"
        "  server {\n    listen 127.0.0.1:" + std::to_string(port_) + ";\n    root " + root + ";\n  }\n}\n";
    testsupport::write_file(dir + "/nginx.conf", conf);
    const pid_t pid = spawn({nginx_program, "-e", dir + "/error.log", "-p", dir, "-c", dir + "/nginx.conf"},
                            dir + "/nginx.out");
    for (int n = 0; n < 500 && alive(pid); ++n) {
      if (accepts(port_)) {
        pid_ = pid;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (pid_ < 0) stop(pid);
  }
  if (pid_ < 0)
    throw std::runtime_error("nginx did not start: " + testsupport::read_file(dir + "/nginx.out") +
                             (testsupport::file_exists(dir + "/error.log") ? testsupport::read_file(dir + "/error.log") : ""));
}

Nginx::~Nginx() { stop(pid_); }

std::vector<Served> Nginx::log() const {
  std::vector<Served> out;
  for (const std::string& l : lines(dir_ + "/access.log")) {
    std::istringstream in(l);
    Served s;
    in >> s.method >> s.uri >> s.status;
    // The Range header holds no blank: "bytes=1-2".
    in >> s.range >> s.bytes >> s.connection >> s.connection_requests;
    std::getline(in >> std::ws, s.user_agent);
    out.push_back(s);
  }
  return out;
}

std::size_t Nginx::count(const std::string& suffix) const {
  std::size_t n = 0;
  for (const Served& s : log()) {
    const bool index = s.uri.ends_with(".idx") || s.uri.ends_with(".index");
    if (suffix.empty() ? !index : s.uri.ends_with(suffix)) ++n;
  }
  return n;
}

FaultProxy::FaultProxy(const std::string& dir, int upstream, const std::string& mode, int count, bool data_only,
                       const std::vector<std::string>& extra)
    : dir_(dir) {
  std::filesystem::create_directories(dir);
  std::vector<std::string> argv = {python_program, FAULT_PROXY, "--upstream", std::to_string(upstream),
                                   "--mode", mode, "--count", std::to_string(count),
                                   "--log", dir + "/proxy.log", "--port-file", dir + "/port"};
  if (data_only) argv.push_back("--data-only");
  argv.insert(argv.end(), extra.begin(), extra.end());
  pid_ = spawn(argv, dir + "/proxy.out");
  for (int n = 0; n < 1000 && alive(pid_) && !testsupport::file_exists(dir + "/port"); ++n)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!testsupport::file_exists(dir + "/port")) {
    stop(pid_);
    throw std::runtime_error("the fault proxy did not start: " + testsupport::read_file(dir + "/proxy.out"));
  }
  port_ = std::stoi(testsupport::read_file(dir + "/port"));
}

FaultProxy::~FaultProxy() { stop(pid_); }

std::vector<std::string> FaultProxy::log() const { return lines(dir_ + "/proxy.log"); }

}  // namespace fetchtest
