// The device info window against the simulated remote: what it shows after each kind of
// read-out, the red no-hardware lines, the pointer, the error display.
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "device/waitclock.h"
#include "info/CorvanaBrowserPellquinInfo.h"
#include "shell/appstate.h"
#include "shell/corvanabrowser.h"
#include "tests/device/simfixture.h"
#include "tests/support/fakebrowser.h"
#include "tests/support/runlogs.h"
#include "widgets/messages.h"
#include "widgets/pictures.h"

using namespace corvana;
using namespace corvana::test;
using widgets::ScreenCursor;

namespace {

class InfoWindowTest : public SimTest {
protected:
    void SetUp() override {
        ui::setMessageHook([this](const ui::MessageRecord& r) { boxes.push_back(r); });
        Form2 = form = new TForm2();
        form->Link.setClock(&clock);
    }
    void TearDown() override {
        delete form;
        Form2 = form = nullptr;
        ui::setMessageHook(nullptr);
        widgets::SetScreenCursor(Qt::ArrowCursor);
    }

    void click() { form->AdvPictureAuslesen->Click(); }
    std::string qyx() const { return form->EditQYX->text().toStdString(); }
    std::string version() const { return form->EditVersion->text().toStdString(); }
    bool redLines() const { return !form->Label1->isHidden() && !form->Label2->isHidden(); }
    void fillFields() {
        form->EditQYX->setText("old");
        form->EditVersion->setText("old");
    }
    void replugWithoutDevice() {
        sim::FakeBridge b = tree->bridges().at(0);
        b.ttyTarget.clear();
        tree->add(b);
    }

    device::ScaledClock clock{20};
    TForm2* form = nullptr;
    std::vector<ui::MessageRecord> boxes;
};

TEST_F(InfoWindowTest, Layout) {
    EXPECT_EQ(form->windowTitle(), "Corvana Pellquin Info");
    EXPECT_EQ(form->size(), QSize(515, 307));
    EXPECT_EQ(form->pos(), QPoint(406, 337));
    EXPECT_EQ(form->AdvPanel1->geometry(), QRect(0, 0, 515, 307));
    EXPECT_EQ(form->AdvPanel1->GradientFrom, QColor(Qt::white));
    EXPECT_EQ(form->AdvPanel1->GradientTo, QColor(166, 202, 240)); // sky blue
    EXPECT_EQ(form->AdvPictureAuslesen->geometry(), QRect(368, 27, 57, 54));

    struct Row {
        widgets::TLabel* label;
        QPoint at;
        std::string text;
        bool red;
    };
    const std::vector<Row> rows = {
        {form->Label3, {16, 40}, "QYX-PQ auslesen:", false},
        {form->Label4, {16, 59}, "Read Out QYX-PQ:", false},
        {form->Label5, {16, 106}, "Angeschlossene Fernbedienung ist programmiert als:", false},
        {form->Label6, {16, 130}, "Remote Control connected is programmed as:", false},
        {form->Label7, {16, 179}, "Hardware Version:", false},
        {form->Label1, {16, 206}, "Keine Hardware angeschlossen!", true},
        {form->Label2, {16, 228}, "No Hardware connected!", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(r.label->pos(), r.at);
        EXPECT_EQ(r.label->Caption(), r.text);
        EXPECT_TRUE(r.label->font().bold());
        EXPECT_EQ(r.label->font().pixelSize(), 13);
        EXPECT_EQ(r.label->palette().color(QPalette::WindowText) == QColor(Qt::red), r.red);
        EXPECT_EQ(r.label->isHidden(), r.red); // the red lines hidden at creation
    }
    EXPECT_EQ(form->EditQYX->geometry().topLeft(), QPoint(368, 103));
    EXPECT_EQ(form->EditQYX->width(), 121);
    EXPECT_EQ(form->EditVersion->geometry().topLeft(), QPoint(368, 176));
    EXPECT_EQ(form->EditVersion->width(), 49);
    EXPECT_TRUE(form->EditQYX->isReadOnly());
    EXPECT_TRUE(form->EditVersion->isReadOnly());
    EXPECT_EQ(form->ComPort1.Port(), "COM1");
    EXPECT_FALSE(form->ComPort1.Connected());

    // the wizard's blue arrow, drawn unscaled at the button's top left
    const QImage arrow = widgets::pictures::ArrowRight();
    const QImage shown =
        form->AdvPictureAuslesen->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    int compared = 0;
    for (int y = 0; y < arrow.height(); ++y)
        for (int x = 0; x < arrow.width(); ++x)
            if (qAlpha(arrow.pixel(x, y)) == 255) {
                ASSERT_EQ(shown.pixel(x, y), arrow.pixel(x, y)) << x << "," << y;
                ++compared;
            }
    EXPECT_GT(compared, 500);
}

TEST_F(InfoWindowTest, ReadOutShowsDesignationAndHardwareVersion) {
    struct Row {
        std::string deviceType, field, designation, hardwareVersion;
    };
    const std::vector<Row> rows = {
        {"00", "007B", "QYX81123-PQ", "TV1"},
        {"02", "007B", "QYX85123-PQ", "DVD1"},
        {"00", "0FFF", "QYX814095-PQ", "TV1"},
        {"03", "000A", "QYX83010-PQ", "STB1"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.deviceType + " " + r.field);
        sim.setDeviceType(r.deviceType);
        sim.setReadOutField(r.field);
        click();
        EXPECT_EQ(qyx(), r.designation);
        EXPECT_EQ(version(), r.hardwareVersion);
        EXPECT_EQ(form->HardwareVersion, r.hardwareVersion);
        EXPECT_FALSE(redLines());
        EXPECT_FALSE(form->ComPort1.Connected());
        EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(InfoWindowTest, TypeWithoutNumberShowsOnlyItsDigit) {
    click();
    sim.setDeviceType("05");
    click();
    EXPECT_EQ(version(), "5");
    EXPECT_EQ(qyx(), "");
    EXPECT_FALSE(redLines());
}

TEST_F(InfoWindowTest, UnidentifiedRemoteLeavesFieldsEmptyWithoutMessage) {
    struct Row {
        const char* what;
        std::string deviceType;
        int silentFrom;
        size_t frames;
    };
    const std::vector<Row> rows = {
        {"every probe answered wrongly", "42", 0, 11},
        {"silent at probe 0", "00", 2, 2},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        sim.setDeviceType(r.deviceType);
        sim::Faults f;
        f.silentFrom = r.silentFrom;
        sim.setFaults(f);
        sim.clearFrames();
        fillFields();
        click();
        EXPECT_EQ(sim.frameCount(), r.frames);
        EXPECT_EQ(qyx(), "");
        EXPECT_EQ(version(), "");
        EXPECT_FALSE(redLines());
        EXPECT_TRUE(boxes.empty());
        EXPECT_FALSE(form->ComPort1.Connected());
        EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
    }
}

TEST_F(InfoWindowTest, NoHardwareShowsRedLines) {
    struct Row {
        const char* what;
        std::function<void()> arrange;
    };
    const std::vector<Row> rows = {
        {"no bridge", [this] { sim.unplug(); }},
        {"open failure", [this] { replugWithoutDevice(); }},
        {"no read-out answer",
         [this] {
             sim::Faults f;
             f.silentFrom = 1;
             sim.setFaults(f);
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        sim.plug();
        sim.setFaults({});
        r.arrange();
        fillFields();
        click();
        EXPECT_TRUE(redLines());
        EXPECT_EQ(qyx(), "");
        EXPECT_EQ(version(), "");
        EXPECT_FALSE(form->ComPort1.Connected());
        EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
        EXPECT_TRUE(boxes.empty()); // the port's own error is not shown
        // the next click hides them first
        sim.plug();
        sim.setFaults({});
        click();
        EXPECT_FALSE(redLines());
        EXPECT_EQ(qyx(), "QYX81123-PQ");
    }
}

TEST_F(InfoWindowTest, HourglassWhileWaiting) {
    sim::Faults f;
    f.silentFrom = 1;
    sim.setFaults(f);
    Qt::CursorShape during = Qt::ArrowCursor;
    QTimer::singleShot(0, form, [&] { during = ScreenCursor(); });
    click();
    EXPECT_EQ(during, Qt::WaitCursor);
    EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
}

TEST_F(InfoWindowTest, RedLinesStayWhenShownAgain) {
    sim.unplug();
    form->show();
    click();
    ASSERT_TRUE(redLines());
    form->hide();
    fillFields();
    form->show();
    EXPECT_TRUE(redLines());
    EXPECT_EQ(qyx(), "");
    EXPECT_EQ(version(), "");
    form->hide();
}

TEST_F(InfoWindowTest, ReplyWithoutPercentGoesToErrorDisplayAndKeepsPort) {
    sim::Faults f;
    f.replyFor[1] = "\x02X007B\x03";
    sim.setFaults(f);
    click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "'$\x02X00' ist kein gültiger Integerwert.");
    EXPECT_EQ(boxes[0].icon, ui::MsgIcon::Stop);
    EXPECT_TRUE(form->ComPort1.Connected());
    EXPECT_EQ(ScreenCursor(), Qt::WaitCursor);
    EXPECT_FALSE(redLines());
    // moving over the panel brings the arrow back
    form->AdvPanel1MouseMove(5, 5);
    EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
    // the next click goes on with the open port (the device could not be opened anew)
    sim.setFaults({});
    replugWithoutDevice();
    click();
    EXPECT_EQ(qyx(), "QYX81123-PQ");
    EXPECT_FALSE(form->ComPort1.Connected());
    EXPECT_EQ(boxes.size(), 1u);
}

// The cable pulled while the window waits for the remote: the port's error is shown, the
// hourglass goes, the port is closed; with the remote back the next click reads it out.
TEST_F(InfoWindowTest, RemoteVanishingMidExchangeThenComingBack) {
    for (const int frame : {1, 3}) { // the read-out, the second probe
        SCOPED_TRACE(frame);
        boxes.clear();
        auto gone = std::make_unique<ReturningRemote>("01");
        sim::Faults f;
        f.vanishAt = frame;
        gone->sim.setFaults(f);
        click();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "ReadFile function failed (win error code: 5)");
        EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
        EXPECT_FALSE(form->ComPort1.Connected());
        gone.reset();

        ReturningRemote back("01");
        back.sim.setReadOutField("0042");
        click();
        EXPECT_EQ(qyx(), "QYX82066-PQ");
        EXPECT_EQ(version(), "VCR1");
        EXPECT_FALSE(form->ComPort1.Connected());
        EXPECT_EQ(boxes.size(), 1u);
    }
}

TEST_F(InfoWindowTest, PointerOutsideInclusiveRectangleIsArrow) {
    struct Row {
        int X, Y;
        Qt::CursorShape after;
    };
    // the button is 368, 27, 57 x 54: both ends of each range count as inside
    const std::vector<Row> rows = {
        {368, 27, Qt::PointingHandCursor}, {425, 81, Qt::PointingHandCursor},
        {425, 27, Qt::PointingHandCursor}, {367, 50, Qt::ArrowCursor},
        {426, 50, Qt::ArrowCursor},        {400, 26, Qt::ArrowCursor},
        {400, 82, Qt::ArrowCursor},        {5, 5, Qt::ArrowCursor},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.X) + "," + std::to_string(r.Y));
        form->AdvPictureAuslesenMouseMove(1, 1);
        ASSERT_EQ(ScreenCursor(), Qt::PointingHandCursor);
        form->AdvPanel1MouseMove(r.X, r.Y);
        EXPECT_EQ(ScreenCursor(), r.after);
    }
}

TEST_F(InfoWindowTest, MouseMovesReachThePointerHandlers) {
    form->show();
    auto move = [](QWidget* w, QPoint at) {
        QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    };
    move(form->AdvPictureAuslesen, {10, 10});
    EXPECT_EQ(ScreenCursor(), Qt::PointingHandCursor);
    move(form->AdvPanel1, {300, 10});
    EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
    // closing the window takes the hand away, so the portal window does not keep it
    move(form->AdvPictureAuslesen, {10, 10});
    form->reject();
    EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
}

TEST_F(InfoWindowTest, MainWindowInfoButtonOpensItModally) {
    setBrowserFactory([] { return std::make_unique<FakeBrowser>(); });
    auto main = std::make_unique<TForm4>();
    form->EditQYX->setText("old");
    bool modal = false;
    std::string shownQyx = "?";
    QTimer::singleShot(0, form, [&] {
        modal = form->isVisible() && form->isModal();
        shownQyx = qyx();
        form->reject();
    });
    main->AdvToolBarButton7->click();
    EXPECT_TRUE(modal);
    EXPECT_EQ(shownQyx, ""); // emptied on showing
    EXPECT_FALSE(form->isVisible());
    main.reset();
    setBrowserFactory(nullptr);
}

// Every read-out leaves its run log: the frames and how it ended, as the window showed it.
TEST_F(InfoWindowTest, EveryReadOutLeavesItsRunLog) {
    StateFolder state;
    click();
    const LoggedRun found = state.newest();
    EXPECT_EQ(found.sent(), sim.frames());
    EXPECT_EQ(found.texts("run"), std::vector<std::string>{"read-out, info window"});
    EXPECT_EQ(found.lines.back().text, "identified: QYX81123-PQ, hardware version TV1");

    sim.unplug();
    click();
    EXPECT_EQ(state.logs().size(), 2u);
    EXPECT_EQ(state.newest().lines.back().text,
              "no hardware: Keine Hardware angeschlossen! / No Hardware connected!");
}

} // namespace
