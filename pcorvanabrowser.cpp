// The application entry: the window set in its fixed order, then the message loop.
#include "shell/application.h"
#include "shell/appstate.h"
#include "shell/corvanabrowser.h"

int main(int argc, char** argv) {
    corvana::TApplication app(argc, argv);
    corvana::CreateWindowSet();
    Form4->show(); // its show step runs before it reaches the screen
    const int rc = app.exec();
    corvana::DestroyWindowSet();
    return rc;
}
