// The download cache: every message fetch downloaded and checked, kept
// under the URL of its file and its byte range, so that a rerun (another
// area, other levels, a case made again) downloads nothing it has.  An
// entry is a file written whole through a temporary name; it is checked
// again when it is used.  The indexes are kept there too.
//
// DIR/HOST/PATH/OF/THE/FILE/FIRST-LAST (FIRST-end for a range to the end
// of the file, whole for the whole file), each part of the URL escaped
// so that it is one plain name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace c2m::fetch {

// $XDG_CACHE_HOME/conv2model, else $HOME/.cache/conv2model; empty when
// neither is set.
std::string default_cache_dir();

class Cache {
 public:
  // DIR empty: no cache.
  explicit Cache(std::string dir) : dir_(std::move(dir)) {}
  bool enabled() const { return !dir_.empty(); }

  // The entry's file: DIR and the URL's parts, then RANGE ("100-199",
  // "100-end", "whole").
  std::string path_of(const std::string& url, const std::string& range) const;
  // The bytes of the entry, when there is one (of at most LARGEST bytes).
  std::optional<std::vector<unsigned char>> get(const std::string& url, const std::string& range,
                                                std::int64_t largest) const;
  // Keeps BYTES as the entry; empty when kept, else why not (a cache that
  // cannot be written costs downloads, not the case).
  std::string put(const std::string& url, const std::string& range, std::span<const unsigned char> bytes) const;

 private:
  std::string dir_;
};

}  // namespace c2m::fetch
