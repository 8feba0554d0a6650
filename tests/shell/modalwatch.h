#pragma once
// Watches a window for being shown; each time, it runs an action inside the window's modal
// loop and then closes the window, so a test never blocks on exec().

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <functional>

namespace corvana::test {

class ModalWatch : public QObject {
public:
    explicit ModalWatch(QDialog* dialog, std::function<void()> act = {})
        : dialog_(dialog), act_(std::move(act)) {
        dialog_->installEventFilter(this);
    }
    ~ModalWatch() override { dialog_->removeEventFilter(this); }

    int opened = 0;      // times shown
    int openedModal = 0; // of which as the application's modal window

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == dialog_ && e->type() == QEvent::Show) {
            ++opened;
            QTimer::singleShot(0, this, [this] {
                if (QApplication::activeModalWidget() == dialog_)
                    ++openedModal;
                if (act_)
                    act_();
                if (dialog_->isVisible())
                    dialog_->close();
            });
        }
        return false;
    }

private:
    QDialog* dialog_;
    std::function<void()> act_;
};

} // namespace corvana::test
