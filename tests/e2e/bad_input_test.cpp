// Every way a user's case can be wrong, one row each, run through the built
// input_driver in a scratch directory.  A row states the exit status (2 for
// an input/output failure, 1 for a data stop), what standard error must
// name (the file and the cause) and the whole standard output (the log
// lines written before the failure).  The run must leave the directory as
// it found it: no output file created, no file changed.
//
// Every row also runs beside the outputs of an earlier run under the same
// names: a run that fails before its output stage keeps them byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include "support/case_files.hpp"
#include "support/scratch.hpp"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

constexpr float missing = -99999.0f;
constexpr float undefined = 9.999e20f;

// The files of one run.  Unset texts are files that do not exist.
struct Case {
  std::string stdin_text = "case.bin\nsecond\n";
  std::string grid_name = "case.bin";
  std::string stem = "case.bin";  // of the outputs
  std::optional<std::string> description;
  std::optional<std::string> date = "2024010100\n";
  std::optional<std::string> grid;
  std::vector<std::string> dirs;                         // made before the run
  std::vector<std::string> fifos;                        // named pipes made before the run
  std::vector<std::pair<std::string, std::string>> links;  // name -> target
  std::vector<std::pair<std::string, fs::perms>> modes;  // set last
  std::string shell_limits;  // run under "ulimit ...; trap ..." when set

  explicit Case(const TestCase& tc)
      : description(tc.run_description()), grid(tc.input_grid()) {}
  // Line 1 of standard input, the input grid file and the stem all PATH.
  void input_path(const std::string& path) {
    stdin_text = path + "\nsecond\n";
    grid_name = stem = path;
  }
};

struct Row {
  std::string name;
  std::function<void(Case&)> spoil;
  int status;
  std::vector<std::string> err;  // pieces standard error must hold
  std::string out;               // the whole standard output
  bool needs_non_root = false;
  // Beside the outputs of an earlier run the run fails the same way and
  // keeps them; not so where it would write them instead.
  bool keeps_old_outputs = true;
  std::function<TestCase()> make = [] { return TestCase::valid(4, 3, 3); };
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// Integers in their 11-character fields, each after a separating blank.
std::string ints(std::initializer_list<int> values) {
  std::string s;
  for (const int v : values) {
    const std::string t = std::to_string(v);
    s += " " + std::string(11 - t.size(), ' ') + t;
  }
  return s;
}

// The log of a run of the 4 x 3 x 3 case (label "test case", pressures
// 1000, 900, 800) up to the end of each stage.
const std::string echo = " using hardwired stuff! " + ints({4, 3, 3}) +
                         "\n   1000.00000       900.000000       800.000000    \n test\n";
std::string opened(const std::string& name) { return echo + " OPEN FILE " + name + "\n"; }
const std::string checked = opened("case.bin") + " Check for any missing data\n";
// ... and up to the two lines that name the outputs after STEM: the whole
// 255-character name field, then the model data file's name, which is
// empty when the field holds no blank.
std::string named(const std::string& stem, const std::string& head = echo) {
  std::string field = (stem + ".KVOwrk ").substr(0, 255);
  field.resize(255, ' ');
  const auto blank = field.find(' ');
  const std::string model = blank == std::string::npos ? "" : field.substr(0, blank);
  return head + " OPEN FILE " + stem + "\n Check for any missing data\n" +
         " going to use nsfcfld=           12\n " + field + "\n KVOwrk  data ---> " + model +
         "\n";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t a = 0, b; a < text.size(); a = b + 1) {
    b = text.find('\n', a);
    lines.push_back(text.substr(a, b - a));
  }
  return lines;
}
std::string join(const std::vector<std::string>& lines, std::size_t count) {
  std::string s;
  for (std::size_t n = 0; n < count && n < lines.size(); ++n) s += lines[n] + "\n";
  return s;
}

// A stem of LENGTH characters through directories of 99-character names.
std::string long_stem(std::size_t length) {
  std::string stem;
  while (length - stem.size() > 100) stem += std::string(99, 'd') + "/";
  return stem + std::string(length - stem.size(), 'c');
}

// A data stop: point (1, 1) of level K of FIELD set to MARK (of every
// level when K is 0).
Row stop(const std::string& name, std::int32_t (InputRecords::*field)(std::int32_t) const,
         std::int32_t k, float mark, const std::string& log_tail, const std::string& cause) {
  return {name,
          [=](Case& c) {
            TestCase tc = TestCase::valid(4, 3, 3);
            const auto r = tc.rec();
            if (k == 0) {  // every level
              for (std::int32_t l = 1; l <= tc.lm; ++l) tc.at((r.*field)(l), 1, 1) = mark;
            } else {
              tc.at((r.*field)(k), 1, 1) = mark;
            }
            c.grid = tc.input_grid();
          },
          1,
          {"case.bin: ", cause, "data stop"},
          checked + log_tail};
}

std::vector<Row> rows() {
  const std::string eof = "end of file";
  const std::string desc = "InputModelInf.txt: ";
  std::vector<Row> t = {
      {"stdin_empty", [](Case& c) { c.stdin_text = ""; }, 2, {"standard input", eof}, ""},
      {"stdin_one_line", [](Case& c) { c.stdin_text = "case.bin\n"; }, 2,
       {"standard input", eof, "line 2"}, ""},

      {"description_missing", [](Case& c) { c.description.reset(); }, 2,
       {desc, "No such file or directory"}, ""},
      {"description_unreadable",
       [](Case& c) { c.modes.push_back({"InputModelInf.txt", fs::perms::none}); }, 2,
       {desc, "Permission denied"}, "", true},
      {"description_a_directory",
       [](Case& c) {
         c.description.reset();
         c.dirs.push_back("InputModelInf.txt");
       },
       2, {desc, "Is a directory"}, ""},
      {"description_empty", [](Case& c) { c.description = ""; }, 2,
       {desc, eof, "the run label"}, ""},
      {"description_sizes_line_short",
       [](Case& c) { c.description = "test case\n4 3\n"; }, 2, {desc, eof, "the grid sizes"}, ""},
      {"description_sizes_not_integers",
       [](Case& c) { c.description = "test case\n4 x 3\n"; }, 2,
       {desc, "line 2", "not an integer", "'x'"}, ""},
      {"description_size_with_two_signs",
       [](Case& c) { c.description = "test case\n+-4 3 3\n"; }, 2,
       {desc, "line 2", "not an integer", "'+-4'"}, ""},
      {"description_size_beyond_32_bits",
       [](Case& c) { c.description = "test case\n2147483648 1 1\n"; }, 2,
       {desc, "not an integer", "'2147483648'"}, ""},
      // Control bytes are shown as escapes, and a long token is cut.
      {"description_size_with_nul",
       [](Case& c) { c.description = std::string("test case\n4\0x 3 3\n", 18); }, 2,
       {desc, "line 2", "not an integer", "'4\\0x'"}, ""},
      {"description_size_token_of_a_megabyte",
       [](Case& c) { c.description = "test case\n" + std::string(1 << 20, '7') + "x 3 3\n"; }, 2,
       {desc, "line 2", "not an integer", "'" + std::string(60, '7') + "...' (the grid sizes"},
       ""},
      // Lines ending in CR alone read as one line: the diagnostic says why.
      {"description_with_cr_only_line_ends",
       [](Case& c) {
         std::string d = *c.description;
         for (char& ch : d)
           if (ch == '\n') ch = '\r';
         c.description = d;
       },
       2, {desc, "end of file after line 1", "CR alone"}, ""},
  };

  // The run description ending before each read, and holding a value that
  // is not a number at each read.  Lines: label, sizes, seven grid
  // integers, three pressures.
  const std::vector<std::string> what = {
      "the grid sizes",        "the grid type",         "latitude of the first",
      "longitude of the first", "latitude of the last",  "longitude of the last",
      "increment along i",     "increment along j",     "pressure of level 1",
      "pressure of level 2",   "pressure of level 3"};
  const std::vector<std::string> junk = {"4 3 three", "0.5", "ten", "3*10", "-",
                                         "1e3",       "/",   "--7", "hPa",  "NaN", "1.0E"};
  for (std::size_t n = 0; n < what.size(); ++n) {
    const std::size_t line = n + 2;
    t.push_back({"description_ends_before_line_" + std::to_string(line),
                 [=](Case& c) { c.description = join(lines_of(*c.description), line - 1); }, 2,
                 {desc, eof + " after line " + std::to_string(line - 1), what[n]}, ""});
    t.push_back({"description_not_a_number_on_line_" + std::to_string(line),
                 [=](Case& c) {
                   auto l = lines_of(*c.description);
                   l[line - 1] = junk[n];
                   c.description = join(l, l.size());
                 },
                 2,
                 {desc, "line " + std::to_string(line), n < 8 ? "not an integer" : "not a number",
                  what[n]},
                 ""});
  }

  for (const auto& [name, sizes] : std::vector<std::pair<std::string, std::string>>{
           {"im_zero", "0 3 3"},
           {"im_negative", "-4 3 3"},
           {"jm_zero", "4 0 3"},
           {"lm_negative", "4 3 -1"},
           {"record_beyond_32_bits", "536870912 1 1"},
           {"lm_beyond_limit", "4 3 20000000"},
           {"lm_largest_integer", "4 3 2147483647"},
           {"record_beyond_32_bits_by_rows", "65536 8193 1"}})
    t.push_back({"sizes_" + name,
                 [=](Case& c) {
                   auto l = lines_of(*c.description);
                   l[1] = sizes;
                   c.description = join(l, l.size());
                 },
                 2, {desc, "unusable grid sizes"}, ""});

  const std::string date = "adate.txt: ";
  const std::vector<Row> more = {
      {"date_missing", [](Case& c) { c.date.reset(); }, 2, {date, "No such file or directory"},
       echo},
      {"date_empty", [](Case& c) { c.date = ""; }, 2, {date, eof}, echo},
      {"date_blank_only", [](Case& c) { c.date = "  \n\t \n\n"; }, 2, {date, eof}, echo},
      {"date_a_directory",
       [](Case& c) {
         c.date.reset();
         c.dirs.push_back("adate.txt");
       },
       2, {date, "Is a directory"}, echo},

      {"grid_missing", [](Case& c) { c.grid.reset(); }, 2,
       {"case.bin: ", "No such file or directory"}, opened("case.bin")},
      {"grid_a_directory",
       [](Case& c) {
         c.grid.reset();
         c.dirs.push_back("case.bin");
       },
       2, {"case.bin: ", "Is a directory"}, opened("case.bin")},
      // Only a regular file has records to read by number; a FIFO must not
      // hold the run in open(), and a device must not convert as zeros.
      {"grid_a_fifo",
       [](Case& c) {
         c.grid.reset();
         c.fifos.push_back("case.bin");
       },
       2, {"case.bin: ", "is a FIFO", "not a regular file"}, opened("case.bin")},
      {"grid_a_character_device",
       [](Case& c) {
         c.grid.reset();
         c.links.push_back({"case.bin", "/dev/zero"});
       },
       2, {"case.bin: ", "is a character device", "not a regular file"}, opened("case.bin")},
      {"grid_unreadable", [](Case& c) { c.modes.push_back({"case.bin", fs::perms::none}); }, 2,
       {"case.bin: ", "Permission denied"}, opened("case.bin"), true},
      {"grid_name_empty_path_begins_with_blank",
       [](Case& c) {
         c.stdin_text = " case.bin\nsecond\n";
         c.stem = "";
       },
       2, {"input grid file", "name is empty"}, opened("")},
      {"grid_name_empty_path_without_blank",
       [](Case& c) {
         c.stdin_text = std::string(300, 'p') + "\nsecond\n";
         c.stem = "";
       },
       2, {"input grid file", "name is empty"}, opened("")},
      {"grid_empty", [](Case& c) { c.grid = ""; }, 2,
       {"case.bin: ", "ends inside record 1:", "found 0"}, opened("case.bin")},
      {"grid_one_byte_short", [](Case& c) { c.grid->pop_back(); }, 2,
       {"case.bin: ", "ends inside record 30:", "expected 48 bytes, found 47"},
       opened("case.bin")},
      {"grid_one_record_short", [](Case& c) { c.grid->resize(c.grid->size() - 48); }, 2,
       {"case.bin: ", "ends inside record 30:", "found 0"}, opened("case.bin")},

      {"output_directory_not_writable",
       [](Case& c) {
         c.input_path("data/case.bin");
         c.modes.push_back({"data", fs::perms::owner_read | fs::perms::owner_exec});
       },
       2, {"data/case.bin.KVOwrk: ", "Permission denied"}, named("data/case.bin"), true},
      {"output_model_data_path_is_a_directory",
       [](Case& c) { c.dirs.push_back("case.bin.KVOwrk"); }, 2,
       {"case.bin.KVOwrk: ", "Is a directory"}, named("case.bin")},
      {"output_grid_description_path_is_a_directory",
       [](Case& c) { c.dirs.push_back("case.bin.KVOwrk.gdsinfo"); }, 2,
       {"case.bin.KVOwrk.gdsinfo: ", "Is a directory"}, named("case.bin")},
      {"output_model_data_path_is_a_fifo", [](Case& c) { c.fifos.push_back("case.bin.KVOwrk"); },
       2, {"case.bin.KVOwrk: ", "is a FIFO"}, named("case.bin")},
      {"output_grid_description_path_is_a_fifo",
       [](Case& c) { c.fifos.push_back("case.bin.KVOwrk.gdsinfo"); }, 2,
       {"case.bin.KVOwrk.gdsinfo: ", "is a FIFO"}, named("case.bin")},
      {"output_stem_of_240_characters",
       [](Case& c) { c.input_path(long_stem(240)); },
       2, {"output files of '" + long_stem(240).substr(0, 40), "240 characters"},
       named(long_stem(240))},
      {"output_stem_of_250_characters",
       [](Case& c) { c.input_path(long_stem(250)); },
       2, {"output files of '" + long_stem(250).substr(0, 40), "250 characters"},
       named(long_stem(250))},
  };
  t.insert(t.end(), more.begin(), more.end());

  // A write refused in the middle of the model data file (a file size limit
  // of at most 8 KiB, the file 27 KiB): neither new file reaches its name,
  // and the outputs of an earlier run stay as they were.
  Row full_disk{"output_write_refused_midway",
                [](Case& c) { c.shell_limits = "ulimit -f 8 && trap '' XFSZ && "; },
                2,
                {"case.bin.KVOwrk: ", "File too large", "writing record"},
                named("case.bin", " using hardwired stuff! " + ints({16, 16, 3}) +
                                      "\n   1000.00000       900.000000       800.000000    "
                                      "\n test\n") +
                    " calling get_fullgds with case.bin\n back from get_fullgds\n writing kgds " +
                    ints({0, 16, 16, -90000, 0, 128, 90000, 357500, 2500, 2500, 64, 0, 0, 0}) +
                    "\n GDS written to case.bin.KVOwrk.gdsinfo\n past 14 close\n"
                    " starting writes to unit1\n",
                false,
                true,
                [] { return TestCase::valid(16, 16, 3); }};
  t.push_back(full_disk);

  using R = InputRecords;
  const std::vector<Row> stops = {
      stop("stop_height_level_2", &R::ht, 2, missing,
           " Height data missing at level:    900.000000    \n", "Height data missing at level"),
      stop("stop_height_undefined_level_1", &R::ht, 1, undefined,
           " Height data missing at level:    1000.00000    \n", "Height data missing at level"),
      stop("stop_temperature_level_3", &R::tp, 3, missing,
           " Temperature data missing at level:    800.000000    \n",
           "Temperature data missing at level"),
      stop("stop_u_wind_level_1", &R::uw, 1, missing,
           " U-wind data missing at level:    1000.00000    \n", "U-wind data missing at level"),
      stop("stop_v_wind_level_2", &R::vw, 2, undefined,
           " V-wind data missing at level:    900.000000    \n", "V-wind data missing at level"),
      stop("stop_specific_humidity_level_3", &R::q, 3, missing,
           " Spec. Humid. data missing at level:    800.000000    \n",
           "Spec. Humid. data missing at level"),
      stop("stop_rh_missing_everywhere", &R::rh, 0, missing,
           " RH data missing at level:    1000.00000    \n Calling RH patch.\n"
           " RH patch did not work.\n",
           "RH patch did not work. ("),
      stop("stop_rh_missing_between_present_levels", &R::rh, 2, missing,
           " RH data missing at level:    900.000000    \n Calling RH patch.\n"
           " RH patch did not work..\n",
           "RH patch did not work.. ("),
  };
  t.insert(t.end(), stops.begin(), stops.end());
  return t;
}

// Every entry below DIR: a regular file by its bytes, anything else by its
// kind.
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const std::string& dir) {
  std::map<std::string, std::string> s;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string rel = fs::relative(e.path(), dir).string();
    if (!e.is_regular_file()) {
      s[rel] = e.is_directory() ? "<directory>" : "<other>";
      continue;
    }
    try {
      s[rel] = read_file(e.path().string());
    } catch (const std::exception&) {
      s[rel] = "<unreadable, " + std::to_string(e.file_size()) + " bytes>";
    }
  }
  return s;
}

// The entries that came, went or changed, one line each.
std::string changes(const Snapshot& before, const Snapshot& after) {
  std::string s;
  for (const auto& [name, bytes] : after) {
    const auto old = before.find(name);
    if (old == before.end())
      s += "created: " + name + "\n";
    else if (old->second != bytes)
      s += "changed: " + name + " (" + std::to_string(old->second.size()) + " bytes, now " +
           std::to_string(bytes.size()) + ")\n";
  }
  for (const auto& [name, bytes] : before)
    if (after.find(name) == after.end()) s += "removed: " + name + "\n";
  return s;
}

class BadInput : public ::testing::TestWithParam<std::tuple<Row, bool>> {};

TEST_P(BadInput, FailsWithDiagnosticAndLeavesFilesAsTheyWere) {
  const auto& [row, old_outputs] = GetParam();
  if (row.needs_non_root && geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  if (old_outputs && !row.keeps_old_outputs)
    GTEST_SKIP() << "beside old outputs the run writes them";

  Case c(row.make());
  row.spoil(c);
  ScratchDir work;
  if (c.description) write_file(work / "InputModelInf.txt", *c.description);
  if (c.date) write_file(work / "adate.txt", *c.date);
  if (c.grid) write_file(work / c.grid_name, *c.grid);
  for (const auto& d : c.dirs) fs::create_directories(work / d);
  for (const auto& f : c.fifos) ASSERT_EQ(mkfifo((work / f).c_str(), 0600), 0) << f;
  for (const auto& [name, target] : c.links) fs::create_symlink(target, work / name);
  if (old_outputs) {
    for (const auto& [name, bytes] :
         {std::pair{c.stem + ".KVOwrk", std::string(5000, '\xAB')},
          std::pair{c.stem + ".KVOwrk.gdsinfo", std::string("old grid description\n")}})
      if (!file_exists(work / name)) write_file(work / name, bytes);
  }
  for (const auto& [path, mode] : c.modes) fs::permissions(work / path, mode);
  const auto before = snapshot(work.path());

  const RunResult r =
      c.shell_limits.empty()
          ? run_program(INPUT_DRIVER, work.path(), c.stdin_text)
          : run_program("/bin/sh", work.path(), c.stdin_text,
                        {"-c", c.shell_limits + "exec \"$0\"", INPUT_DRIVER});

  EXPECT_EQ(r.status, row.status) << r.err;
  for (const auto& piece : row.err) EXPECT_NE(r.err.find(piece), std::string::npos)
      << "standard error lacks \"" << piece << "\": " << r.err;
  EXPECT_EQ(r.out, row.out);
  EXPECT_EQ(changes(before, snapshot(work.path())), "");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BadInput, ::testing::Combine(::testing::ValuesIn(rows()), ::testing::Bool()),
    [](const ::testing::TestParamInfo<BadInput::ParamType>& param_info) {
      return std::get<0>(param_info.param).name +
             (std::get<1>(param_info.param) ? "_beside_old_outputs" : "");
    });

}  // namespace
