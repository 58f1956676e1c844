// The running of conv2model as a user runs it, for the front-door tests:
// standard input a pipe left open and empty (a program that reads it
// would wait, and is caught by the time limit), and a small converted case.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/open_stdin_run.hpp"
#include "support/scratch.hpp"

namespace frontdoor {

using namespace testsupport;

inline const std::vector<std::string> subcommand_names = {"synth", "fetch", "ingest", "convert", "info", "plot",
                                                          "export"};

inline RunResult c2m(const std::string& dir, const std::vector<std::string>& args, RunLimits limits = {}) {
  const TimedRun r = run_with_open_stdin(CONV2MODEL, dir, args, limits);
  EXPECT_FALSE(r.timed_out) << "conv2model did not finish (waiting on standard input?)";
  return r.result;
}

inline bool has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

inline std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// A small converted case in DIR/case: 12 x 8 points of 2 degrees from
// 40 N, 0 E, four levels (1000, 700, 250 and 10 hPa).
inline std::string small_case(const ScratchDir& dir) {
  const RunResult s = c2m(dir.path(), {"synth", "case", "--im", "12", "--jm", "8", "--lm", "4",
                                       "--res", "2", "--south", "40", "--west", "0"});
  EXPECT_EQ(s.status, 0) << s.err;
  const RunResult c = c2m(dir.path(), {"convert", "--quiet", "case/case.bin"});
  EXPECT_EQ(c.status, 0) << c.err;
  return dir / "case/case.bin.KVOwrk";
}

}  // namespace frontdoor
