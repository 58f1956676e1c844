// What the command conv2model ingest is made of besides its run: the table
// of its options, from which its command line is read and the Options part
// of its --help made, and the texts of --help before and after them.
#pragma once

#include <string_view>

#include "option_table.hpp"

namespace c2m::ingest {

const cli::OptionTable& option_table();

// --help up to the options: what ingest does, the fields, netCDF.
std::string_view help_before_options();
// --help after the options: the field table (the built-in one in full),
// examples, the exit statuses.
std::string_view help_after_options();

inline constexpr std::string_view synopsis =
    "conv2model ingest [OPTIONS] OUTDIR FILE...\n"
    "       conv2model ingest --all-times [-j N] [OPTIONS] OUTDIR FILE...";

}  // namespace c2m::ingest
