#pragma once
// The private temporary directory and the one safe way to create a file in it.
//
// /tmp is shared by every user of the machine, and the code file is downloaded under a fixed
// name. Left there, another user could plant a link under that name and have our download
// written through it. So the tool keeps its temporary files in a directory only the user can
// enter, and creates them without following links.

#include <string>

namespace corvana::platform {

// $TMPDIR (when set and not empty), else /tmp, without a trailing "/".
std::string tempBase();

// The user's private temporary directory, <tempBase>/corvana-<uid>: a real directory (not a
// link), owned by the user, mode 0700 (a wider mode is narrowed). Created when absent, and
// checked again at every call, so a directory removed by a cleaner comes back. When that
// name is held by something we must not use (another user's directory, a link, a file), a
// fresh private directory <tempBase>/corvana-<uid>-XXXXXX serves this process instead.
// Returns the path without a trailing "/", or "" with errno set.
std::string privateTempDirectory();

// The directory the tool's temporary files go into, ending in the platform's separator: on
// POSIX the private directory above and "/"; on Windows the user's temporary directory as
// GetTempPathA reports it, ending in "\" (it is the user's own there already). "" with
// errno set when there is none.
std::string userTempDirectory();

// Opens `path` for writing, as the code-file download needs it: created with mode 0600
// when absent, emptied when present. A symbolic link in the last component is never
// followed (ELOOP), and only a regular file is taken: a directory, FIFO or device fails
// (EISDIR, ENXIO or EINVAL) without blocking and without being truncated. Returns a
// close-on-exec descriptor for platform::write/platform::close, or -1 with errno set.
int createFileNoFollow(const std::string& path);

} // namespace corvana::platform
