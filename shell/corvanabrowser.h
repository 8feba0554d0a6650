#pragma once
// The main window: a browser on the dealer's portal.

#include <QMainWindow>

class TForm4 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
};
