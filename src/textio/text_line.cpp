#include "textio/text_line.hpp"

#include <cerrno>

#include "textio/errors.hpp"

namespace c2m {

bool read_text_line(std::FILE* in, std::string& line, const std::string& name) {
  line.clear();
  int c = 0;
  bool any = false;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  if (std::ferror(in) != 0) throw ReadFailure(system_reason(name, errno));
  if (c == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

}  // namespace c2m
