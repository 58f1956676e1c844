// conv2model synth: a synthetic input case.
#pragma once

#include "cli.hpp"

namespace c2m::cli {

const Subcommand& synth_subcommand();

}  // namespace c2m::cli
