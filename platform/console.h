#pragma once
// What a command line needs of its console: whether its error stream is a terminal (for the
// progress bar) and how wide, a handler for the user's interrupt, and the immediate exit.
// console_posix.cpp answers with isatty/TIOCGWINSZ/sigaction, console_win32.cpp with the
// console API and a console control handler.

namespace corvana::platform {

// Sets the standard streams up as the command line writes them: bytes as they are (no line-end
// translation, so a file written to standard output arrives unchanged, and output reads the
// same on every system), and a console that shows the UTF-8 of the German texts.
void setUpConsole();

// Whether standard error goes to a terminal (a console window on Windows).
bool stderrIsTerminal();
// The terminal's width in columns; 80 when it is not known.
int stderrColumns();
// Calls `handler` on an interrupt or a termination request: SIGINT and SIGTERM; on Windows
// Ctrl+C, Ctrl+Break and the closing of the console. The handler runs as a signal handler on
// POSIX and on a thread of the system's on Windows, so it may only touch atomics, call
// platform::cancelAll() and exitNow().
void onInterrupt(void (*handler)());
// Ends the process at once with `code`, without running destructors or flushing streams.
[[noreturn]] void exitNow(int code);

} // namespace corvana::platform
