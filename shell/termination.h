#pragma once
// The system's request that the tool end (on Linux SIGTERM, SIGINT, SIGHUP; on Windows the
// console's Ctrl+C, Ctrl+Break or close when it was started from one; windows' own close
// messages reach Qt without us). A blocking network operation may hold the UI thread, so the
// request cannot wait for the event loop: every socket wait is cancelled at once, then the
// loop is told to end with exit code 0.

class QObject;

namespace corvana::ui {

// Installs the handling for the application's lifetime; `app` owns what it needs.
void InstallTerminationHandling(QObject* app);

// True once the system asked the tool to end. Telling the loop ends only the loops running
// then: a request during the main window's show step (its login window) leaves the main loop
// still to come, which must then not start.
bool TerminationRequested();
// For tests that raise the request themselves.
void ClearTerminationRequest();

} // namespace corvana::ui
