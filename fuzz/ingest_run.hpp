// What the ingest fuzz targets share: the input written as a file in a
// scratch directory, ingested in-process on one thread, and the rule a run
// must pass.
//
// The run must end with status 0 (a case made) or 2 (refused, with a
// diagnostic), never a crash, a hang or a sanitizer's report; a refusal
// leaves no output directory, a success leaves the four files of a case
// and nothing else; and nothing appears outside the scratch directory (in
// the working directory or the temporary directory).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <span>
#include <string>

#include "fileio/output_file.hpp"
#include "fuzz_check.hpp"
#include "ingest.hpp"

namespace fuzzrun {

namespace fs = std::filesystem;

// The scratch directory of the runs, made once, emptied after each run
// and removed at exit.  Its name is kept in a plain array: a static path
// would be destroyed before the exit handler that needs it runs.
inline const char* scratch() {
  static char dir[256] = "";
  if (dir[0] == '\0') {
    const std::string tmpl = (fs::temp_directory_path() / "c2m-fuzz-XXXXXX").string();
    FUZZ_CHECK(tmpl.size() < sizeof dir);
    std::memcpy(dir, tmpl.c_str(), tmpl.size() + 1);
    FUZZ_CHECK(mkdtemp(dir) != nullptr);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(dir, ec);
    });
  }
  return dir;
}

inline std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
  return names;
}

// DATA written as NAME in the scratch directory and ingested; the pass
// rule checked.
inline void ingest_bytes(const std::uint8_t* data, std::size_t size, const char* name) {
  const fs::path root = scratch();
  // The temporary directory is watched only where it is the run's own
  // (TMPDIR, as fuzz/run.sh and the replay tests set it): a shared one
  // changes under other programs.
  const bool own_tmp = std::getenv("TMPDIR") != nullptr;
  const fs::path tmp = fs::temp_directory_path(), cwd = fs::current_path();
  const std::set<std::string> tmp_before = own_tmp ? entries(tmp) : std::set<std::string>{};
  const std::set<std::string> cwd_before = entries(cwd);

  const fs::path input = root / name, out = root / "out";
  {
    c2m::OutputFile f(input.string());
    f.write(std::as_bytes(std::span<const std::uint8_t>(data, size)), "the input");
    f.commit();
  }
  c2m::ingest::Options o;
  o.outdir = out.string();
  o.files = {input.string()};
  o.threads = 1;
  o.quiet = true;
  char* err_buf = nullptr;
  std::size_t err_size = 0;
  std::FILE* err = open_memstream(&err_buf, &err_size);
  std::FILE* sink = std::fopen("/dev/null", "w");
  FUZZ_CHECK(err != nullptr && sink != nullptr);
  const int status = c2m::ingest::ingest(o, sink, err);
  std::fclose(err);
  std::fclose(sink);
  const std::string diagnostic(err_buf, err_size);
  std::free(err_buf);

  FUZZ_CHECK(status == 0 || status == 2);
  if (status == 2) {
    FUZZ_CHECK(!diagnostic.empty());
    FUZZ_CHECK(!fs::exists(out));
  } else {
    FUZZ_CHECK(diagnostic.empty());
    const std::set<std::string> made = entries(out);
    FUZZ_CHECK((made == std::set<std::string>{"InputModelInf.txt", "adate.txt", "case.bin", "ingest.txt"}));
  }
  FUZZ_CHECK((entries(root) == (status == 0 ? std::set<std::string>{name, "out"} : std::set<std::string>{name})));
  if (own_tmp) FUZZ_CHECK(entries(tmp) == tmp_before);
  FUZZ_CHECK(entries(cwd) == cwd_before);

  std::error_code ec;
  fs::remove_all(out, ec);
  fs::remove(input, ec);
}

}  // namespace fuzzrun
