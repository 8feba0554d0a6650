#include "shell/application.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "device/comport.h"
#include "platform/sockets.h"

#include "info/CorvanaBrowserPellquinInfo.h"
#include "shell/CorvanaBrowserLogin.h"
#include "shell/appstate.h"
#include "shell/corvanabrowser.h"
#include "shell/messages.h"
#include "shell/uidump.h"
#include "wizard/CorvanaBrowserPellquin.h"

namespace corvana {

namespace {

// Qt WebEngine shares its OpenGL contexts with the windows; that must be asked for before
// the application object exists.
int& beforeApplication(int& argc) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return argc;
}

int terminationPipe[2] = {-1, -1};

// A blocking network operation holds the UI thread, so the termination request cannot wait
// for the event loop: cancel every socket wait at once, then let the loop end the tool.
void onTerminationSignal(int) {
    corvana::sock::cancelAll();
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(terminationPipe[1], &byte, 1);
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(beforeApplication(argc), argv) {
    // Port notification errors that arise outside a wait go to the default error display.
    device::TComPort::SetUncaughtErrorSink([](std::exception_ptr error) {
        ui::guarded([&] { std::rethrow_exception(error); });
    });
    if (::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [] {
            char buf[16];
            while (::read(terminationPipe[0], buf, sizeof buf) > 0) {
            }
            QCoreApplication::exit(0);
        });
        struct sigaction sa {};
        sa.sa_handler = onTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &sa, nullptr);
        ::sigaction(SIGINT, &sa, nullptr);
        ::sigaction(SIGHUP, &sa, nullptr);
    }
    ui::InstallUiDump(); // only with CORVANA_UI_DUMP set, for the end-to-end test
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    ui::guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void CreateWindowSet() {
    Form4 = new TForm4();
    Form1 = new TForm1();
    Form2 = new TForm2();
    Form3 = new TForm3();
}

void DestroyWindowSet() {
    delete Form3;
    Form3 = nullptr;
    delete Form2;
    Form2 = nullptr;
    delete Form1;
    Form1 = nullptr;
    delete Form4;
    Form4 = nullptr;
}

} // namespace corvana
