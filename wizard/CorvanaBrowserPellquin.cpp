#include "wizard/CorvanaBrowserPellquin.h"

TForm1::TForm1(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Corvana Pellquin"));
    resize(477, 599);
    move(336, 112);
}
