// conv2model export: a model data file described for other tools.
#pragma once

#include "cli.hpp"

namespace c2m::cli {

const Subcommand& export_subcommand();

}  // namespace c2m::cli
