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

// The tool's run: the window set, the main window shown (its show step may hold its own
// loop, the first-start login window), then the message loop; the exit code.
int RunWindowSet(QApplication& app);

} // namespace corvana
