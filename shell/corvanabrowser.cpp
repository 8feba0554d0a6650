#include "shell/corvanabrowser.h"

#include <QApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QSvgRenderer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include "info/CorvanaBrowserPellquinInfo.h"
#include "shell/CorvanaBrowserLogin.h"
#include "shell/appstate.h"
#include "util/registry.h"
#include "util/settings.h"
#include "util/textpos.h"
#include "util/version.h"
#include "widgets/messages.h"
#include "wizard/CorvanaBrowserPellquin.h"

static void initShellResources() {
    Q_INIT_RESOURCE(shell);
}

namespace {

using namespace corvana;

// The system colours the panel's gradient runs between (the platform's defaults for the
// active caption's gradient colour and the active caption colour).
const QColor kGradientActiveCaption(0xB9, 0xD1, 0xEA);
const QColor kActiveCaption(0x99, 0xB4, 0xD1);

class GradientPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, kGradientActiveCaption);
        g.setColorAt(1, kActiveCaption);
        p.fillRect(rect(), g);
    }
};

QIcon drawImage(const char* name) {
    QSvgRenderer svg(QStringLiteral(":/shell/images/%1.svg").arg(QLatin1String(name)));
    QIcon icon;
    for (int side : {16, 32}) {
        QPixmap pm(side, side);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        svg.render(&p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

TForm4::TForm4(QWidget* parent) : TForm4(createBrowser(), parent) {}

TForm4::TForm4(std::unique_ptr<TWebBrowser> browser, QWidget* parent)
    : QMainWindow(parent), browser_(std::move(browser)) {
    initShellResources();
    setWindowTitle(QStringLiteral("Corvana Halvern GmbH"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    resize(738, 705);

    static const char* const images[8] = {"door",       "arrow_right", "refresh", "printer",
                                          "arrow_left", "logo",        "info",    "gear"};
    for (int i = 0; i < 8; ++i)
        ImageList1[i] = drawImage(images[i]);
    setWindowIcon(ImageList1[5]);

    AdvPanel1 = new GradientPanel(this);
    AdvPanel1->setObjectName(QStringLiteral("AdvPanel1"));
    AdvPanel1->setFixedHeight(33);
    AdvToolBar1 = new QToolBar(AdvPanel1);
    AdvToolBar1->setObjectName(QStringLiteral("AdvToolBar1"));
    AdvToolBar1->setFloatable(false);
    AdvToolBar1->setMovable(false);
    AdvToolBar1->setIconSize(QSize(16, 16));
    AdvToolBar1->setContentsMargins(0, 0, 0, 0);
    // Office look: flat buttons on the panel's gradient, a warm highlight under the mouse.
    AdvToolBar1->setStyleSheet(QStringLiteral(
        "QToolBar { background: transparent; border: none; spacing: 0px; padding: 0px; }"
        "QToolButton { border: 1px solid transparent; border-radius: 2px; }"
        "QToolButton:hover { background: #ffe7a2; border-color: #ffbd69; }"
        "QToolButton:pressed { background: #fcc26e; border-color: #fb8c3c; }"));
    AdvToolBar1->move(1, 1);

    AdvToolBarButton5 = addButton(4, "Zurueck / Back", &TForm4::AdvToolBarButton5Click);
    AdvToolBarButton2 = addButton(1, "Vor / Forward", &TForm4::AdvToolBarButton2Click);
    AdvToolBarButton3 = addButton(2, "Aktualisieren / Refresh", &TForm4::AdvToolBarButton3Click);
    AdvToolBarButton4 = addButton(3, "Drucken / Print", &TForm4::AdvToolBarButton4Click);
    AdvToolBarButton8 = addButton(7, nullptr, &TForm4::AdvToolBarButton8Click);
    AdvToolBarButton7 = addButton(6, "Corvana Pellquin Info", &TForm4::AdvToolBarButton7Click);
    AdvToolBarButton1 = addButton(0, "Schliessen / Close", &TForm4::AdvToolBarButton1Click);
    AdvToolBarButton5->setObjectName(QStringLiteral("AdvToolBarButton5"));
    AdvToolBarButton2->setObjectName(QStringLiteral("AdvToolBarButton2"));
    AdvToolBarButton3->setObjectName(QStringLiteral("AdvToolBarButton3"));
    AdvToolBarButton4->setObjectName(QStringLiteral("AdvToolBarButton4"));
    AdvToolBarButton8->setObjectName(QStringLiteral("AdvToolBarButton8"));
    AdvToolBarButton7->setObjectName(QStringLiteral("AdvToolBarButton7"));
    AdvToolBarButton1->setObjectName(QStringLiteral("AdvToolBarButton1"));
    AdvToolBar1->adjustSize();
    setMenuWidget(AdvPanel1);

    WebBrowser1 = browser_.get();
    setCentralWidget(WebBrowser1->widget());
    WebBrowser1->OnNavigateComplete2 = [this](const QString& URL, bool topLevel) {
        ui::guarded([&] { WebBrowser1NavigateComplete2(URL, topLevel); });
    };

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    for (auto& panel : StatusPanels) {
        panel = new QLabel(StatusBar1);
        panel->setFixedWidth(50);
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        StatusBar1->addWidget(panel);
    }
    setStatusBar(StatusBar1);
}

TForm4::~TForm4() {
    // The browser goes before the window's children, among them its own control.
    WebBrowser1->OnNavigateComplete2 = nullptr;
    WebBrowser1 = nullptr;
    browser_.reset();
}

QToolButton* TForm4::addButton(int image, const char* hint, void (TForm4::*handler)()) {
    auto* b = new QToolButton(AdvToolBar1);
    b->setIcon(ImageList1[image]);
    b->setFixedSize(24, 31);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    if (hint)
        b->setToolTip(QString::fromUtf8(hint));
    connect(b, &QToolButton::clicked, this,
            [this, handler] { ui::guarded([&] { (this->*handler)(); }); });
    AdvToolBar1->addWidget(b);
    return b;
}

void TForm4::setVisible(bool visible) {
    if (visible && !shownOnce_) {
        shownOnce_ = true;
        // Aligned to the screen's client area: it fills the work area without being maximised.
        if (const QScreen* s = screen()) {
            create();
            const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
            setGeometry(s->availableGeometry().marginsRemoved(frame));
        }
        // Whatever escapes the show step is shown, and the window comes up all the same.
        ui::guarded([this] { FormShow(); });
    }
    QMainWindow::setVisible(visible);
}

void TForm4::FormShow() {
    StatusPanels[0]->setText(QString::fromStdString(
        GetFileVersionString(QApplication::applicationFilePath().toStdString())));
    LoginEditMode = 0;
    std::string userId, passcode, language;
    RegReadString(settings::kCredentialsKey, settings::kUserIdValue, userId, HKEY_CURRENT_USER);
    RegReadString(settings::kCredentialsKey, settings::kPasscodeValue, passcode, HKEY_CURRENT_USER);
    RegReadString(settings::kCredentialsKey, settings::kLanguageValue, language, HKEY_CURRENT_USER);
    if (!userId.empty() && !passcode.empty() && !language.empty())
        WebBrowser1->Navigate(wideText(LoginAddress(language, userId, passcode)));
    else if (Form3)
        Form3->exec();
}

void TForm4::WebBrowser1NavigateComplete2(const QString& URL, bool /*topLevel*/) {
    const std::string address = narrowText(URL);
    if (Pos("DownloadFB", address) <= 1)
        return;
    // A second order page completing while the wizard is open (a frame of the same order,
    // say) must not try to show the open wizard modally once more.
    if (Form1 && !Form1->isVisible())
        Form1->exec();
}

void TForm4::AdvToolBarButton5Click() {
    try {
        WebBrowser1->GoBack();
    } catch (...) {
        // nothing to go back to: the button just does nothing
    }
}

void TForm4::AdvToolBarButton2Click() {
    try {
        WebBrowser1->GoForward();
    } catch (...) {
    }
}

void TForm4::AdvToolBarButton3Click() {
    WebBrowser1->Refresh();
}

void TForm4::AdvToolBarButton4Click() {
    WebBrowser1->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER);
}

void TForm4::AdvToolBarButton8Click() {
    LoginEditMode = 1;
    if (Form3)
        Form3->exec();
}

void TForm4::AdvToolBarButton7Click() {
    if (Form2)
        Form2->exec();
}

void TForm4::AdvToolBarButton1Click() {
    close();
}
