// Fuzz target: a whole netCDF file (classic, 64-bit offset, 64-bit data or
// netCDF-4), as the bytes are, ingested in-process into a scratch
// directory on one thread.
//
// The run must end with status 0 (a case made) or 2 (refused, with a
// diagnostic), never a crash, a hang or a sanitizer's report; a refusal
// leaves no output directory, a success leaves the four files of a case
// and nothing else; and nothing appears outside the scratch directory (in
// the working directory or the temporary directory).
//
// The seeds in fuzz/corpus/netcdf_ingest_fuzz are small cases of both
// ERA5 layouts made as the ingest tests make theirs (netcdf_seeds, in
// tests/ingest).
//
// Findings inside the libraries, kept in the corpus as regression inputs:
//   regression_hdf5_crash_iterating_dense_links: HDF5 1.10.8 (Debian's
//     1.10.8+repack1-1) frees a pointer it never allocated, in H5MM_xfree
//     from H5O_msg_reset under H5G__link_release_table, while
//     H5G__dense_iterate walks the links of a corrupt group for
//     libnetcdf 4.9.0's NC4_open (H5Literate).  No check of the file can
//     come before it; ingest tries every netCDF-4 file in a child process
//     first and refuses one that the child does not survive, so the input
//     replays as a refusal.  Every crash the fuzzer met was this one.
//   regression_hdf5_spins_reading_dimension_scales: HDF5 1.10.8 spins (for
//     minutes, on one core) in H5HG_read under H5T__conv_vlen, reading the
//     DIMENSION_LIST attribute of a corrupt variable for H5DSget_num_scales,
//     when libnetcdf 4.9.0 reads the variable's metadata (nc4_get_var_meta,
//     from nc_inq_var).  The child that tries the file is stopped after its
//     time (120 s, here 5 s) and the file refused.
//   regression_hdf5_open_fails_library_leaks: libnetcdf 4.9.0 leaks about
//     28 KB of the structures NC4_open made when HDF5 cannot open the
//     file; the sanitizer builds pass over leaks of libnetcdf and HDF5
//     (tools/ingest/eccodes_context.cpp).
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "fileio/output_file.hpp"
#include "fuzz_check.hpp"
#include "ingest.hpp"

namespace fs = std::filesystem;

namespace {

// The scratch directory of the runs, made once, emptied after each run
// and removed at exit.  Its name is kept in a plain array: a static path
// would be destroyed before the exit handler that needs it runs.
const char* scratch() {
  static char dir[256] = "";
  if (dir[0] == '\0') {
    const std::string tmpl = (fs::temp_directory_path() / "c2m-ncfuzz-XXXXXX").string();
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

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path root = scratch();
  // The temporary directory is watched only where it is the run's own
  // (TMPDIR, as fuzz/run.sh and the replay test set it): a shared one
  // changes under other programs.
  const bool own_tmp = std::getenv("TMPDIR") != nullptr;
  const fs::path tmp = fs::temp_directory_path(), cwd = fs::current_path();
  const std::set<std::string> tmp_before = own_tmp ? entries(tmp) : std::set<std::string>{};
  const std::set<std::string> cwd_before = entries(cwd);

  // A file on which the HDF5 library spins is refused after 5 s, well
  // inside libFuzzer's limit of 10 s a run.
  c2m::ingest::set_netcdf_probe_seconds(5);
  const fs::path input = root / "in.nc", out = root / "out";
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
  FUZZ_CHECK((entries(root) == (status == 0 ? std::set<std::string>{"in.nc", "out"} : std::set<std::string>{"in.nc"})));
  if (own_tmp) FUZZ_CHECK(entries(tmp) == tmp_before);
  FUZZ_CHECK(entries(cwd) == cwd_before);

  std::error_code ec;
  fs::remove_all(out, ec);
  fs::remove(input, ec);
  return 0;
}
