#pragma once
// The main window: a browser on the dealer's portal, with the toolbar that leads to the
// login window and the device info window. A completed navigation to an order page opens
// the programming wizard.

#include <QIcon>
#include <QMainWindow>
#include <array>
#include <memory>

#include "shell/browser.h"

class QLabel;
class QStatusBar;
class QToolBar;
class QToolButton;

class TForm4 : public QMainWindow {
    Q_OBJECT
public:
    // With the browser that corvana::createBrowser() makes (Qt WebEngine unless replaced).
    explicit TForm4(QWidget* parent = nullptr);
    // With a browser of the caller's (tests hand in a fake); the window owns it.
    explicit TForm4(std::unique_ptr<corvana::TWebBrowser> browser, QWidget* parent = nullptr);
    ~TForm4() override;

    // The first showing runs the show step before the window reaches the screen.
    void setVisible(bool visible) override;

    // Controls, by their designer names.
    QWidget* AdvPanel1;
    QToolBar* AdvToolBar1;
    QToolButton* AdvToolBarButton5; // back
    QToolButton* AdvToolBarButton2; // forward
    QToolButton* AdvToolBarButton3; // refresh
    QToolButton* AdvToolBarButton4; // print
    QToolButton* AdvToolBarButton8; // login data
    QToolButton* AdvToolBarButton7; // device info
    QToolButton* AdvToolBarButton1; // close
    corvana::TWebBrowser* WebBrowser1;
    QStatusBar* StatusBar1;
    std::array<QLabel*, 2> StatusPanels; // the status bar's two panels
    // 0 door, 1 arrow right, 2 circling arrows, 3 printer, 4 arrow left, 5 logo,
    // 6 information sign, 7 gear wheel
    std::array<QIcon, 8> ImageList1;

    // Event handlers; the toolbar and the browser call them through ui::guarded.
    void FormShow();
    void WebBrowser1NavigateComplete2(const QString& URL, bool topLevel);
    void AdvToolBarButton5Click();
    void AdvToolBarButton2Click();
    void AdvToolBarButton3Click();
    void AdvToolBarButton4Click();
    void AdvToolBarButton8Click();
    void AdvToolBarButton7Click();
    void AdvToolBarButton1Click();

private:
    QToolButton* addButton(int image, const char* hint, void (TForm4::*handler)());

    std::unique_ptr<corvana::TWebBrowser> browser_;
    bool shownOnce_ = false;
};

// The main window, one for the whole run. The only part of this folder the other windows
// reach: the login window and the wizard use its browser.
extern TForm4* Form4;
