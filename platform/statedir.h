#pragma once
// Where the tool keeps what is worth keeping between runs but is no setting (the run logs),
// and the local time their lines are stamped with. statedir_posix.cpp answers with the XDG
// base directories and localtime_r, statedir_win32.cpp with the local application data
// folder and localtime_s.

#include <ctime>
#include <string>

namespace corvana::platform {

// $XDG_STATE_HOME when set and not empty; else ~/.local/state on POSIX, %LOCALAPPDATA% on
// Windows. Without a trailing separator; "" when there is none.
std::string userStateDirectory();

// Creates `dir` and the levels above it as needed, with mode 0700, and narrows an existing
// `dir` of ours to 0700 (a link under the name is not followed, and not taken). On Windows
// the folders of the user's profile are the user's own already. False when it cannot be had.
bool makePrivateDirectory(const std::string& dir);

// The broken-down local time of `t`; false when the system cannot give it.
bool localCalendarTime(std::time_t t, std::tm& out);

} // namespace corvana::platform
