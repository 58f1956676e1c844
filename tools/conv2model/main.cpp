// conv2model: the front door.  Everything is in the libraries; this only
// sets up the process (signals) and hands the arguments over.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/output_file.hpp"
#include "frontdoor.hpp"

int main(int argc, char** argv) {
  // A conversion goes on when the reader of its log has gone, as
  // input_driver does (see Log); the other subcommands stop quietly, as
  // filters do, when their output is no longer read (info | head).
  if (argc > 1 && std::string_view(argv[1]) == "convert") std::signal(SIGPIPE, SIG_IGN);
  c2m::install_cleanup_on_signals("conv2model");
  c2m::cli::Streams io;
  const int status = c2m::cli::front_door(std::vector<std::string>(argv + 1, argv + argc), io);
  std::fflush(stdout);
  std::fflush(stderr);
  return status;
}
