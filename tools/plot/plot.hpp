// conv2model plot: a quick-look picture of one record of a model data file.
#pragma once

#include "cli.hpp"

namespace c2m::cli {

const Subcommand& plot_subcommand();

}  // namespace c2m::cli
