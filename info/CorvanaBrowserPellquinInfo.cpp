#include "info/CorvanaBrowserPellquinInfo.h"

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Corvana Pellquin Info"));
    resize(515, 307);
    move(406, 337);
}
