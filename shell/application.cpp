#include "shell/application.h"

#include "device/comport.h"
#include "info/CorvanaBrowserPellquinInfo.h"
#include "shell/CorvanaBrowserLogin.h"
#include "shell/appstate.h"
#include "shell/corvanabrowser.h"
#include "shell/termination.h"
#include "widgets/messages.h"
#include "wizard/CorvanaBrowserPellquin.h"

namespace corvana {

namespace {

// Qt WebEngine shares its OpenGL contexts with the windows; that must be asked for before
// the application object exists.
int& beforeApplication(int& argc) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return argc;
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(beforeApplication(argc), argv) {
    // Port notification errors that arise outside a wait go to the default error display.
    device::ComPort::SetUncaughtErrorSink(
        [](std::exception_ptr error) { ui::guarded([&] { std::rethrow_exception(error); }); });
    ui::InstallTerminationHandling(this);
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

int RunWindowSet(QApplication& app) {
    CreateWindowSet();
    Form4->show(); // its show step runs before it reaches the screen
    const int rc = ui::TerminationRequested() ? 0 : app.exec();
    DestroyWindowSet();
    return rc;
}

} // namespace corvana
