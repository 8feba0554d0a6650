#pragma once
// A read-out of the windows for the end-to-end test, which drives the real executable by
// mouse and keyboard and needs to see what a person would read on the screen. Off unless
// CORVANA_UI_DUMP names a file: then each SIGUSR1 writes the windows' controls there (name,
// visibility, screen rectangle, text), replaced atomically, numbered by a "seq" line.

namespace corvana::ui {

// Writes the first read-out (seq 0) at once, so the driver knows it may signal.
void InstallUiDump();

} // namespace corvana::ui
