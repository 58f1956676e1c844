// Outputs of the commands that look at a model data file must never land on
// the files they read: a picture written "onto" the model data file would
// replace it.
#pragma once

#include <initializer_list>
#include <string>

namespace c2m::md {

// Throws CannotOpen when OUTPUT is one of INPUTS: the same file, by this
// name, another path, a symlink or a hard link.
void refuse_output_onto_inputs(const std::string& output,
                               std::initializer_list<std::string> inputs);

}  // namespace c2m::md
