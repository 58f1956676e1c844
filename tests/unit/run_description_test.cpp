// The run description stages, run in the test process in a scratch
// working directory: header, size checks, pressure list with its three
// echo lines, and the date file.
#include "conv2model/run_description.hpp"

#include <gtest/gtest.h>

#include <string>

#include "conv2model/work_arrays.hpp"
#include "support/case_files.hpp"
#include "support/in_process.hpp"
#include "support/scratch.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"

namespace {

using namespace testsupport;

class RunDescriptionTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  WorkingDir cwd{dir.path()};

  void describe(const std::string& text) { write_file(dir / "InputModelInf.txt", text); }
  // Stages 1 to 3 as conv2model runs them; the log they write.
  std::string read_description(c2m::RunContext& ctx, c2m::WorkArrays& work) {
    std::string out;
    c2m::Log log(out);
    c2m::RunDescription desc = c2m::read_run_header(ctx);
    work = c2m::allocate_work_arrays(ctx);
    c2m::read_pressures(desc, ctx, work, log);
    return out;
  }
};

const char* const kGrid = "0\n-90000\n0\n90000\n357500\n2500\n2500\n";

TEST_F(RunDescriptionTest, EchoLines) {
  TestCase::valid(4, 3, 2).write(dir.path());
  c2m::RunContext ctx;
  c2m::WorkArrays work;
  const std::string log = read_description(ctx, work);
  EXPECT_EQ(log,
            " using hardwired stuff!            4           3           2\n"
            "   1000.00000       900.000000    \n"
            " test\n");
  EXPECT_EQ(ctx.run_label, "test case           ");
  EXPECT_EQ(ctx.grid, (std::array<std::int32_t, 7>{0, -90000, 0, 90000, 357500, 2500, 2500}));
  EXPECT_EQ(work.pr, (std::vector<float>{1000.0f, 900.0f}));
  EXPECT_EQ(ctx.nsfcfld, 12);
}

TEST_F(RunDescriptionTest, LabelEcho) {
  struct Row {
    std::string label_line;
    std::string echo;
  };
  const Row rows[] = {
      {"test case", " test"},
      {"short", " short"},
      {"  leading blank", " "},
      {"", " "},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", " "},           // no blank in the first 20
      {"ABCDEFGHIJKLMNOPQRST UVW", " "},             // blank only at 21
      {"ABCDEFGHIJKLMNOPQRS TUVW", " ABCDEFGHIJKLMNOPQRS"},
  };
  for (const Row& r : rows) {
    describe(r.label_line + "\n4 3 1\n" + kGrid + "500.\n");
    c2m::RunContext ctx;
    c2m::WorkArrays work;
    const std::string log = read_description(ctx, work);
    EXPECT_EQ(log.substr(log.rfind('\n', log.size() - 2) + 1), r.echo + "\n") << r.label_line;
  }
}

TEST_F(RunDescriptionTest, ZeroLevelsEchoAnEmptyPressureLine) {
  describe(std::string("surface only\n4 3 0\n") + kGrid);
  c2m::RunContext ctx;
  c2m::WorkArrays work;
  EXPECT_EQ(read_description(ctx, work),
            " using hardwired stuff!            4           3           0\n"
            "\n"
            " surface\n");
}

TEST_F(RunDescriptionTest, SizeChecks) {
  struct Row {
    std::int32_t im, jm, lm;
    bool ok;
  };
  const Row rows[] = {
      {4, 3, 0, true},         {1, 1, 1, true},
      {536870911, 1, 0, true}, {8192, 65535, 0, true},
      {0, 3, 2, false},        {4, 0, 2, false},
      {-1, 3, 2, false},       {4, -3, 2, false},
      {4, 3, -1, false},       {536870912, 1, 0, false},
      {8192, 65536, 0, false}, {23171, 23171, 1, false},
      {65536, 65536, 1, false},  // 2^32: zero in 32-bit arithmetic
      {2147483647, 2147483647, 1, false},
  };
  for (const Row& r : rows) {
    const std::string sizes =
        std::to_string(r.im) + " " + std::to_string(r.jm) + " " + std::to_string(r.lm);
    describe("label\n" + sizes + "\n" + kGrid);
    c2m::RunContext ctx;
    if (r.ok) {
      EXPECT_NO_THROW(c2m::read_run_header(ctx)) << sizes;
      continue;
    }
    try {
      c2m::read_run_header(ctx);
      ADD_FAILURE() << "accepted " << sizes;
    } catch (const c2m::SizeFailure& e) {
      EXPECT_EQ(e.status(), 2);
      const std::string m = e.what();
      EXPECT_TRUE(contains(m, "InputModelInf.txt")) << m;
      for (const auto v : {r.im, r.jm, r.lm}) EXPECT_TRUE(contains(m, std::to_string(v))) << m;
    }
  }
}

TEST_F(RunDescriptionTest, FailuresOfTheHeaderAndThePressureList) {
  struct Row {
    const char* what;
    std::string text;  // empty: no file at all
    int kind;          // 0 cannot open, 1 end of file, 2 not a number
    bool in_pressures;
  };
  const Row rows[] = {
      {"no run description", "", 0, false},
      {"label only", "label\n", 1, false},
      {"two sizes and no more", "label\n4 3\n", 1, false},
      {"grid integers cut short", "label\n4 3 2\n0\n-90000\n", 1, false},
      {"grid integer with a point", "label\n4 3 2\n0.0\n", 2, false},
      {"size with letters", "label\n4 3 two\n", 2, false},
      {"too few pressures", "label\n4 3 2\n" + std::string(kGrid) + "1000.\n", 1, true},
      {"pressure not a number", "label\n4 3 2\n" + std::string(kGrid) + "1000.\nx850\n", 2,
       true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    std::remove((dir / "InputModelInf.txt").c_str());
    if (!r.text.empty()) describe(r.text);
    c2m::RunContext ctx;
    c2m::WorkArrays work;
    std::string log;
    bool header_read = false;
    try {
      c2m::Log l(log);
      c2m::RunDescription desc = c2m::read_run_header(ctx);
      header_read = true;
      work = c2m::allocate_work_arrays(ctx);
      c2m::read_pressures(desc, ctx, work, l);
      ADD_FAILURE() << "no failure";
    } catch (const c2m::IoFailure& e) {
      EXPECT_EQ(e.status(), 2);
      EXPECT_TRUE(contains(e.what(), "InputModelInf.txt")) << e.what();
      const bool kind_ok = r.kind == 0   ? dynamic_cast<const c2m::CannotOpen*>(&e) != nullptr
                           : r.kind == 1 ? dynamic_cast<const c2m::ShortFile*>(&e) != nullptr
                                         : dynamic_cast<const c2m::NotANumber*>(&e) != nullptr;
      EXPECT_TRUE(kind_ok) << e.what();
    }
    EXPECT_EQ(header_read, r.in_pressures);
    EXPECT_EQ(log, "");  // no echo line before the whole list is read
  }
}

TEST_F(RunDescriptionTest, DateFileMissingEmptyOrRead) {
  const auto before = list_files(dir.path());
  c2m::RunContext ctx;
  try {
    c2m::read_date_file(ctx);
    ADD_FAILURE() << "no failure";
  } catch (const c2m::CannotOpen& e) {
    EXPECT_EQ(e.status(), 2);
    EXPECT_TRUE(contains(e.what(), "adate.txt")) << e.what();
  }
  EXPECT_EQ(list_files(dir.path()), before);
  EXPECT_FALSE(file_exists(dir / "adate.txt"));

  // An empty date file ends the run too; a word is read from its first
  // non-blank line.
  write_file(dir / "adate.txt", "");
  EXPECT_THROW(c2m::read_date_file(ctx), c2m::ShortFile);
  write_file(dir / "adate.txt", "\n  2024010112 x\n");
  c2m::read_date_file(ctx);
  EXPECT_EQ(ctx.date, "20240101");
}

}  // namespace
