#pragma once
// The login window: user id, passcode and language, stored once and sent to the portal as
// the query of its login address.

#include <QDialog>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvana {

// "http://<international portal host>/Login.aspx?SPK=<language>&userid=<id>&passcode=<code>",
// put together as it is: nothing is escaped.
std::string LoginAddress(const std::string& language, const std::string& userId,
                         const std::string& passcode);

} // namespace corvana

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1; // user id
    QLabel* Label2;
    QLineEdit* Edit2; // passcode
    QLabel* Label5;
    QComboBox* ComboBox1; // language
    QPushButton* Button1; // save

    // Show step: edit mode (LoginEditMode 1) masks the passcode and fills both fields from
    // the store; first-start mode shows the passcode as typed and touches nothing else.
    void FormShow();
    // Save step: store the three values, log in with them, close.
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
