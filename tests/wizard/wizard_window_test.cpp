// The wizard's pages, texts, pictures, transitions and pointer rules.
#include <QApplication>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include "tests/wizard/wizardfixture.h"
#include "util/errors.h"

using namespace corvana;
using namespace corvana::test;
using widgets::ScreenCursor;
using widgets::SetScreenCursor;

namespace {

// What the download page's four lines say: upper German, upper English, lower German, lower
// English.
std::vector<std::string> downloadLines(const TForm1* f) {
    return {f->LabelQYX8->Caption(), f->LabelFB8->Caption(), f->LabelQYX3->Caption(),
            f->LabelFB3->Caption()};
}

const std::vector<std::string> kPleaseConnect = {"Bitte Fernbedienung QYX PQ DVD anschliessen.",
                                                 "Please connect Remote Control QYX PQ DVD."};

void moveOver(QWidget* w, int x, int y) {
    QMouseEvent e(QEvent::MouseMove, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

TEST_F(WizardTest, WindowAndControlsAreWhereTheyBelong) {
    EXPECT_EQ(form->windowTitle(), "Corvana Pellquin");
    EXPECT_EQ(form->size(), QSize(477, 599));
    EXPECT_EQ(form->pos(), QPoint(336, 112));
    EXPECT_EQ(page(), "AdvTabSheet2");
    EXPECT_EQ(visibleTabs(), 1);
    EXPECT_TRUE(form->AdvPageControl1->TabBar()->tabText(0).isEmpty());
    struct Row {
        QWidget* w;
        QRect at;
    } rows[] = {
        {form->Image4, {3, 3, 450, 450}},
        {form->Image2, {3, 3, 450, 450}},
        {form->AdvPictureWeiter, {396, 453, 57, 54}},
        {form->AdvPictureDownload, {396, 454, 57, 57}},
        {form->AdvPictureFertig, {396, 454, 57, 57}},
        {form->AdvPicture2, {392, 467, 50, 46}},
        {form->AdvPictureHilf, {385, 459, 57, 57}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.w->geometry(), r.at) << r.w->objectName().toStdString();
    struct Line {
        widgets::TLabel* l;
        QPoint at;
        QColor colour;
    } lines[] = {
        {form->LabelQYX1, {3, 511}, QColor(0, 0, 128)}, {form->LabelFB1, {3, 530}, Qt::black},
        {form->LabelQYX8, {3, 471}, QColor(0, 0, 128)}, {form->LabelFB8, {3, 490}, Qt::black},
        {form->LabelQYX3, {3, 511}, QColor(0, 0, 128)}, {form->LabelFB3, {3, 530}, Qt::black},
        {form->LabelQYX5, {3, 519}, QColor(0, 0, 128)}, {form->LabelFB5, {3, 535}, Qt::black},
        {form->Label12, {392, 519}, QColor(0, 0, 128)}, {form->Label13, {392, 535}, Qt::black},
        {form->Label10, {396, 532}, Qt::black},
    };
    for (const auto& l : lines) {
        EXPECT_EQ(l.l->pos(), l.at);
        EXPECT_EQ(l.l->palette().color(QPalette::WindowText), l.colour);
        EXPECT_TRUE(l.l->font().bold());
        EXPECT_EQ(l.l->font().pixelSize(), 12);
    }
    // empty until a step fills them
    EXPECT_EQ(form->LabelQYX1->Caption(), "");
    EXPECT_EQ(form->LabelQYX3->Caption(), "");
    EXPECT_EQ(form->se_Address1, "1000");
    EXPECT_EQ(form->se_address2, "Edit1");
    EXPECT_EQ(form->FB, "");
    EXPECT_EQ(form->eArtNR, "");
}

TEST_F(WizardTest, FirstShowingSetsStartTextsAndLeavesLowerDownloadLinesEmpty) {
    form->show();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(page(), "AdvTabSheet2");
    EXPECT_EQ(form->LabelQYX1->Caption(), "Bitte keine Batterien einlegen!");
    EXPECT_EQ(form->LabelFB1->Caption(), "Please don\u00B4t insert Batteries!");
    EXPECT_EQ(downloadLines(form),
              (std::vector<std::string>{kPleaseConnect[0], kPleaseConnect[1], "", ""}));
    EXPECT_EQ(form->LabelQYX4->Caption(), "Download QYX12345 erfolgreich beendet!");
    EXPECT_EQ(form->LabelFB4->Caption(), "Download QYX12345 successfully finished!");
    EXPECT_EQ(form->LabelQYX5->Caption(),
              "Bitte QYX12345 auf Batteriedeckel und Verpackung notieren!");
    EXPECT_EQ(form->LabelFB5->Caption(), "Please note QYX12345 on Battery Cover and Packaging!");
    EXPECT_EQ(form->Image2->PictureName(), "pic2x.jpg");
    EXPECT_EQ(form->Image2->CurrentImage().size(), QSize(450, 450));
    EXPECT_FALSE(form->AdvPictureHilf->isVisibleTo(form->AdvTabSheet6));
    EXPECT_FALSE(form->Button1->isVisibleTo(form->AdvTabSheet2));
}

TEST_F(WizardTest, StartArrowShowsDownloadPageAsLeft) {
    form->show();
    form->AdvPictureWeiter->Click();
    EXPECT_EQ(page(), "AdvTabSheet3");
    EXPECT_EQ(visibleTabs(), 1);
    EXPECT_TRUE(form->AdvPictureDownload->isVisible());
}

TEST_F(WizardTest, DownloadArrowShowsBusyPageAndRunsFileNameStep) {
    form->show();
    form->AdvPictureWeiter->Click();
    form->AdvPictureDownload->Click();
    EXPECT_EQ(page(), "AdvTabSheet3");
    EXPECT_EQ(downloadLines(form),
              (std::vector<std::string>{"", "", "Download QYX12345 - Bitte warten!",
                                        "Download QYX12345 - Please wait!"}));
    EXPECT_FALSE(form->AdvPictureDownload->isVisible());
    EXPECT_FALSE(form->Label6->isVisible());
    EXPECT_FALSE(form->Label10->isVisible());
    EXPECT_EQ(form->Image2->PictureName(), "Corvana.gif");
    EXPECT_TRUE(form->Image2->Animated());
    EXPECT_EQ(form->FB, "02");
    EXPECT_EQ(form->eArtNR, "PQD_12345.hex");
}

// Through the failure variant and its left arrow (the restart), then a new showing.
TEST_F(WizardTest, TextStatesAfterRestartAndLaterShowing) {
    form->show();
    EXPECT_EQ(form->Image5->PictureName(), "built-in");
    form->AdvPictureWeiter->Click();
    form->AdvPictureDownload->Click();
    form->EnterFailureVariant("Keine Hardware", "No Hardware");
    EXPECT_EQ(page(), "AdvTabSheet6");
    EXPECT_EQ(visibleTabs(), 1);
    EXPECT_EQ(form->Image5->PictureName(), "pic6x.jpg");
    EXPECT_TRUE(form->AdvPictureHilf->isVisible());
    EXPECT_FALSE(form->AdvPicture2->isVisible());
    EXPECT_EQ(form->Label12->Caption(), "zurueck");
    EXPECT_EQ(form->Label13->Caption(), "back");
    EXPECT_EQ(form->LabelQYX5->Caption(), "Keine Hardware");
    EXPECT_TRUE(form->AdvPictureDownload->isVisibleTo(form->AdvTabSheet3));

    form->AdvPictureHilf->Click(); // restart
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(page(), "AdvTabSheet2");
    EXPECT_EQ(downloadLines(form),
              (std::vector<std::string>{"", "", "QYX-PQ angeschlossen - Starte Download",
                                        "QYX-PQ connected - Start Download"}));
    EXPECT_EQ(form->LabelQYX5->Caption(),
              "Bitte QYX12345 auf Batteriedeckel und Verpackung notieren!");
    EXPECT_EQ(form->Image2->PictureName(), "pic2x.jpg");
    EXPECT_EQ(form->Image5->PictureName(), "pic5x.jpg");
    EXPECT_TRUE(form->AdvPicture2->isVisibleTo(form->AdvTabSheet6));
    EXPECT_FALSE(form->AdvPictureHilf->isVisibleTo(form->AdvTabSheet6));
    form->AdvPictureWeiter->Click();
    EXPECT_TRUE(form->AdvPictureDownload->isVisible());

    form->close();
    browser->location = kOrderPage; // the portal opens the next order
    form->show(); // a later showing: upper lines anew, lower lines as the restart left them
    EXPECT_EQ(downloadLines(form),
              (std::vector<std::string>{kPleaseConnect[0], kPleaseConnect[1],
                                        "QYX-PQ angeschlossen - Starte Download",
                                        "QYX-PQ connected - Start Download"}));
    EXPECT_EQ(form->Image5->PictureName(), "pic5x.jpg");
    EXPECT_TRUE(boxesBesidesCodeServer().empty());
}

TEST_F(WizardTest, FinishedArrowThenCrossRestartsAndCloses) {
    form->show();
    form->EnterFinishedPage();
    EXPECT_EQ(page(), "AdvTabSheet4");
    EXPECT_EQ(visibleTabs(), 1);
    portal.respond("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    form->AdvPictureFertig->Click();
    ASSERT_EQ(portal.requests().size(), 1u);
    EXPECT_EQ(portal.requests()[0].raw.substr(0, portal.requests()[0].raw.find("\r\n")),
              "GET /Corvana/(S(q1w2e3))/Statistik.aspx?QYX=QYX12345-PQ HTTP/1.1");
    EXPECT_EQ(page(), "AdvTabSheet6");
    EXPECT_EQ(form->Label12->Caption(), "Beenden");
    EXPECT_EQ(form->Label13->Caption(), "Close");
    EXPECT_TRUE(form->AdvPicture2->isVisible());
    EXPECT_EQ(form->Image5->PictureName(), "built-in");
    form->AdvPicture2->Click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(page(), "AdvTabSheet2");
    EXPECT_EQ(form->Image5->PictureName(), "pic5x.jpg");
    EXPECT_EQ(browser->backCalls, 1);
    EXPECT_EQ(browser->location, kLoginPage);
}

// A showing that ended on the busy page or the failure variant does not leave the next
// order without its buttons or with the failure picture.
TEST_F(WizardTest, ShowingRestoresButtonsAfterBusyOrFailedShowing) {
    form->show();
    form->AdvPictureWeiter->Click();
    form->AdvPictureDownload->Click();
    form->EnterFailureVariant("a", "b");
    form->close();
    form->show();
    EXPECT_TRUE(form->AdvPictureDownload->isVisibleTo(form->AdvTabSheet3));
    EXPECT_TRUE(form->Label6->isVisibleTo(form->AdvTabSheet3));
    EXPECT_TRUE(form->AdvPicture2->isVisibleTo(form->AdvTabSheet6));
    EXPECT_FALSE(form->AdvPictureHilf->isVisibleTo(form->AdvTabSheet6));
    EXPECT_EQ(form->Image5->PictureName(), "pic5x.jpg");
}

TEST_F(WizardTest, ClosingOnAnyPageSendsBrowserBack) {
    using Step = void (*)(TForm1*);
    const Step steps[] = {
        [](TForm1*) {},
        [](TForm1* f) { f->AdvPictureWeiter->Click(); },
        [](TForm1* f) {
            f->AdvPictureWeiter->Click();
            f->AdvPictureDownload->Click();
        },
        [](TForm1* f) { f->EnterFinishedPage(); },
        [](TForm1* f) { f->EnterFailureVariant("x", "y"); },
    };
    int expected = 0;
    for (Step step : steps) {
        browser->history = {kLoginPage, kOrderPage};
        browser->index = 1;
        browser->location = kOrderPage;
        form->show();
        step(form);
        form->close();
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(browser->backCalls, ++expected);
    }
    EXPECT_TRUE(boxesBesidesCodeServer().empty());
}

TEST_F(WizardTest, BackWithoutEarlierPageIsReportedAndWindowStillCloses) {
    browser->history = {kOrderPage};
    browser->index = 0;
    form->show();
    SetScreenCursor(Qt::PointingHandCursor);
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(boxes, std::vector<std::string>{"Unbekannter Fehler."});
    EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
}

TEST_F(WizardTest, EscapeDoesNotClose) {
    form->show();
    QTest::keyClick(form, Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(browser->backCalls, 0);
}

TEST_F(WizardTest, MissingPictureStopsTheStepWithFileError) {
    form->PictureFolder = folderWith({"pic5x.jpg", "pic6x.jpg", "Corvana.gif"});
    form->show();
    ASSERT_EQ(boxes.size(), 1u);
    const std::string missing = dir.file("pic2x.jpg");
    EXPECT_EQ(boxes[0], "Datei \"" + missing +
                            "\" kann nicht geöffnet werden. Das System kann die angegebene "
                            "Datei nicht finden.");
    EXPECT_EQ(form->LabelQYX1->Caption(), ""); // the texts come after the picture
    EXPECT_EQ(form->Image2->PictureName(), "built-in");

    boxes.clear();
    form->PictureFolder = folderWith({"pic2x.jpg"}); // pictures now: pic2x, pic5x, pic6x
    QFile::remove(QString::fromStdString(dir.file("Corvana.gif")));
    form->AdvPictureWeiter->Click();
    form->AdvPictureDownload->Click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Corvana.gif"), std::string::npos);
    EXPECT_FALSE(form->AdvPictureDownload->isVisible()); // already hidden
    EXPECT_EQ(form->LabelQYX3->Caption(), "");           // the download did not start
    EXPECT_EQ(form->FB, "");
}

TEST_F(WizardTest, DamagedPicturesAreFileErrorsToo) {
    dir.write("pic2x.jpg", "not a JPEG at all");
    dir.write("Corvana.gif", "GIF89a, but no more");
    form->PictureFolder = QString::fromStdString(dir.path());
    form->show();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("JPEG-Fehler in Datei \"" + dir.file("pic2x.jpg") + "\": ", 0), 0u)
        << boxes[0];
    form->AdvPictureWeiter->Click();
    form->AdvPictureDownload->Click();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "Datei \"" + dir.file("Corvana.gif") + "\" ist kein gültiges GIF-Bild.");
}

TEST_F(WizardTest, ServerFailureFlagInAddressClosesOnce) {
    struct Row {
        const char* address;
        bool fires;
    } rows[] = {
        {"http://portal.test/DownloadFB.aspx?a=QYX12345-PQ&FB=02&s=ABC_J_XYZ", true},
        {"http://portal.test/DownloadFB.aspx?a=QYX12345-PQ&FB=02&s=ABC_N_XYZ", false},
        {"http://portal.test/DownloadFB.aspx?a=QYX12345-PQ&FB=02&s=ABC_J", false},
        {"http://portal.test/DownloadFB.aspx?a=QYX12345-PQ&FB=02", false},
    };
    for (const auto& r : rows) {
        boxes.clear();
        browser->history = {kLoginPage, r.address};
        browser->index = 1;
        browser->location = r.address;
        const int backBefore = browser->backCalls;
        form->show();
        EXPECT_EQ(boxes.size(), r.fires ? 1u : 0u) << r.address;
        EXPECT_TRUE(form->isVisible()); // the texts are still set, the close comes later
        EXPECT_EQ(form->LabelQYX1->Caption(), "Bitte keine Batterien einlegen!");
        QTest::qWait(250);
        EXPECT_EQ(form->isVisible(), !r.fires) << r.address;
        EXPECT_FALSE(form->Timer1->isActive());
        if (r.fires) {
            EXPECT_EQ(boxes[0], "Connection to Server failed!");
        }
        form->close();
        EXPECT_EQ(browser->backCalls, backBefore + 1);
    }
}

TEST_F(WizardTest, PointerRulesOnBareSheetUseInclusiveButtonRectangle) {
    form->show();
    struct Row {
        widgets::TAdvTabSheet* sheet;
        int x, y;
        bool staysHand;
    } rows[] = {
        {form->AdvTabSheet2, 396, 453, true},
        {form->AdvTabSheet2, 453, 507, true},
        {form->AdvTabSheet2, 395, 480, false},
        {form->AdvTabSheet2, 454, 480, false},
        {form->AdvTabSheet2, 420, 452, false},
        {form->AdvTabSheet2, 420, 508, false},
        {form->AdvTabSheet3, 453, 511, true},
        {form->AdvTabSheet3, 453, 512, false},
        {form->AdvTabSheet4, 396, 454, true},
        {form->AdvTabSheet4, 100, 100, false},
        // the closing page measures with the left arrow's rectangle, around the cross
        {form->AdvTabSheet6, 385, 459, true},
        {form->AdvTabSheet6, 442, 516, true},
        {form->AdvTabSheet6, 388, 462, true},
        {form->AdvTabSheet6, 384, 470, false},
        {form->AdvTabSheet6, 443, 470, false},
    };
    for (const auto& r : rows) {
        form->ShowPage(r.sheet);
        SetScreenCursor(Qt::PointingHandCursor);
        r.sheet->OnMouseMove(r.x, r.y);
        EXPECT_EQ(ScreenCursor(), r.staysHand ? Qt::PointingHandCursor : Qt::ArrowCursor)
            << r.sheet->objectName().toStdString() << " " << r.x << "," << r.y;
    }
}

TEST_F(WizardTest, PointerFollowsRealMovesOverButtonsPicturesAndText) {
    form->show();
    EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
    moveOver(form->AdvPictureWeiter, 5, 5);
    EXPECT_EQ(ScreenCursor(), Qt::PointingHandCursor);
    // straight onto the big picture or a text line: still the hand
    moveOver(form->Image4, 200, 200);
    moveOver(form->LabelQYX1, 2, 2);
    moveOver(form->Label4, 2, 2);
    EXPECT_EQ(ScreenCursor(), Qt::PointingHandCursor);
    // the bare sheet outside the button: the arrow; and pictures do not bring the hand back
    moveOver(form->AdvTabSheet2, 200, 560);
    EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
    moveOver(form->Image4, 100, 100);
    EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
    form->ShowPage(form->AdvTabSheet6);
    moveOver(form->AdvPicture2, 3, 3);
    EXPECT_EQ(ScreenCursor(), Qt::PointingHandCursor);
    moveOver(form->AdvTabSheet6, 388, 462); // in the strip of the arrow's rectangle
    EXPECT_EQ(ScreenCursor(), Qt::PointingHandCursor);
    form->close(); // and the portal window does not inherit the hand
    EXPECT_EQ(ScreenCursor(), Qt::ArrowCursor);
}

TEST_F(WizardTest, CtrlTabAndTabClicksNeverChangePage) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    const auto pages = {form->AdvTabSheet2, form->AdvTabSheet3, form->AdvTabSheet4,
                        form->AdvTabSheet6};
    for (auto* sheet : pages) {
        form->ShowPage(sheet);
        QTest::keyClick(form, Qt::Key_Tab, Qt::ControlModifier);
        QTest::keyClick(form, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(form->AdvPageControl1->TabBar(), Qt::Key_Right);
        QTabBar* bar = form->AdvPageControl1->TabBar();
        ASSERT_EQ(bar->count(), 1);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
        EXPECT_EQ(form->AdvPageControl1->ActivePage(), sheet);
    }
}

TEST(PageControl, NextPageGoesRoundAmongVisibleTabs) {
    widgets::TAdvPageControl pc;
    widgets::TAdvTabSheet *a = new widgets::TAdvTabSheet("a"), *b = new widgets::TAdvTabSheet("b"),
                          *c = new widgets::TAdvTabSheet("c");
    for (auto* s : {a, b, c})
        pc.AddSheet(s);
    pc.SetTabVisible(b, false);
    pc.SetActivePage(a);
    pc.SelectNextPage(true);
    EXPECT_EQ(pc.ActivePage(), c);
    pc.SelectNextPage(true);
    EXPECT_EQ(pc.ActivePage(), a);
    pc.SelectNextPage(false);
    EXPECT_EQ(pc.ActivePage(), c);
    EXPECT_EQ(pc.TabBar()->count(), 2);
    EXPECT_EQ(pc.TabBar()->currentIndex(), 1);
    // a sheet whose tab is hidden can still be the active one; moving on leaves it
    pc.SetActivePage(b);
    pc.SelectNextPage(true);
    EXPECT_EQ(pc.ActivePage(), c);
    // Ctrl+Tab is what moves on: with two visible tabs it does change the page
    pc.show();
    pc.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&pc));
    QTest::keyClick(&pc, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pc.ActivePage(), a);
    QTest::mouseClick(pc.TabBar(), Qt::LeftButton, {}, pc.TabBar()->tabRect(1).center());
    EXPECT_EQ(pc.ActivePage(), c);
}
