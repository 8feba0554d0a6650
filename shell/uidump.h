#pragma once
// A read-out of the windows for the end-to-end test, which drives the program by mouse and
// keyboard and needs to see what a person would read on the screen. Only the test twin
// pcorvanabrowser_uidump holds it (CMake option CORVANA_UI_DUMP); off unless the variable
// CORVANA_UI_DUMP names a file: then each SIGUSR1 writes the windows' controls there (name,
// visibility, screen rectangle, text as shown, so a masked field masked), replaced
// atomically, mode 0600, numbered by a "seq" line. The browser's address comes without the
// passcode.

namespace corvana::ui {

// Writes the first read-out (seq 0) at once, so the driver knows it may signal.
void InstallUiDump();

} // namespace corvana::ui
