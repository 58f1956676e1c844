// conv2model info: the inventory of a model data file.
#pragma once

#include "cli.hpp"

namespace c2m::cli {

const Subcommand& info_subcommand();

}  // namespace c2m::cli
