#include "textio/errors.hpp"

#include <cstring>

namespace c2m {

std::string system_reason(const std::string& file, int err) {
  return file + ": " + std::strerror(err);
}

}  // namespace c2m
