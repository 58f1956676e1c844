#include "fileio/output_check.hpp"

#include <sys/stat.h>

#include "textio/errors.hpp"

namespace c2m {

std::optional<std::string> input_at(const std::string& output, std::span<const std::string> inputs) {
  struct stat out {};
  if (::stat(output.c_str(), &out) != 0) return std::nullopt;  // nothing there yet: no input either
  for (const std::string& input : inputs) {
    struct stat in {};
    if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) return input;
  }
  return std::nullopt;
}

void refuse_output_onto_inputs(const std::string& output, std::initializer_list<std::string> inputs) {
  const auto input = input_at(output, std::span<const std::string>(inputs.begin(), inputs.size()));
  if (!input) return;
  throw CannotOpen(output + ": is " + (output == *input ? std::string("") : "the same file as " + *input + ", ") +
                   "an input of this command; choose another output name");
}

}  // namespace c2m
