#include "textio/quote.hpp"

#include "kit/numbers.hpp"

namespace c2m {

std::string printable(std::string_view text) {
  std::string out;
  const std::size_t n = text.size() < quoted_length ? text.size() : quoted_length;
  for (std::size_t k = 0; k < n; ++k) {
    const auto c = static_cast<unsigned char>(text[k]);
    switch (c) {
      case '\0': out += "\\0"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          out += "\\x" + zero_padded(c, 2, 16);
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  if (text.size() > quoted_length) out += "...";
  return out;
}

std::string quote(std::string_view text) { return "'" + printable(text) + "'"; }

bool has_bare_cr(std::string_view line) { return line.find('\r') != std::string_view::npos; }

}  // namespace c2m
