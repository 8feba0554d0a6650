#pragma once
// The login window: user id, passcode and language, stored once.

#include <QDialog>

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
};
