#include "shell/CorvanaBrowserLogin.h"

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Corvana Halvern Login"));
    setFixedSize(266, 251);
    move(378, 225);
}
