// An output must never land on a file the run reads: a picture written
// "onto" the model data file would replace it, and a case written into the
// directory of its own GRIB file would replace the GRIB file with the grid
// file.  Files are compared as the system knows them (device and inode),
// so that another path, a symlink or a hard link to an input is caught as
// surely as its own name.
#pragma once

#include <initializer_list>
#include <optional>
#include <span>
#include <string>

namespace c2m {

// The first of INPUTS that is the file OUTPUT names (following links), or
// nothing: also when OUTPUT does not exist yet, since no input can then be
// it.
std::optional<std::string> input_at(const std::string& output, std::span<const std::string> inputs);

// Throws CannotOpen when OUTPUT is one of INPUTS, naming both.
void refuse_output_onto_inputs(const std::string& output, std::initializer_list<std::string> inputs);

}  // namespace c2m
