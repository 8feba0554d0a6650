#include "shell/termination.h"

#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>

#include "platform/sockets.h"

namespace corvana::ui {
namespace {

QObject* application = nullptr;
std::atomic<bool> terminationRequested{false};

// Runs on a thread of the system's; the loop is reached through a queued call.
BOOL WINAPI onConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    terminationRequested = true;
    corvana::platform::cancelAll();
    if (application)
        QMetaObject::invokeMethod(
            application, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

void InstallTerminationHandling(QObject* app) {
    application = app;
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

bool TerminationRequested() {
    return terminationRequested;
}

void ClearTerminationRequest() {
    terminationRequested = false;
}

} // namespace corvana::ui
