// The front door: `conv2model SUBCOMMAND [ARGS]`, one program for
// everything a user does with the project.  Each subcommand is a library
// of its own; this file only knows their table.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "cli.hpp"

namespace c2m::cli {

// Every subcommand, in the order --help lists them.
std::span<const Subcommand> subcommands();

// The whole program: ARGS are the arguments after "conv2model".
int front_door(const std::vector<std::string>& args, Streams& io);

// The text of --help for SUB (its synopsis, then its help).
std::string help_of(const Subcommand& sub);
// The text of `conv2model --help`.
std::string program_help();

}  // namespace c2m::cli
