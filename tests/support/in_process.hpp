// Helpers for running the stages in the test process itself: a working
// directory entered for the length of a test, and text streams made from
// strings.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace testsupport {

// Enters DIR on construction and goes back to the previous working
// directory when the object goes.
class WorkingDir {
 public:
  explicit WorkingDir(const std::string& dir) {
    char buf[4096];
    if (getcwd(buf, sizeof buf) == nullptr) throw std::runtime_error("getcwd failed");
    previous_ = buf;
    if (chdir(dir.c_str()) != 0) throw std::runtime_error("cannot enter " + dir);
  }
  ~WorkingDir() {
    if (chdir(previous_.c_str()) != 0) std::perror("chdir back");
  }
  WorkingDir(const WorkingDir&) = delete;
  WorkingDir& operator=(const WorkingDir&) = delete;

 private:
  std::string previous_;
};

// A temporary stream that holds TEXT, positioned at its start.
class TextStream {
 public:
  explicit TextStream(const std::string& text = "") : f_(std::tmpfile()) {
    if (f_ == nullptr) throw std::runtime_error("tmpfile failed");
    std::fwrite(text.data(), 1, text.size(), f_);
    std::rewind(f_);
  }
  ~TextStream() { std::fclose(f_); }
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;

  std::FILE* get() const { return f_; }
  // Everything the stream holds now.
  std::string contents() const {
    std::fflush(f_);
    std::rewind(f_);
    std::string s;
    int c = 0;
    while ((c = std::fgetc(f_)) != EOF) s += static_cast<char>(c);
    return s;
  }

 private:
  std::FILE* f_;
};

inline bool contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

}  // namespace testsupport
