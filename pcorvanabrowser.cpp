// The application entry: the window set in its fixed order, then the message loop.
#include "shell/application.h"

int main(int argc, char** argv) {
    corvana::TApplication app(argc, argv);
    return corvana::RunWindowSet(app);
}
