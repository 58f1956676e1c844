#include "textio/fixed_field.hpp"

namespace c2m {

std::string fixed_field(std::string_view text, std::size_t length) {
  std::string field(text.substr(0, length));
  field.resize(length, ' ');
  return field;
}

std::string_view text_before_blank(std::string_view field) {
  const std::size_t blank = field.find(' ');
  if (blank == std::string_view::npos) return {};
  return field.substr(0, blank);
}

}  // namespace c2m
