#include "platform/console.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace corvana::platform {
namespace {

void (*interruptHandler)() = nullptr;

BOOL WINAPI onControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        if (interruptHandler)
            interruptHandler();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void setUpConsole() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
}

bool stderrIsTerminal() {
    // _isatty is true for the NUL device too; only a console has a screen buffer.
    CONSOLE_SCREEN_BUFFER_INFO info;
    return ::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) != 0;
}

int stderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 0)
            return width;
    }
    return 80;
}

void onInterrupt(void (*handler)()) {
    interruptHandler = handler;
    ::SetConsoleCtrlHandler(onControl, TRUE);
}

void exitNow(int code) {
    ::_exit(code);
}

} // namespace corvana::platform
