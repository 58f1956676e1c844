#include "support/scratch.hpp"

#include "driver/input_driver.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

ScratchDir::ScratchDir() {
  std::string tmpl = (fs::temp_directory_path() / "c2m-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Tests may take write permission away; give it back before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool file_exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::string> list_files(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) names.push_back(fs::relative(e.path(), dir).string());
  std::sort(names.begin(), names.end());
  return names;
}

RunResult run_in_process(const std::string& dir, const std::string& stdin_text) {
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  std::string text = stdin_text;
  std::FILE* in = fmemopen(text.data(), text.size(), "r");
  char* err_buf = nullptr;
  std::size_t err_len = 0;
  std::FILE* err = open_memstream(&err_buf, &err_len);
  RunResult r;
  c2m::Log log(r.out);
  r.status = c2m::input_driver(in, log, err);
  std::fclose(in);
  std::fclose(err);
  r.err.assign(err_buf, err_len);
  std::free(err_buf);
  fs::current_path(back);
  return r;
}

RunResult run_program(const std::string& program, const std::string& dir,
                      const std::string& stdin_text, const std::vector<std::string>& args) {
  // Standard streams go through files of a directory of their own, so the
  // working directory holds only what the program made.
  ScratchDir io;
  write_file(io / "stdin", stdin_text);
  const std::string out_path = io / "stdout", err_path = io / "stderr";

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (!freopen((io / "stdin").c_str(), "r", stdin) || !freopen(out_path.c_str(), "w", stdout) ||
        !freopen(err_path.c_str(), "w", stderr))
      _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RunResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.out = read_file(out_path);
  r.err = read_file(err_path);
  return r;
}

}  // namespace testsupport
