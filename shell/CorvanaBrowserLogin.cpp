#include "shell/CorvanaBrowserLogin.h"

#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>

#include "shell/appstate.h"
#include "shell/browser.h"
#include "shell/corvanabrowser.h"
#include "util/registry.h"
#include "util/settings.h"
#include "widgets/messages.h"

namespace corvana {

std::string LoginAddress(const std::string& language, const std::string& userId,
                         const std::string& passcode) {
    return "http://" + settings::portalHostInternational() + "/Login.aspx?SPK=" + language +
           "&userid=" + userId + "&passcode=" + passcode;
}

} // namespace corvana

namespace {

using namespace corvana;

// The passcode field masks with "*", not with the style's own dot, and without showing the
// last typed character first.
class AsteriskPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

} // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Corvana Halvern Login"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(266, 251);
    move(378, 225);

    Label1 = new QLabel(QStringLiteral("User-ID"), this);
    Label1->setGeometry(32, 16, 193, 13);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(32, 32, 193, 21);
    Label2 = new QLabel(QStringLiteral("Password"), this);
    Label2->setGeometry(32, 64, 193, 13);
    Edit2 = new QLineEdit(this);
    Edit2->setGeometry(32, 80, 89, 21);
    auto* mask = new AsteriskPasswordStyle();
    mask->setParent(Edit2);
    Edit2->setStyle(mask);
    Edit2->setEchoMode(QLineEdit::Password);
    Label5 = new QLabel(QStringLiteral("Sprache/ Language"), this);
    Label5->setGeometry(32, 112, 193, 13);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setGeometry(32, 128, 145, 21);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({QStringLiteral("Deutsch"), QStringLiteral("English")});
    ComboBox1->completer()->setCaseSensitivity(Qt::CaseInsensitive);
    ComboBox1->completer()->setCompletionMode(QCompleter::InlineCompletion);
    ComboBox1->setCurrentIndex(0);
    Button1 = new QPushButton(QStringLiteral("Speichern / Save"), this);
    Button1->setGeometry(32, 168, 193, 25);

    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);
    Label5->setBuddy(ComboBox1);
    // The save button comes before the language box.
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Button1);
    setTabOrder(Button1, ComboBox1);

    connect(Button1, &QPushButton::clicked, this,
            [this] { ui::guarded([this] { Button1Click(); }); });
    ComboBox1->installEventFilter(this);
    ComboBox1->lineEdit()->installEventFilter(this);
}

// The language box, left to itself, replaces a text that matches an item in other letter case
// ("english") by the item when its edit is finished (Enter, or the focus leaving it). What is
// stored must be what was typed, so the box never hears of the edit being finished.
bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    QLineEdit* edit = ComboBox1->lineEdit();
    if (watched != edit && watched != ComboBox1)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Enter saves, as in the other fields.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Button1->click();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        const QSignalBlocker quiet(edit);
        static_cast<QObject*>(watched)->event(event);
        return true;
    }
    return false;
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ui::guarded([this] { FormShow(); });
}

void TForm3::FormShow() {
    if (LoginEditMode == 1) {
        Edit2->setEchoMode(QLineEdit::Password);
        std::string userId, passcode;
        RegReadString(settings::kCredentialsKey, settings::kUserIdValue, userId, HKEY_CURRENT_USER);
        RegReadString(settings::kCredentialsKey, settings::kPasscodeValue, passcode,
                      HKEY_CURRENT_USER);
        Edit1->setText(wideText(userId));
        Edit2->setText(wideText(passcode));
    } else {
        Edit2->setEchoMode(QLineEdit::Normal);
    }
}

void TForm3::Button1Click() {
    const std::string userId = narrowText(Edit1->text());
    const std::string passcode = narrowText(Edit2->text());
    std::string language = narrowText(ComboBox1->currentText());
    if (language == "Deutsch")
        language = "DE";
    else if (language == "English")
        language = "EN";
    // A failing write raises and ends the step here: nothing after it is stored or sent.
    RegWriteString(settings::kCredentialsKey, settings::kUserIdValue, userId, HKEY_CURRENT_USER);
    RegWriteString(settings::kCredentialsKey, settings::kPasscodeValue, passcode,
                   HKEY_CURRENT_USER);
    RegWriteString(settings::kCredentialsKey, settings::kLanguageValue, language,
                   HKEY_CURRENT_USER);
    if (Form4 && Form4->WebBrowser1)
        Form4->WebBrowser1->Navigate(wideText(LoginAddress(language, userId, passcode)));
    close();
}
