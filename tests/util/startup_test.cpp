#include <QApplication>
#include <QEvent>
#include <gtest/gtest.h>
#include <vector>

#include "info/CorvanaBrowserPellquinInfo.h"
#include "shell/CorvanaBrowserLogin.h"
#include "shell/application.h"
#include "shell/appstate.h"
#include "shell/corvanabrowser.h"
#include "util/errors.h"
#include "widgets/messages.h"
#include "wizard/CorvanaBrowserPellquin.h"

using namespace corvana;

namespace {

struct Captured {
    std::vector<ui::MessageRecord> boxes;
    Captured() {
        ui::setMessageHook([this](const ui::MessageRecord& r) { boxes.push_back(r); });
    }
    ~Captured() { ui::setMessageHook(nullptr); }
};

class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw EConvertError("'$xy' ist kein gültiger Integerwert");
        return QObject::event(e);
    }
};

} // namespace

TEST(Startup, WindowSetIsCreatedHiddenWithCaptions) {
    EXPECT_EQ(LoginEditMode, 0);
    CreateWindowSet();
    ASSERT_TRUE(Form4 && Form1 && Form2 && Form3);
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(Form4->windowTitle(), "Corvana Halvern GmbH");
    EXPECT_EQ(Form1->windowTitle(), "Corvana Pellquin");
    EXPECT_EQ(Form2->windowTitle(), "Corvana Pellquin Info");
    EXPECT_EQ(Form3->windowTitle(), "Corvana Halvern Login");
    DestroyWindowSet();
    EXPECT_EQ(Form4, nullptr);
}

TEST(ErrorDisplay, DotAppendedAfterLettersAndDigitsOnly) {
    struct Row {
        const char* text;
        const char* shown;
    } rows[] = {
        {"Fehler", "Fehler."},
        {"E/A-Fehler 5", "E/A-Fehler 5."},
        {"'$xy'", "'$xy'"},
        {"No Hardware!", "No Hardware!"},
        {"Ende.", "Ende."},
        {"", ""},
        {"Integerwert", "Integerwert."},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ui::errorDisplayText(r.text), r.shown) << r.text;
}

TEST(ErrorDisplay, UncaughtErrorShowsStopBoxAndLoopSurvives) {
    Captured cap;
    Thrower t;
    // an error escaping an event into Qt's dispatch is caught by the application object
    QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    ASSERT_EQ(cap.boxes.size(), 1u);
    EXPECT_EQ(cap.boxes[0].text, "'$xy' ist kein gültiger Integerwert.");
    EXPECT_EQ(cap.boxes[0].icon, ui::MsgIcon::Stop);
    EXPECT_EQ(cap.boxes[0].title, "test_startup");
    ui::guarded([] { throw EConvertError("x"); });
    ASSERT_EQ(cap.boxes.size(), 2u);
    EXPECT_EQ(cap.boxes[1].text, "x.");
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
