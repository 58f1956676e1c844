// input_driver: converts the case in the working directory.  Standard input
// holds two lines: the path of the input grid file, and a second path that
// must be present but has no effect.  Arguments are ignored, except that a
// lone --help or --version answers at once instead of waiting for them.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "driver/input_driver.hpp"
#include "fileio/output_file.hpp"
#include "version/version.hpp"

namespace {

constexpr const char* help_text =
    "usage: printf 'INPUT\\nnone\\n' | input_driver\n"
    "\n"
    "Converts the case in the working directory into the model's initial data.\n"
    "Standard input holds two lines: the path of the input grid file (cut at its\n"
    "first blank) and a second line that must be present but has no effect.  The\n"
    "working directory holds the run description InputModelInf.txt and the date\n"
    "file adate.txt.  The outputs INPUT.KVOwrk and INPUT.KVOwrk.gdsinfo appear\n"
    "beside the input grid file; the log goes to standard output.\n"
    "\n"
    "The same conversion with a command line: conv2model convert INPUT\n"
    "(see 'conv2model convert --help' and 'man conv2model').\n"
    "\n"
    "Exit status: 0 converted; 1 data stop (a missing level); 2 input/output\n"
    "failure or unusable input; 128 + N stopped by signal N.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(help_text, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("input_driver %s\n", c2m::version_text().c_str());
    return 0;
  }
  // A log whose reader has gone must not end the run half-way (see Log).
  std::signal(SIGPIPE, SIG_IGN);
  c2m::install_cleanup_on_signals("input_driver");
  c2m::Log log(stdout);
  log.warn_to(stderr, "input_driver");
  const int status = c2m::input_driver(stdin, log, stderr);
  std::fflush(stdout);
  std::fflush(stderr);
  return status;
}
