#include "support/dir_snapshot.hpp"

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace testsupport {

std::string digest(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return "<unreadable>";
  std::uint64_t h = 1469598103934665603ull, size = 0;
  char buf[1 << 16];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0; size += n)
    for (std::size_t k = 0; k < n; ++k) h = (h ^ static_cast<unsigned char>(buf[k])) * 1099511628211ull;
  std::fclose(f);
  return std::to_string(size) + " bytes, " + std::to_string(h);
}

Snapshot snapshot(const std::string& dir) {
  Snapshot s;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (e.is_symlink())
      s[name] = "-> " + fs::read_symlink(e.path()).string();
    else if (e.is_regular_file())
      s[name] = digest(e.path().string());
    else
      s[name] = "<not a regular file>";
  }
  return s;
}

}  // namespace testsupport
