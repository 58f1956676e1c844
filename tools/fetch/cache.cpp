#include "cache.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "fileio/output_file.hpp"
#include "kit/file_descriptor.hpp"
#include "kit/numbers.hpp"
#include "textio/errors.hpp"

namespace c2m::fetch {

namespace {

// One part of a URL as a plain file name: letters, digits and . _ - as
// they are, every other byte as %XX; "." and ".." and an empty part
// escaped too, so that no part climbs or vanishes.
std::string plain_part(std::string_view part) {
  if (part.empty()) return "%";
  std::string out;
  for (const char c : part) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                       c == '-' || (c == '.' && part != "." && part != "..");
    if (plain) out += c;
    else out += "%" + zero_padded(static_cast<unsigned char>(c), 2, 16);
  }
  return out;
}

}  // namespace

std::string default_cache_dir() {
  if (const char* x = std::getenv("XDG_CACHE_HOME"); x != nullptr && x[0] == '/') return std::string(x) + "/conv2model";
  if (const char* h = std::getenv("HOME"); h != nullptr && h[0] != '\0') return std::string(h) + "/.cache/conv2model";
  return {};
}

std::string Cache::path_of(const std::string& url, const std::string& range) const {
  std::string_view rest = url;
  if (const auto scheme = rest.find("://"); scheme != std::string_view::npos) rest.remove_prefix(scheme + 3);
  std::string path = dir_;
  for (;;) {
    const std::size_t slash = rest.find('/');
    path += "/" + plain_part(rest.substr(0, slash));
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return path + "/" + range;
}

std::optional<std::vector<unsigned char>> Cache::get(const std::string& url, const std::string& range,
                                                     std::int64_t largest) const {
  if (!enabled()) return std::nullopt;
  FileDescriptor fd(::open(path_of(url, range).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!fd.is_open() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > largest) return std::nullopt;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::pread(fd.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
    if (n <= 0) return std::nullopt;
    got += static_cast<std::size_t>(n);
  }
  return bytes;
}

std::string Cache::put(const std::string& url, const std::string& range, std::span<const unsigned char> bytes) const {
  if (!enabled()) return {};
  const std::string path = path_of(url, range);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  if (ec) return path + ": " + ec.message() + " (making the cache's directory)";
  try {
    OutputFile f(path);
    f.write(std::as_bytes(bytes), "a cached message");
    f.commit();
  } catch (const IoFailure& e) {
    return e.what();
  }
  return {};
}

}  // namespace c2m::fetch
