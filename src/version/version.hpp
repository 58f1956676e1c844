// The version of the project and the git revision the programs were built
// from, for --version.
#pragma once

#include <string>

namespace c2m {

// "0.6.0 (git 1a2b3c4)", or "0.6.0" when the revision is unknown.
std::string version_text();
const char* project_version();
const char* git_revision();

}  // namespace c2m
