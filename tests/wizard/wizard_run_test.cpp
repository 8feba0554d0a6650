// The programming run against the simulated remote: port lookup, hardware check, prepare,
// block transfer, and the page or message of every outcome.
#include <QMetaObject>
#include <QProgressBar>
#include <algorithm>
#include <cstdio>

#include "device/waitclock.h"
#include "tests/wizard/wizardfixture.h"
#include "tools/remotesim/remotesim.h"
#include "util/errors.h"

using namespace corvana;
using namespace corvana::test;

namespace {

// A block frame as the remote expects it, built here from the cells' texts (64 of them,
// fillers included) without the device code's help.
std::string expectedBlock(int address, const std::vector<std::string>& cells, char marker) {
    char head[8];
    std::snprintf(head, sizeof head, "%04X", address);
    std::string frame = std::string("\x02!") + head;
    unsigned sum = 0x23 ^ (address >> 8) ^ (address & 0xFF);
    for (const auto& c : cells) {
        frame += c;
        sum ^= std::stoul(c, nullptr, 16);
    }
    char tail[4];
    std::snprintf(tail, sizeof tail, "%02X", sum & 0xFF);
    return frame + tail + marker + "\x03";
}

std::vector<std::string> cellsFrom(const TForm1* f, int from, int count) {
    std::vector<std::string> out;
    for (int a = from; a < from + count; ++a)
        out.emplace_back(f->Grid1.Cells(a % 16 + 1, a / 16 + 1));
    return out;
}

const std::string kCheck02("\x02$02\x03");
const std::string kPrepare("\x02#\x00\x03", 4);

class RunTest : public WizardSimTest {
protected:
    void SetUp() override {
        WizardSimTest::SetUp();
        // the order of kOrderPage on the busy download page
        form->show();
        form->AdvPictureWeiter->Click();
        form->AdvPictureDownload->Click();
        boxes.clear();
    }

    // An image from 1000 to `end` whose byte at A is (A * 7) mod 256, lower-case digits.
    void image(const std::string& end) {
        form->Grid1.Reset();
        const int last = std::stoi(end, nullptr, 16);
        for (int a = 0x1000; a <= last; ++a) {
            char cell[3];
            std::snprintf(cell, sizeof cell, "%02x", (a * 7) & 0xFF);
            form->Grid1.SetCell(a % 16 + 1, a / 16 + 1, cell);
        }
        form->se_address2 = end;
    }

    // What the download operation does with the remote once the image is loaded.
    int programme() {
        const int ok = form->OpenFernbedienung();
        if (ok == 1)
            form->SendenHEXFile();
        form->CloseConn();
        return ok;
    }

    void expectFailureVariant(const std::string& german, const std::string& english) {
        EXPECT_EQ(page(), "AdvTabSheet6");
        EXPECT_EQ(form->LabelQYX5->Caption(), german);
        EXPECT_EQ(form->LabelFB5->Caption(), english);
        EXPECT_EQ(form->Image5->PictureName(), "pic6x.jpg");
        EXPECT_TRUE(form->AdvPictureHilf->isVisible());
        EXPECT_FALSE(form->AdvPicture2->isVisible());
        EXPECT_EQ(form->Label12->Caption(), "zurueck");
        EXPECT_TRUE(form->AdvPictureDownload->isVisibleTo(form->AdvTabSheet3));
    }
};

const char* kNoHardwareDe = "Keine Hardware angeschlossen! - Bitte QYX PQ DVD anschliessen!";
const char* kNoHardwareEn = "No Hardware connected ! - Please connect QYX PQ DVD!";

} // namespace

TEST_F(RunTest, OneBlockEndsOnFinishedPage) {
    image("103F");
    form->Memo2.Add("left from an earlier run");
    EXPECT_EQ(programme(), 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(page(), "AdvTabSheet4");
    EXPECT_EQ(visibleTabs(), 1);
    EXPECT_FALSE(form->ComPort1.Connected());
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], kCheck02);
    EXPECT_EQ(frames[1], kPrepare);
    EXPECT_EQ(frames[2], expectedBlock(0x1000, cellsFrom(form, 0x1000, 64), '\x04'));
    // the cells went out as stored, in lower case
    EXPECT_NE(frames[2].find("00070e15"), std::string::npos);
    // the remote holds what the image holds
    const auto remote = sim.image();
    for (int a = 0x1000; a <= 0x103F; ++a)
        ASSERT_EQ(remote[a], (a * 7) & 0xFF) << a;
    EXPECT_EQ(form->Memo2[0], ">>> to Send"); // emptied at the start of the run
    const auto& log = form->Memo1.lines();
    EXPECT_NE(std::find(log.begin(), log.end(), frames[2]), log.end()); // the frame, logged
    EXPECT_EQ(form->ProgressBlocks->value(), 1);
    EXPECT_EQ(form->ProgressBlocks->maximum(), 1);
}

// The cells after the end address inside the last block go out as filler, also where the
// image holds data there (a record that started at or below the end and reached past it).
TEST_F(RunTest, SecondBlockCarriesFillerAfterEnd) {
    image("1042");
    form->Grid1.SetCell(1, 0x1040 / 16 + 1, "01");
    form->Grid1.SetCell(2, 0x1040 / 16 + 1, "02");
    form->Grid1.SetCell(3, 0x1040 / 16 + 1, "03");
    for (int a = 0x1043; a < 0x1060; ++a)
        form->Grid1.SetCell(a % 16 + 1, a / 16 + 1, "5a");
    EXPECT_EQ(programme(), 1);
    EXPECT_EQ(page(), "AdvTabSheet4");
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2], expectedBlock(0x1000, cellsFrom(form, 0x1000, 64), '\x08'));
    std::string last = std::string("\x02!1040") + "010203";
    for (int i = 0; i < 61; ++i)
        last += "FF";
    EXPECT_EQ(frames[3], last + "8C\x04\x03");
    EXPECT_EQ(form->ProgressBlocks->value(), 2);
}

TEST_F(RunTest, EndOneAfterFirstBlockSendsByteAnd63Fillers) {
    image("1040");
    EXPECT_EQ(programme(), 1);
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 4u);
    std::vector<std::string> cells = cellsFrom(form, 0x1040, 1);
    cells.resize(64, "FF");
    EXPECT_EQ(frames[3], expectedBlock(0x1040, cells, '\x04'));
}

TEST_F(RunTest, EndEqualToStartSendsNothingAndLeavesPortOpen) {
    image("1000");
    ASSERT_EQ(form->OpenFernbedienung(), 1);
    form->SendenHEXFile();
    EXPECT_EQ(boxes, std::vector<std::string>{"Start & End Address Error!!!!"});
    EXPECT_EQ(sim.frameCount(), 2u);
    EXPECT_TRUE(form->ComPort1.Connected());
    EXPECT_EQ(page(), "AdvTabSheet3");
    form->CloseConn();
    EXPECT_FALSE(form->ComPort1.Connected());
}

TEST_F(RunTest, NoBridgeShowsNoHardwareWithoutOpeningPort) {
    sim.unplug();
    image("103F");
    EXPECT_EQ(programme(), 0);
    EXPECT_EQ(sim.frameCount(), 0u);
    expectFailureVariant(kNoHardwareDe, kNoHardwareEn);
}

TEST_F(RunTest, SilenceOrWrongAnswerToCheck) {
    struct Row {
        sim::Faults faults;
        std::string deviceType;
        std::string german, english;
    } rows[] = {
        {[] {
             sim::Faults f;
             f.silentFrom = 1;
             return f;
         }(),
         "02", kNoHardwareDe, kNoHardwareEn},
        {{},
         "01",
         "Falsche Hardware angeschlossen! - Bitte QYX PQ DVD anschliessen!",
         "Wrong Hardware ! - Please connect QYX PQ DVD!"},
    };
    image("103F");
    for (const auto& r : rows) {
        sim.clearFrames();
        sim.setFaults(r.faults);
        sim.setDeviceType(r.deviceType);
        EXPECT_EQ(programme(), 0);
        EXPECT_EQ(sim.frames(), std::vector<std::string>{kCheck02});
        expectFailureVariant(r.german, r.english);
        EXPECT_TRUE(boxes.empty());
        EXPECT_FALSE(form->ComPort1.Connected());
        form->AdvPictureHilf->Click(); // start over
        form->AdvPictureWeiter->Click();
        form->AdvPictureDownload->Click();
        boxes.clear();
    }
}

TEST_F(RunTest, PrepareSilentOrWrong) {
    struct Row {
        sim::Faults faults;
        const char* message;
    } rows[] = {
        {[] {
             sim::Faults f;
             f.silentFrom = 2;
             return f;
         }(),
         "Fehler(6)"},
        {[] {
             sim::Faults f;
             f.wrongFrom = 2;
             return f;
         }(),
         "Fehler(7)"},
    };
    image("103F");
    for (const auto& r : rows) {
        boxes.clear();
        sim.clearFrames();
        sim.setFaults(r.faults);
        EXPECT_EQ(form->OpenFernbedienung(), 0);
        EXPECT_EQ(boxes, std::vector<std::string>{r.message});
        EXPECT_EQ(sim.frames(), (std::vector<std::string>{kCheck02, kPrepare}));
        EXPECT_EQ(page(), "AdvTabSheet3"); // the busy download page stays
        EXPECT_TRUE(form->ComPort1.Connected());
        form->CloseConn();
    }
}

TEST_F(RunTest, WrongBlockReplyIsReportedAndTransferGoesOn) {
    image("10BF"); // three blocks: frames 3, 4, 5
    sim::Faults f;
    f.replyFor[3] = std::string("\x02!\x06\x04\x03"); // the last-block answer, too early
    f.replyFor[5] = std::string("\x02!\x15\x04\x03"); // and a refusal of the last block
    sim.setFaults(f);
    EXPECT_EQ(programme(), 1);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Fehler(3)", "Fehler(3)"}));
    EXPECT_EQ(sim.frameCount(), 5u); // nothing sent twice
    EXPECT_EQ(page(), "AdvTabSheet4");
    EXPECT_FALSE(form->ComPort1.Connected());
}

TEST_F(RunTest, SilenceMidTransferEndsItWithPortOpenUntilCloseConn) {
    image("10BF");
    sim::Faults f;
    f.silentFrom = 4; // the second block
    sim.setFaults(f);
    ASSERT_EQ(form->OpenFernbedienung(), 1);
    form->SendenHEXFile();
    EXPECT_EQ(boxes, std::vector<std::string>{"Fehler(2)"});
    EXPECT_EQ(sim.frameCount(), 4u);
    EXPECT_TRUE(form->ComPort1.Connected());
    EXPECT_EQ(page(), "AdvTabSheet3");
    EXPECT_TRUE(form->ProgressBlocks->isVisible());
    EXPECT_EQ(form->ProgressBlocks->value(), 1);
    EXPECT_EQ(form->ProgressBlocks->maximum(), 3);
    form->CloseConn();
    EXPECT_FALSE(form->ComPort1.Connected());
}

TEST_F(RunTest, CheckFrameCarriesFieldFB) {
    sim.setDeviceType("03");
    form->FB = "03";
    image("103F");
    EXPECT_EQ(programme(), 1);
    ASSERT_GE(sim.frameCount(), 1u);
    EXPECT_EQ(sim.frames()[0], std::string("\x02\x24\x30\x33\x03"));
}

// A user who closes the wizard during the transfer does not leave it writing on in the
// background: at most the block already on its way goes out after the close.
TEST_F(RunTest, ClosingDuringTransferStopsIt) {
    image("11FF"); // eight blocks: frames 3..10
    sim.setFrameListener([this](const sim::FrameRecord&) {
        if (sim.frameCount() == 4)
            QMetaObject::invokeMethod(
                form, [this] { form->close(); }, Qt::QueuedConnection);
    });
    EXPECT_EQ(programme(), 1);
    sim.setFrameListener(nullptr);
    EXPECT_FALSE(form->isVisible());
    EXPECT_GE(sim.frameCount(), 4u);
    EXPECT_LE(sim.frameCount(), 5u);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(form->ComPort1.Connected());
    EXPECT_EQ(browser->backCalls, 1);
}

TEST_F(RunTest, MissingFailurePictureLeavesTextsAndRaisesFileError) {
    form->PictureFolder = folderWith({"pic2x.jpg", "pic5x.jpg", "Corvana.gif"});
    sim.unplug();
    EXPECT_THROW(form->OpenFernbedienung(), EInOutError);
    EXPECT_EQ(form->LabelQYX5->Caption(), kNoHardwareDe);
    EXPECT_EQ(form->LabelFB5->Caption(), kNoHardwareEn);
    EXPECT_EQ(page(), "AdvTabSheet3");
}

TEST_F(RunTest, EndAddressNotHexadecimalIsConversionError) {
    image("103F");
    form->se_address2 = "Edit1";
    ASSERT_EQ(form->OpenFernbedienung(), 1);
    try {
        form->SendenHEXFile();
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'$Edit1' ist kein gültiger Integerwert");
    }
    form->CloseConn();
}
