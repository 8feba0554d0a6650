#pragma once
// The device info window: what a connected remote is programmed as.

#include <QDialog>

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};
