// The manual page of conv2model, conv2model.1, made from the same texts as
// --help so that the two never disagree.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cli.hpp"

namespace c2m::cli {

// TEXT as roff lines to be shown as they stand: backslashes and hyphens
// escaped (so that options copy as typed), lines that roff would take for
// requests protected.
std::string roff_verbatim(std::string_view text);

// The whole page in roff (man macros): the program's help, then a section
// for every subcommand with its synopsis and help.
std::string man_page(const std::string& program_help, std::span<const Subcommand> subcommands);

}  // namespace c2m::cli
