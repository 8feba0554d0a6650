#pragma once

#include <string>

namespace corvana {

// "major.minor.release.build" from the file's version resource, or "Nix eingetragen".
std::string GetFileVersionString(const std::string& path);

} // namespace corvana
