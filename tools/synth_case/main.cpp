// synth_case: writes a synthetic input case for conv2model.  See --help.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "options.hpp"
#include "synth.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  synth::Command cmd;
  try {
    cmd = synth::parse_command_line(args);
  } catch (const synth::UsageError& e) {
    std::fprintf(stderr, "synth_case: %s\n", e.what());
    return 2;
  }
  if (cmd.help) {
    std::fputs(synth::usage().c_str(), stdout);
    return 0;
  }
  try {
    synth::write_case(cmd.dir, cmd.settings);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "synth_case: %s\n", e.what());
    return 1;
  }
  return 0;
}
