#include "errors.hpp"

#include <cstring>

namespace kvo {

std::string with_reason(const std::string& file, const std::string& what, int err) {
  return file + ": " + what + ": " + std::strerror(err);
}

}  // namespace kvo
