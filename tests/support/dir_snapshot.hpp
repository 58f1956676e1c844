// What a directory holds, to compare before and after a run: every entry
// by name, a regular file by its size and a hash of its bytes, a symlink by
// its target, anything else by its kind.
#pragma once

#include <map>
#include <string>

namespace testsupport {

using Snapshot = std::map<std::string, std::string>;

// The size and hash of the bytes of the file PATH.
std::string digest(const std::string& path);

Snapshot snapshot(const std::string& dir);

}  // namespace testsupport
