// Scratch directories and programs run in them, for the tests.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs PROGRAM with ARGS in the working directory DIR, STDIN_TEXT on its
// standard input.
RunResult run_program(const std::string& program, const std::string& dir,
                      const std::string& stdin_text, const std::vector<std::string>& args = {});

// Runs a whole conversion inside the test process, in the working
// directory DIR (restored afterwards), STDIN_TEXT as its standard input.
RunResult run_in_process(const std::string& dir, const std::string& stdin_text);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);
// Names of the regular files below DIR, relative to it, sorted.
std::vector<std::string> list_files(const std::string& dir);

}  // namespace testsupport
