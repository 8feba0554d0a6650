// The main window and the login window against a fake browser.
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

#include "info/CorvanaBrowserPellquinInfo.h"
#include "platform/sockets.h"
#include "platform/sysio.h"
#include "shell/CorvanaBrowserLogin.h"
#include "shell/application.h"
#include "shell/appstate.h"
#include "shell/corvanabrowser.h"
#include "shell/termination.h"
#include "tests/shell/modalwatch.h"
#include "tests/support/fakebrowser.h"
#include "tests/support/scratchdir.h"
#include "util/registry.h"
#include "util/settings.h"
#include "widgets/messages.h"
#include "wizard/CorvanaBrowserPellquin.h"

using namespace corvana;
using test::FakeBrowser;
using test::ModalWatch;

namespace {

const char* const kHost = "portal.test:8080";

std::string stored(const char* name) {
    std::string v;
    RegReadString(settings::kCredentialsKey, name, v, HKEY_CURRENT_USER);
    return v;
}

void store(const char* name, const std::string& value) {
    RegWriteString(settings::kCredentialsKey, name, value, HKEY_CURRENT_USER);
}

class Shell : public ::testing::Test {
protected:
    test::TempDir home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", home.path()};
    test::ScopedEnv portal{"CORVANA_PORTAL_HOST_INT", kHost};
    std::vector<ui::MessageRecord> boxes;
    FakeBrowser* fake = nullptr;

    void SetUp() override {
        ui::setMessageHook([this](const ui::MessageRecord& r) { boxes.push_back(r); });
        LoginEditMode = 0;
        fake = new FakeBrowser;
        Form4 = new TForm4(std::unique_ptr<TWebBrowser>(fake));
        Form1 = new TForm1();
        Form2 = new TForm2();
        Form3 = new TForm3();
    }
    void TearDown() override {
        platform::setFaultHook(nullptr);
        DestroyWindowSet();
        ui::setMessageHook(nullptr);
        LoginEditMode = 0;
    }

    void storeAll(const std::string& id, const std::string& code, const std::string& lang) {
        store(settings::kUserIdValue, id);
        store(settings::kPasscodeValue, code);
        store(settings::kLanguageValue, lang);
    }

    // A main window whose show step has not run yet.
    void freshMainWindow() {
        delete Form4;
        fake = new FakeBrowser;
        Form4 = new TForm4(std::unique_ptr<TWebBrowser>(fake));
    }

    static QString address(const std::string& tail) {
        return QString::fromStdString("http://" + std::string(kHost) + "/Login.aspx?" + tail);
    }
};

// --- main window -----------------------------------------------------------------------

TEST_F(Shell, MainWindowLayout) {
    EXPECT_EQ(Form4->windowTitle(), "Corvana Halvern GmbH");
    EXPECT_EQ(Form4->AdvPanel1->height(), 33);
    EXPECT_FALSE(Form4->AdvToolBar1->isFloatable());
    EXPECT_FALSE(Form4->AdvToolBar1->isMovable());
    EXPECT_EQ(Form4->centralWidget(), fake->widget());

    struct Row {
        QToolButton* button;
        int image;
        const char* hint;
    } rows[] = {
        {Form4->AdvToolBarButton5, 4, "Zurueck / Back"},
        {Form4->AdvToolBarButton2, 1, "Vor / Forward"},
        {Form4->AdvToolBarButton3, 2, "Aktualisieren / Refresh"},
        {Form4->AdvToolBarButton4, 3, "Drucken / Print"},
        {Form4->AdvToolBarButton8, 7, ""},
        {Form4->AdvToolBarButton7, 6, "Corvana Pellquin Info"},
        {Form4->AdvToolBarButton1, 0, "Schliessen / Close"},
    };
    const auto actions = Form4->AdvToolBar1->actions();
    ASSERT_EQ(actions.size(), 7);
    for (int i = 0; i < 7; ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(r.hint);
        EXPECT_EQ(Form4->AdvToolBar1->widgetForAction(actions[i]), r.button) << "place " << i;
        EXPECT_EQ(r.button->toolTip(), QString::fromUtf8(r.hint));
        EXPECT_EQ(r.button->size(), QSize(24, 31));
        EXPECT_EQ(r.button->icon().pixmap(16, 16).toImage(),
                  Form4->ImageList1[r.image].pixmap(16, 16).toImage());
    }
    // eight different pictures, each covering a good part of its square
    for (int i = 0; i < 8; ++i) {
        const QImage img = Form4->ImageList1[i].pixmap(16, 16).toImage();
        ASSERT_EQ(img.size(), QSize(16, 16));
        int inked = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                inked += img.pixelColor(x, y).alpha() > 0;
        EXPECT_GT(inked, 40) << "image " << i << " is (nearly) blank";
        for (int j = 0; j < i; ++j)
            EXPECT_NE(img, Form4->ImageList1[j].pixmap(16, 16).toImage()) << i << " vs " << j;
    }
    ASSERT_EQ(Form4->StatusPanels.size(), 2u);
    for (QLabel* panel : Form4->StatusPanels) {
        EXPECT_EQ(panel->parentWidget(), Form4->StatusBar1);
        EXPECT_EQ(panel->width(), 50);
    }
    EXPECT_EQ(Form4->statusBar(), Form4->StatusBar1);
}

TEST_F(Shell, ShowStepWithAllValuesStoredLogsInAtOnce) {
    storeAll("u1", "p1", "EN");
    LoginEditMode = 7;
    ModalWatch login(Form3);
    Form4->show();
    EXPECT_EQ(login.opened, 0);
    ASSERT_EQ(fake->navigated.size(), 1u);
    EXPECT_EQ(fake->navigated[0], address("SPK=EN&userid=u1&passcode=p1"));
    EXPECT_EQ(LoginEditMode, 0);
    EXPECT_TRUE(Form4->isVisible());
    // the test program carries no version resource
    EXPECT_EQ(Form4->StatusPanels[0]->text(), "Nix eingetragen");
    EXPECT_EQ(Form4->StatusPanels[1]->text(), "");
    // the window fills the work area without being maximised
    EXPECT_EQ(Form4->frameGeometry(), Form4->screen()->availableGeometry());
    EXPECT_FALSE(Form4->isMaximized());
    // showing it again (after a hide) does not run the show step twice
    Form4->hide();
    Form4->show();
    EXPECT_EQ(fake->navigated.size(), 1u);
}

TEST_F(Shell, ShowStepWithAValueMissingOrEmptyAsksFirst) {
    struct Row {
        const char* name;
        std::optional<std::string> id, code, lang;
    } rows[] = {
        {"nothing stored", {}, {}, {}},      {"id missing", {}, "p", "DE"},
        {"passcode missing", "u", {}, "DE"}, {"language missing", "u", "p", {}},
        {"id empty", "", "p", "DE"},         {"passcode empty", "u", "", "DE"},
        {"language empty", "u", "p", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QFile::remove(QString::fromStdString(home.path() + "/corvana/hkcu.reg"));
        freshMainWindow();
        if (r.id)
            store(settings::kUserIdValue, *r.id);
        if (r.code)
            store(settings::kPasscodeValue, *r.code);
        if (r.lang)
            store(settings::kLanguageValue, *r.lang);
        bool mainVisible = true;
        QLineEdit::EchoMode echo = QLineEdit::Password;
        int editModeSeen = -1;
        ModalWatch login(Form3, [&] {
            mainVisible = Form4->isVisible();
            echo = Form3->Edit2->echoMode();
            editModeSeen = LoginEditMode;
        });
        Form4->show();
        EXPECT_EQ(login.openedModal, 1);
        EXPECT_FALSE(mainVisible) << "the main window came up before the login window";
        EXPECT_EQ(echo, QLineEdit::Normal) << "not in first-start mode";
        EXPECT_EQ(editModeSeen, 0);
        EXPECT_TRUE(Form4->isVisible()) << "closing the login window must bring up the main one";
        EXPECT_TRUE(fake->navigated.empty()) << "closed without saving: nowhere to go";
        EXPECT_TRUE(boxes.empty());
    }
}

TEST_F(Shell, ErrorInShowStepIsShownAndWindowComesUpAnyway) {
    storeAll("u", "p", "DE");
    struct Throwing : FakeBrowser {
        void Navigate(const QString&) override { throw EBrowserError("Navigation abgelehnt"); }
    };
    delete Form4;
    Form4 = new TForm4(std::make_unique<Throwing>());
    Form4->show();
    EXPECT_TRUE(Form4->isVisible());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Navigation abgelehnt.");
    EXPECT_EQ(boxes[0].icon, ui::MsgIcon::Stop);
}

TEST_F(Shell, OrderPageOpensTheWizard) {
    struct Row {
        const char* url;
        bool topLevel;
        bool opens;
    } rows[] = {
        {"http://h/(S(x))/DownloadFB.aspx?a=QYX12345-PQ&FB=02", true, true},
        {"xDownloadFB", true, true},                    // position 2
        {"DownloadFB.aspx?a=QYX12345-PQ", true, false}, // position 1
        {"http://h/downloadfb.aspx?a=QYX12345-PQ", true, false},
        {"http://h/DOWNLOADFB.aspx", true, false},
        {"http://h/Download_FB.aspx", true, false},
        {"", true, false},
        {"http://h/frame/DownloadFB.aspx", false, true}, // frames count as well
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.url);
        QString seen;
        ModalWatch wizard(Form1, [&] { seen = Form4->WebBrowser1->LocationURL(); });
        fake->complete(QString::fromUtf8(r.url), r.topLevel);
        EXPECT_EQ(wizard.openedModal, r.opens ? 1 : 0);
        EXPECT_EQ(wizard.opened, wizard.openedModal);
        if (r.opens && r.topLevel) {
            EXPECT_EQ(seen, QString::fromUtf8(r.url)) << "address read inside the handler";
        }
    }
}

TEST_F(Shell, BackAndForwardSwallowErrors) {
    Form4->AdvToolBarButton5->click(); // empty history
    Form4->AdvToolBarButton2->click();
    EXPECT_EQ(fake->backCalls, 1);
    EXPECT_EQ(fake->forwardCalls, 1);
    EXPECT_TRUE(boxes.empty());

    fake->reach("http://h/1");
    fake->reach("http://h/2");
    Form4->AdvToolBarButton5->click();
    EXPECT_EQ(fake->location, "http://h/1");
    Form4->AdvToolBarButton5->click(); // first page: nothing more
    EXPECT_EQ(fake->location, "http://h/1");
    Form4->AdvToolBarButton2->click();
    EXPECT_EQ(fake->location, "http://h/2");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Shell, RefreshAndPrintErrorsReachTheErrorDisplay) {
    Form4->AdvToolBarButton3->click();
    Form4->AdvToolBarButton4->click();
    EXPECT_EQ(fake->refreshCalls, 1);
    ASSERT_EQ(fake->execCalls.size(), 1u);
    EXPECT_EQ(fake->execCalls[0], std::make_pair(6, 1));
    EXPECT_TRUE(boxes.empty());

    fake->refreshError = std::make_exception_ptr(EBrowserError("Unbekannter Fehler"));
    fake->execError = std::make_exception_ptr(EBrowserError("OLE-Fehler 80040101"));
    Form4->AdvToolBarButton3->click();
    Form4->AdvToolBarButton4->click();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Unbekannter Fehler.");
    EXPECT_EQ(boxes[1].text, "OLE-Fehler 80040101.");
    EXPECT_EQ(boxes[1].icon, ui::MsgIcon::Stop);
}

TEST_F(Shell, GearOpensLoginForEditingAndTheModeStays) {
    storeAll("u1", "p1", "EN");
    Form4->show();
    EXPECT_EQ(LoginEditMode, 0);
    int modeSeen = -1;
    ModalWatch login(Form3, [&] { modeSeen = LoginEditMode; });
    Form4->AdvToolBarButton8->click();
    EXPECT_EQ(login.openedModal, 1);
    EXPECT_EQ(modeSeen, 1);
    EXPECT_EQ(LoginEditMode, 1);
    fake->reach("http://h/other");
    Form4->AdvToolBarButton8->click();
    EXPECT_EQ(login.openedModal, 2);
    EXPECT_EQ(LoginEditMode, 1);
}

TEST_F(Shell, InfoButtonOpensDeviceInfoAndDoorClosesTheWindow) {
    storeAll("u", "p", "DE");
    Form4->show();
    ModalWatch info(Form2);
    Form4->AdvToolBarButton7->click();
    EXPECT_EQ(info.openedModal, 1);
    Form4->AdvToolBarButton1->click();
    EXPECT_FALSE(Form4->isVisible());
}

// A termination signal while the first-start login window holds the main window's show step
// ends the tool: the main loop that comes after it does not start. (Should it start, the
// watchdog ends it with 99.)
TEST_F(Shell, TerminationSignalDuringTheFirstStartLoginEndsTheTool) {
    DestroyWindowSet();
    setBrowserFactory([] { return std::make_unique<FakeBrowser>(); });
    QObject context;
    bool loginWasUp = false;
    QTimer poll(&context);
    QObject::connect(&poll, &QTimer::timeout, &context, [&] {
        if (!loginWasUp && Form3 && QApplication::activeModalWidget() == Form3) {
            loginWasUp = true;
            ::raise(SIGTERM);
        }
    });
    poll.start(20);
    QTimer::singleShot(5000, &context, [] { QCoreApplication::exit(99); });
    const int rc = RunWindowSet(*qApp);
    platform::clearCancelAll();
    ui::ClearTerminationRequest();
    setBrowserFactory(nullptr);
    EXPECT_TRUE(loginWasUp);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(Form4, nullptr) << "the window set is gone";
}

// --- login window ----------------------------------------------------------------------

TEST_F(Shell, LoginWindowControls) {
    EXPECT_EQ(Form3->windowTitle(), "Corvana Halvern Login");
    EXPECT_EQ(Form3->size(), QSize(266, 251));
    struct Row {
        QWidget* w;
        int top, width;
    } rows[] = {{Form3->Label1, 16, -1},   {Form3->Edit1, 32, 193},  {Form3->Label2, 64, -1},
                {Form3->Edit2, 80, 89},    {Form3->Label5, 112, -1}, {Form3->ComboBox1, 128, 145},
                {Form3->Button1, 168, 193}};
    for (const Row& r : rows) {
        EXPECT_EQ(r.w->x(), 32);
        EXPECT_EQ(r.w->y(), r.top);
        if (r.width > 0) {
            EXPECT_EQ(r.w->width(), r.width);
        }
    }
    EXPECT_EQ(Form3->Button1->height(), 25);
    EXPECT_EQ(Form3->Label1->text(), "User-ID");
    EXPECT_EQ(Form3->Label2->text(), "Password");
    EXPECT_EQ(Form3->Label5->text(), "Sprache/ Language");
    EXPECT_EQ(Form3->Button1->text(), "Speichern / Save");
    ASSERT_EQ(Form3->ComboBox1->count(), 2);
    EXPECT_EQ(Form3->ComboBox1->itemText(0), "Deutsch");
    EXPECT_EQ(Form3->ComboBox1->itemText(1), "English");
    EXPECT_EQ(Form3->ComboBox1->currentText(), "Deutsch");
    EXPECT_TRUE(Form3->ComboBox1->isEditable());

    // tab order: Edit1, Edit2, Button1, ComboBox1
    std::vector<QWidget*> order;
    const std::vector<QWidget*> ours{Form3->Edit1, Form3->Edit2, Form3->Button1, Form3->ComboBox1};
    QWidget* w = Form3->Edit1;
    for (int guard = 0; guard < 50 && order.size() < ours.size();
         ++guard, w = w->nextInFocusChain()) {
        for (QWidget* c : ours)
            if ((w == c || (c == Form3->ComboBox1 && w->parentWidget() == c)) &&
                std::find(order.begin(), order.end(), c) == order.end())
                order.push_back(c);
    }
    EXPECT_EQ(order, ours);
}

TEST_F(Shell, LanguageBoxCompletesIgnoringCase) {
    Form3->show();
    Form3->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form3));
    QLineEdit* edit = Form3->ComboBox1->lineEdit();
    edit->setFocus();
    edit->clear();
    // the typed letters stay as typed, the rest of the item is completed and selected
    QTest::keyClicks(edit, "en");
    EXPECT_EQ(Form3->ComboBox1->currentText(), "english");
    EXPECT_EQ(edit->selectedText(), "glish");
    edit->clear();
    QTest::keyClicks(edit, "DEU");
    EXPECT_EQ(Form3->ComboBox1->currentText(), "DEUtsch");
    edit->clear();
    QTest::keyClicks(edit, "Fr");
    EXPECT_EQ(Form3->ComboBox1->currentText(), "Fr");
    Form3->hide();
}

TEST_F(Shell, SaveStoresSendsAndCloses) {
    struct Row {
        const char* id;
        const char* code;
        const char* box;  // text of the language box
        const char* lang; // stored and sent
    } rows[] = {
        {"u1", "p1", "Deutsch", "DE"},
        {"u1", "p1", "English", "EN"},
        {"", "", "Deutsch", "DE"},            // empty fields go out as they are
        {"a&b=c", "#x+y z", "English", "EN"}, // nothing is escaped
        {" lead", "trail ", "Deutsch", "DE"}, // nor trimmed
        {"u", "p", "deutsch", "deutsch"},     // other letter case: not an item
        {"u", "p", "ENGLISH", "ENGLISH"},
        {"u", "p", "", ""},
        {"u", "p", "Nederlands", "Nederlands"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.id) + "|" + r.code + "|" + r.box);
        fake->navigated.clear();
        Form3->show();
        Form3->Edit1->setText(QString::fromUtf8(r.id));
        Form3->Edit2->setText(QString::fromUtf8(r.code));
        Form3->ComboBox1->setEditText(QString::fromUtf8(r.box));
        Form3->Button1->click();
        EXPECT_TRUE(boxes.empty());
        EXPECT_FALSE(Form3->isVisible());
        EXPECT_EQ(stored(settings::kUserIdValue), r.id);
        EXPECT_EQ(stored(settings::kPasscodeValue), r.code);
        EXPECT_EQ(stored(settings::kLanguageValue), r.lang);
        ASSERT_EQ(fake->navigated.size(), 1u);
        EXPECT_EQ(fake->navigated[0], address(std::string("SPK=") + r.lang + "&userid=" + r.id +
                                              "&passcode=" + r.code));
    }
}

// Real key events, as a person types: what is stored is exactly what the fields show when
// the save happens, whichever way it is started, and the language box's completion (which
// ignores letter case) never rewrites a text into an item's spelling.
class LoginKeys : public Shell {
protected:
    void SetUp() override {
        Shell::SetUp();
        Form3->show();
        Form3->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form3));
    }
    void TearDown() override {
        Form3->hide();
        Shell::TearDown();
    }
    // Replaces a field's text by typing.
    static void type(QWidget* field, const char* text) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    QLineEdit* box() const { return Form3->ComboBox1->lineEdit(); }
};

TEST_F(LoginKeys, EnterInEachFieldSavesExactlyWhatIsShown) {
    struct Row {
        const char* name;
        const char* language;         // typed into the box
        std::function<void()> finish; // how the user ends
        const char* stored;           // the language stored and sent
    };
    const std::vector<Row> rows{
        {"Enter in the user id", "english", [] { QTest::keyClick(Form3->Edit1, Qt::Key_Return); },
         "english"},
        {"Enter in the passcode", "English", [] { QTest::keyClick(Form3->Edit2, Qt::Key_Enter); },
         "EN"},
        {"Enter in the box", "english", [this] { QTest::keyClick(box(), Qt::Key_Return); },
         "english"},
        {"Enter on a completion", "en", [this] { QTest::keyClick(box(), Qt::Key_Return); },
         "english"},
        {"Enter after the other case of the first item", "DEUTSCH",
         [this] { QTest::keyClick(box(), Qt::Key_Return); }, "DEUTSCH"},
        {"Tab out of the box, Enter on the button", "english",
         [this] {
             QTest::keyClick(box(), Qt::Key_Tab);
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
         },
         "english"},
        {"the mouse on the button", "english",
         [] { QTest::mouseClick(Form3->Button1, Qt::LeftButton); }, "english"},
        {"an item chosen with the arrow key", "Deutsch",
         [this] {
             QTest::keyClick(box(), Qt::Key_Down);
             QTest::keyClick(box(), Qt::Key_Return);
         },
         "EN"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        fake->navigated.clear();
        if (!Form3->isVisible()) {
            Form3->show();
            Form3->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(Form3));
        }
        Form3->ComboBox1->setCurrentIndex(0);
        type(Form3->Edit1, "user 1");
        type(Form3->Edit2, "p&ss");
        type(box(), r.language);
        r.finish();
        EXPECT_FALSE(Form3->isVisible());
        EXPECT_EQ(stored(settings::kUserIdValue), "user 1");
        EXPECT_EQ(stored(settings::kPasscodeValue), "p&ss");
        EXPECT_EQ(stored(settings::kLanguageValue), r.stored);
        ASSERT_EQ(fake->navigated.size(), 1u);
        EXPECT_EQ(fake->navigated[0],
                  address(std::string("SPK=") + r.stored + "&userid=user 1&passcode=p&ss"));
    }
}

TEST_F(LoginKeys, EscapeAndTheCloseBoxStoreNothing) {
    // first start: Escape after typing in every field
    type(Form3->Edit1, "someone");
    type(Form3->Edit2, "secret");
    type(box(), "English");
    QTest::keyClick(box(), Qt::Key_Escape);
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(stored(settings::kUserIdValue), "");
    EXPECT_EQ(stored(settings::kLanguageValue), "");
    EXPECT_TRUE(fake->navigated.empty());

    // edit mode: edits, then the close box; the next showing brings the stored values back
    storeAll("old-id", "old-code", "DE");
    LoginEditMode = 1;
    Form3->show();
    type(Form3->Edit1, "new-id");
    type(Form3->Edit2, "new-code");
    type(box(), "english");
    QTest::keyClick(box(), Qt::Key_Tab);
    EXPECT_TRUE(Form3->close());
    EXPECT_EQ(stored(settings::kUserIdValue), "old-id");
    EXPECT_EQ(stored(settings::kPasscodeValue), "old-code");
    EXPECT_EQ(stored(settings::kLanguageValue), "DE");
    EXPECT_TRUE(fake->navigated.empty());
    Form3->show();
    EXPECT_EQ(Form3->Edit1->text(), "old-id");
    EXPECT_EQ(Form3->Edit2->text(), "old-code");
}

TEST_F(Shell, FailingWriteStopsTheSave) {
    storeAll("old-id", "old-code", "XX");
    int writes = 0;
    platform::setFaultHook([&](const char* call) {
        return std::strcmp(call, "write") == 0 && ++writes > 1 ? EIO : 0;
    });
    Form3->show();
    Form3->Edit1->setText("new-id");
    Form3->Edit2->setText("new-code");
    Form3->Button1->click();
    platform::setFaultHook(nullptr);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Fehler beim Setzen der Daten für 'corvana_browser_passcode'");
    EXPECT_EQ(boxes[0].icon, ui::MsgIcon::Stop);
    EXPECT_EQ(stored(settings::kUserIdValue), "new-id");
    EXPECT_EQ(stored(settings::kPasscodeValue), "old-code");
    EXPECT_EQ(stored(settings::kLanguageValue), "XX");
    EXPECT_TRUE(fake->navigated.empty());
    EXPECT_TRUE(Form3->isVisible()) << "the window must stay open";
    Form3->hide();
}

TEST_F(Shell, EditModeMasksAndFillsFirstStartShowsAndKeeps) {
    storeAll("stored-id", "stored-code", "EN");
    // first start: the passcode is readable and nothing is filled in or cleared
    LoginEditMode = 0;
    Form3->Edit1->setText("typed");
    Form3->show();
    EXPECT_EQ(Form3->Edit2->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(Form3->Edit1->text(), "typed");
    Form3->hide();

    // edit mode: the stored values, the passcode masked with "*"; the language box is left
    // as it was, so saving without touching it stores "DE" although "EN" is stored
    LoginEditMode = 1;
    Form3->show();
    EXPECT_EQ(Form3->Edit1->text(), "stored-id");
    EXPECT_EQ(Form3->Edit2->text(), "stored-code");
    EXPECT_EQ(Form3->Edit2->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Form3->Edit2->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                               Form3->Edit2),
              '*');
    EXPECT_EQ(Form3->ComboBox1->currentText(), "Deutsch");
    Form3->Button1->click();
    EXPECT_EQ(stored(settings::kLanguageValue), "DE");

    // the box keeps the user's last choice of this run
    Form3->show();
    Form3->ComboBox1->setCurrentIndex(1);
    Form3->hide();
    Form3->show();
    EXPECT_EQ(Form3->ComboBox1->currentText(), "English");
    Form3->hide();
}

TEST_F(Shell, EditModeWithNothingStoredShowsEmptyFieldsAndCreatesTheKey) {
    LoginEditMode = 1;
    Form3->Edit1->setText("left over");
    Form3->show();
    EXPECT_EQ(Form3->Edit1->text(), "");
    EXPECT_EQ(Form3->Edit2->text(), "");
    Form3->hide();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(home.path() + "/corvana/hkcu.reg")));
}

} // namespace
