#pragma once

#include <QApplication>

namespace corvana {

// The application object. Its notify() is the last safety net of the default error
// display: handlers of ours run through ui::guarded, but nothing may escape into Qt.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Creates the window set in its fixed order: Form4 (the main window), Form1, Form2, Form3.
void CreateWindowSet();
// Destroys the window set, last created first.
void DestroyWindowSet();

} // namespace corvana
