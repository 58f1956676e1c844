// What one invocation of kvoinfo does, apart from reading its arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace kvo {

struct Request {
  std::string data_path;                // the model data file, NAME.KVOwrk
  std::optional<std::int64_t> record;   // one record instead of all
  std::optional<std::string> png_path;  // a picture of that record
  bool descriptor = false;              // the data descriptor instead of the inventory
};

// Reads the grid description beside the model data file, checks the file's
// size, and writes the inventory, the descriptor or the picture.  Text for
// the user goes to OUT.  Throws the errors of errors.hpp.
void run(const Request& request, std::ostream& out);

}  // namespace kvo
