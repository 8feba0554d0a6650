#pragma once
// Shared by the POSIX files that keep folders of the user's own (temporary files, run logs).

#include <string>

namespace corvana::platform {

// True when `dir` is a directory of ours that nobody else can enter; narrows its mode if
// needed. O_NOFOLLOW makes a link under the name fail instead of being trusted. errno says
// why not.
bool isOwnPrivateDirectory(const std::string& dir);

} // namespace corvana::platform
