// A case written into its directory: the input grid file, the run
// description, the date file and the report, made under temporary names
// and moved into place together once all four are whole.  The directory
// (and its missing parents) is made for the case and removed again when
// the case could not be written.
#pragma once

#include <string>
#include <vector>

#include "fileio/output_file.hpp"
#include "plan/candidates.hpp"
#include "plan/plan.hpp"

namespace c2m::ingest {

// The report's name in the case's directory.
inline constexpr const char* report_file = "ingest.txt";

// The directories made for a case's directory, removed again (when
// empty) unless the case was written, and by the handler of a stop signal
// while they are not kept (stop_signals.hpp).  Each is made, and removed,
// relative to a descriptor of the directory it is in.
class MadeDirectories {
 public:
  // Makes DIR and its missing parents; CannotOpen when something in the
  // way is not a directory or cannot be made.
  explicit MadeDirectories(const std::string& dir);
  ~MadeDirectories() {
    if (!keep_) remove();
  }
  MadeDirectories(const MadeDirectories&) = delete;
  MadeDirectories& operator=(const MadeDirectories&) = delete;
  void keep();

 private:
  struct Made {
    std::string path;  // as made, for diagnostics
    int parent_fd = -1;
    std::string name;  // in the parent
    int slot = -1;     // of the stop signals' cleanup
  };
  void make(const std::string& path);
  void remove() noexcept;
  void forget() noexcept;
  std::vector<Made> made_;
  bool keep_ = false;
};

// DIR / NAME.
std::string joined(const std::string& dir, const std::string& name);

// What a caller that made the input files itself adds to a case: lines
// that end the report (after a blank line), and files of its own in
// OUTDIR that go into place together with the case's, or not at all.
struct CaseAddition {
  std::string report;
  std::vector<OutputFile*> files;
};

// Writes the case of PLAN into OUTDIR (made if missing), its input grid
// file named NAME, its records made by THREADS workers, and returns the
// report (kept in OUTDIR as ingest.txt).  On a failure (thrown) OUTDIR is
// as it was.
std::string write_case(const Plan& plan, const Sources& sources, const std::string& outdir,
                       const std::string& name, unsigned threads);
// The same with ADDITION's lines ending the report and its files in place
// with the case.
std::string write_case(const Plan& plan, const Sources& sources, const std::string& outdir,
                       const std::string& name, unsigned threads, const CaseAddition& addition);

}  // namespace c2m::ingest
