// The program itself: exit statuses and where its messages go.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "kvoinfo_cases.hpp"

namespace {

using namespace kvo_test;

struct Result {
  int status = -1;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

Result run(const TempDir& dir, const std::string& args) {
  const std::string command = std::string("'") + KVOINFO_EXE + "' " + args + " >'" +
                              dir.file("out") + "' 2>'" + dir.file("err") + "'";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir.file("out")), slurp(dir.file("err"))};
}

TEST(Cli, StatusesAndMessages) {
  TempDir dir;
  const std::string data = dir.file("run.KVOwrk");
  CaseGrid grid;
  grid.im = 30;
  write_case(data, grid, [](int n, int i, int) { return static_cast<float>(n + i); });

  struct Case {
    std::string args;
    int status;
    const char* in_out;  // expected in standard output
    const char* in_err;  // expected in standard error
  };
  const Case cases[] = {
      {"--help", 0, "Examples", ""},
      {"'" + data + "'", 0, "Soil Moisture layer 4 (0-1)", ""},
      {"--record 9 '" + data + "'", 0, "Topography (m)", ""},
      {"--ctl '" + data + "'", 0, "dset ^run.KVOwrk", ""},
      {"--record=9 --png '" + dir.file("t.png") + "' '" + data + "'", 0, "30 x 19 pixels", ""},
      {"", 2, "", "no model data file given\nusage: kvoinfo"},
      {"--png x.png '" + data + "'", 2, "", "--png needs --record N"},
      {"--record nine '" + data + "'", 2, "", "--record wants a record number"},
      {"--ctl --record 3 '" + data + "'", 2, "", "--ctl describes the whole file"},
      {"--colour '" + data + "'", 2, "", "unknown option --colour"},
      {"a b", 2, "", "one model data file at a time"},
      {"--record 18 '" + data + "'", 2, "", ": there is no record 18: the file holds records 1 to 17"},
      {"'" + dir.file("none.KVOwrk") + "'", 2, "", "none.KVOwrk.gdsinfo: cannot open"},
      {"--record 1 --png '" + dir.file("no/q.png") + "' '" + data + "'", 2, "",
       "no/q.png: cannot create the picture: No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = run(dir, c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.out.find(c.in_out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.in_err), std::string::npos) << r.err;
    if (c.status == 0) {
      EXPECT_EQ(r.err, "");
    }
  }
  std::ifstream png(dir.file("t.png"));
  EXPECT_TRUE(png.good());
}

}  // namespace
