#pragma once
// A wizard with a fake portal browser behind it: Form4 holds the fake, Form1 is the window
// under test, message boxes are captured. The portal hosts point at a scripted loopback
// server and the code server at a loopback port where nothing listens, so a download that
// a test starts fails at once with the connection error instead of leaving the machine.

#include <QFile>
#include <QString>
#include <QTabBar>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "device/waitclock.h"
#include "shell/appstate.h"
#include "shell/corvanabrowser.h"
#include "tests/netsupport/httpstub.h"
#include "tests/netsupport/loopback.h"
#include "tests/support/fakebrowser.h"
#include "tests/support/scratchdir.h"
#include "tests/support/simcable.h"
#include "widgets/messages.h"
#include "wizard/CorvanaBrowserPellquin.h"

namespace corvana::test {

inline const QString kLoginPage = "http://portal.test/Login.aspx?SPK=DE&userid=u&passcode=p";
inline const QString kOrderPage =
    "http://portal.test/Corvana/(S(q1w2e3))/DownloadFB.aspx?a=QYX12345-PQ&FB=02";

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::setMessageHook([this](const ui::MessageRecord& r) { boxes.push_back(r.text); });
        setBrowserFactory([] { return std::make_unique<FakeBrowser>(); });
        Form4 = new TForm4();
        browser = FakeBrowser::of(Form4->WebBrowser1);
        browser->history = {kLoginPage, kOrderPage};
        browser->index = 1;
        browser->location = kOrderPage;
        Form1 = form = new TForm1();
    }
    void TearDown() override {
        delete Form1;
        Form1 = form = nullptr;
        delete Form4;
        Form4 = nullptr;
        setBrowserFactory(nullptr);
        ui::setMessageHook(nullptr);
        widgets::SetScreenCursor(Qt::ArrowCursor);
    }

    // The page the user sees, by sheet name.
    std::string page() const {
        return form->AdvPageControl1->ActivePage()->objectName().toStdString();
    }
    int visibleTabs() const { return form->AdvPageControl1->TabBar()->count(); }

    // The boxes other than the refused connection to the absent code server, which every
    // click of the download arrow here ends with.
    std::vector<std::string> boxesBesidesCodeServer() const {
        std::vector<std::string> rest;
        for (const auto& b : boxes)
            if (b.rfind("Socket-Fehler # 111\r\n", 0) != 0)
                rest.push_back(b);
        return rest;
    }

    // A picture folder holding only the named files of the real one.
    QString folderWith(const std::vector<const char*>& files) {
        for (const char* f : files)
            QFile::copy(QString(CORVANA_BUILD_BIN "/Bilder/") + f,
                        QString::fromStdString(dir.file(f)));
        return QString::fromStdString(dir.path());
    }

    HttpStub portal;
    ScopedEnv portalDe{"CORVANA_PORTAL_HOST_DE", portal.hostPort()};
    ScopedEnv portalInt{"CORVANA_PORTAL_HOST_INT", portal.hostPort()};
    ScopedEnv codeServer{"CORVANA_CODE_SERVER", "127.0.0.1"};
    ScopedEnv codeServerPort{"CORVANA_CODE_SERVER_PORT", std::to_string(unusedPort())};

    TForm1* form = nullptr;
    FakeBrowser* browser = nullptr;
    std::vector<std::string> boxes;
    TempDir dir;
};

// The wizard with a simulated remote of the order's device type (02) on its cable; the waits
// for its replies on a clock twenty times as fast.
class WizardSimTest : public WizardTest, protected SimCable {
protected:
    WizardSimTest() : SimCable("02") {}
    void SetUp() override {
        WizardTest::SetUp();
        form->Link.setClock(&clock);
    }

    device::ScaledClock clock{20}; // a six-second time-out in 0.3 s
};

} // namespace corvana::test
