#include "source/netcdf_probe.hpp"

#include <netcdf.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "kit/numbers.hpp"
#include "source/netcdf_library.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {
std::atomic<unsigned> probe_seconds{120};
}  // namespace

void set_netcdf_probe_seconds(unsigned seconds) { probe_seconds = std::max(1u, seconds); }

namespace netcdf {

namespace {

// The child: a fatal signal ends it plainly, through no handler of this
// process (a sanitizer's, a fuzzer's, the removal of partial outputs).
[[noreturn]] void try_in_child(const std::string& open_name, const std::function<void(int ncid)>& scan,
                               unsigned seconds) {
  for (const int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGALRM, SIGINT, SIGTERM, SIGHUP})
    std::signal(sig, SIG_DFL);
  const struct rlimit no_core = {0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  // What it would say is said again by this process, or replaced by the
  // refusal.
  if (const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC); null >= 0) ::dup2(null, 2);
  ::alarm(seconds);
  int id = -1;
  if (nc_open(open_name.c_str(), NC_NOWRITE, &id) == NC_NOERR) {
    try {
      scan(id);
    } catch (...) {
      // Refused: the parent refuses it the same way.
    }
    nc_close(id);
  }
  ::_exit(0);
}

}  // namespace

void probe(const std::string& path, const std::string& open_name, const std::function<void(int ncid)>& scan) {
  const unsigned seconds = probe_seconds.load();
  const pid_t pid = ::fork();
  if (pid < 0) return;  // no process to spare: opened here, as without the probe
  if (pid == 0) try_in_child(open_name, scan, seconds);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  std::string how;
  if (WIFSIGNALED(status))
    how = WTERMSIG(status) == SIGALRM ? "did not end within " + decimal(seconds) + " seconds"
                                      : std::string("ended by signal ") + decimal(WTERMSIG(status)) + " (" +
                                            ::strsignal(WTERMSIG(status)) + ")";
  else
    how = "ended with status " + decimal(WEXITSTATUS(status));
  throw IoFailure(path + ": the HDF5 library cannot read this netCDF-4 file (opening it in a separate process " +
                  how + "): the file is corrupt");
}

}  // namespace netcdf

}  // namespace c2m::ingest
