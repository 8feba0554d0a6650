#include "widgets/messages.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <stdexcept>

namespace corvana::ui {
namespace {

MessageHook& hook() {
    static MessageHook h;
    return h;
}

} // namespace

void setMessageHook(MessageHook h) {
    hook() = std::move(h);
}

std::string applicationTitle() {
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.isEmpty() && !QCoreApplication::arguments().isEmpty())
        name = QFileInfo(QCoreApplication::arguments().first()).fileName();
    const auto dot = name.indexOf('.');
    return (dot >= 0 ? name.left(dot) : name).toStdString();
}

std::string errorDisplayText(const std::string& text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        return text + ".";
    return text;
}

void MessageBox(const std::string& text, MsgIcon icon) {
    const MessageRecord rec{applicationTitle(), text, icon};
    if (hook()) {
        hook()(rec);
        return;
    }
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(rec.title));
    box.setText(QString::fromStdString(rec.text));
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void showDefaultError(const std::exception& e) {
    MessageBox(errorDisplayText(e.what()), MsgIcon::Stop);
}

} // namespace corvana::ui
