#include "shell/corvanabrowser.h"

TForm4::TForm4(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Corvana Halvern GmbH"));
    resize(738, 705);
}
