// The application entry: the window set in its fixed order, then the message loop.
#include "shell/application.h"
#ifdef CORVANA_WITH_UI_DUMP
#include "shell/uidump.h"
#endif

int main(int argc, char** argv) {
    corvana::TApplication app(argc, argv);
#ifdef CORVANA_WITH_UI_DUMP
    corvana::ui::InstallUiDump(); // the test twin only, and only with CORVANA_UI_DUMP set
#endif
    return corvana::RunWindowSet(app);
}
