#include "wizard/CorvanaBrowserPellquin.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/sysio.h"
#include "shell/browser.h"
#include "shell/corvanabrowser.h"
#include "util/hexconv.h"
#include "util/tempfileerrors.h"
#include "util/textpos.h"
#include "widgets/messages.h"
#include "widgets/picturefiles.h"
#include "widgets/pictures.h"
#include "wizard/logic/hexloader.h"

using namespace corvana;
using namespace corvana::widgets;

namespace {

const QColor kGerman(0, 0, 128); // navy
const QColor kEnglish(0, 0, 0);

// Runs one of our handlers from a control's event: an uncaught error ends the handler and
// goes to the default error display.
template <typename F> auto handler(F f) {
    return [f] { ui::guarded(f); };
}
template <typename F> auto moveHandler(F f) {
    return [f](int X, int Y) { ui::guarded([&] { f(X, Y); }); };
}

bool InsideInclusive(const QWidget* w, int X, int Y) {
    return X >= w->x() && X <= w->x() + w->width() && Y >= w->y() && Y <= w->y() + w->height();
}

} // namespace

TForm1::TForm1(QWidget* parent) : QDialog(parent), PictureFolder(widgets::PictureFolder()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Corvana Pellquin"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    resize(477, 599);
    move(336, 112);
    setSizeGripEnabled(false);

    AdvPageControl1 = new TAdvPageControl(this);
    AdvPageControl1->setFont(QFont(QStringLiteral("Tahoma"), 8));
    auto* fill = new QVBoxLayout(this); // the page control fills the client area
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(AdvPageControl1);
    auto sheet = [this](const char* name) {
        auto* s = new TAdvTabSheet(QString::fromLatin1(name));
        AdvPageControl1->AddSheet(s);
        return s;
    };
    AdvTabSheet1 = sheet("AdvTabSheet1");
    AdvTabSheet2 = sheet("AdvTabSheet2");
    AdvTabSheet3 = sheet("AdvTabSheet3");
    AdvTabSheet4 = sheet("AdvTabSheet4");
    AdvTabSheet6 = sheet("AdvTabSheet6");
    AdvPageControl1->SetActivePage(AdvTabSheet2);

    auto image = [](TAdvTabSheet* on, const QImage& builtIn) {
        auto* i = new TImage(on);
        i->setGeometry(3, 3, 450, 450);
        i->SetPicture(builtIn, "built-in");
        return i;
    };
    Image4 = image(AdvTabSheet2, pictures::StartPicture());
    Image2 = image(AdvTabSheet3, pictures::ConnectedPicture());
    Image3 = image(AdvTabSheet4, pictures::TransferPicture());
    Image5 = image(AdvTabSheet6, pictures::BatteryCoverPicture());

    auto button = [](TAdvTabSheet* on, const QImage& pic, int l, int t, int w, int h) {
        auto* b = new TAdvPicture(pic, on);
        b->setGeometry(l, t, w, h);
        return b;
    };
    const QImage right = pictures::ArrowRight();
    AdvPictureWeiter = button(AdvTabSheet2, right, 396, 453, 57, 54);
    AdvPictureDownload = button(AdvTabSheet3, right, 396, 454, 57, 57);
    AdvPictureFertig = button(AdvTabSheet4, right, 396, 454, 57, 57);
    AdvPictureHilf = button(AdvTabSheet6, pictures::ArrowLeft(), 385, 459, 57, 57);
    AdvPicture2 = button(AdvTabSheet6, pictures::CloseCross(), 392, 467, 50, 46);
    AdvPicture2->raise(); // the cross lies on the left arrow's spot

    auto text = [](TAdvTabSheet* on, int l, int t, const QColor& c, const char* caption = "") {
        auto* label = new TLabel(on, l, t, c);
        label->SetCaption(caption);
        return label;
    };
    Label4 = text(AdvTabSheet2, 396, 511, kGerman, "weiter");
    Label8 = text(AdvTabSheet2, 396, 530, kEnglish, "next");
    Label6 = text(AdvTabSheet3, 396, 511, kGerman, "weiter");
    Label10 = text(AdvTabSheet3, 396, 532, kEnglish, "next");
    Label7 = text(AdvTabSheet4, 396, 511, kGerman, "weiter");
    Label11 = text(AdvTabSheet4, 396, 530, kEnglish, "next");
    Label12 = text(AdvTabSheet6, 392, 519, kGerman, "Beenden");
    Label13 = text(AdvTabSheet6, 392, 535, kEnglish, "Close");

    LabelQYX1 = text(AdvTabSheet2, 3, 511, kGerman);
    LabelFB1 = text(AdvTabSheet2, 3, 530, kEnglish);
    LabelQYX8 = text(AdvTabSheet3, 3, 471, kGerman);
    LabelFB8 = text(AdvTabSheet3, 3, 490, kEnglish);
    LabelQYX3 = text(AdvTabSheet3, 3, 511, kGerman);
    LabelFB3 = text(AdvTabSheet3, 3, 530, kEnglish);
    LabelQYX4 = text(AdvTabSheet4, 3, 511, kGerman);
    LabelFB4 = text(AdvTabSheet4, 3, 530, kEnglish);
    LabelQYX5 = text(AdvTabSheet6, 3, 519, kGerman);
    LabelFB5 = text(AdvTabSheet6, 3, 535, kEnglish);

    ProgressBlocks = new QProgressBar(AdvTabSheet3);
    ProgressBlocks->setGeometry(3, 456, 385, 13);
    ProgressBlocks->setTextVisible(true);
    ProgressBlocks->setFormat(QStringLiteral("%v / %m"));
    ProgressBlocks->setAlignment(Qt::AlignCenter);
    ProgressBlocks->setAttribute(Qt::WA_NoMousePropagation);
    ProgressBlocks->hide();

    Button1 = new QPushButton(QStringLiteral("Button1"), AdvTabSheet2);
    Button1->setAutoDefault(false);
    Button1->setGeometry(200, 200, 75, 25);
    Timer1 = new QTimer(this);
    Timer1->setInterval(100);

    ButtonURL = new QPushButton(QStringLiteral("ButtonURL"), AdvTabSheet1);
    ButtonURL->setAutoDefault(false);
    ButtonFTP = new QPushButton(QStringLiteral("ButtonFTP"), AdvTabSheet1);
    ButtonFTP->setAutoDefault(false);

    connect(Button1, &QPushButton::clicked, this, handler([this] { Button1Click(); }));
    connect(Timer1, &QTimer::timeout, this, handler([this] { Timer1Timer(); }));
    connect(ButtonURL, &QPushButton::clicked, this, handler([this] { ButtonURLClick(); }));
    connect(ButtonFTP, &QPushButton::clicked, this, handler([this] { ButtonFTPClick(); }));
    AdvPictureWeiter->OnClick = handler([this] { AdvPictureWeiterClick(); });
    AdvPictureDownload->OnClick = handler([this] { AdvPictureDownloadClick(); });
    AdvPictureFertig->OnClick = handler([this] { AdvPictureFertigClick(); });
    AdvPictureHilf->OnClick = handler([this] { AdvPictureHilfClick(); });
    AdvPicture2->OnClick = handler([this] { AdvPicture2Click(); });
    AdvPictureWeiter->OnMouseMove =
        moveHandler([this](int X, int Y) { AdvPictureWeiterMouseMove(X, Y); });
    AdvPictureDownload->OnMouseMove =
        moveHandler([this](int X, int Y) { AdvPictureDownloadMouseMove(X, Y); });
    AdvPictureFertig->OnMouseMove =
        moveHandler([this](int X, int Y) { AdvPictureFertigMouseMove(X, Y); });
    AdvPicture2->OnMouseMove = moveHandler([this](int X, int Y) { AdvPicture2MouseMove(X, Y); });
    AdvPictureHilf->OnMouseMove =
        moveHandler([this](int X, int Y) { AdvPictureHilfMouseMove(X, Y); });
    AdvTabSheet2->OnMouseMove = moveHandler([this](int X, int Y) { AdvTabSheet2MouseMove(X, Y); });
    AdvTabSheet3->OnMouseMove = moveHandler([this](int X, int Y) { AdvTabSheet3MouseMove(X, Y); });
    AdvTabSheet4->OnMouseMove = moveHandler([this](int X, int Y) { AdvTabSheet4MouseMove(X, Y); });
    AdvTabSheet6->OnMouseMove = moveHandler([this](int X, int Y) { AdvTabSheet6MouseMove(X, Y); });

    ui::guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    EndRecord();
}

// --- creation, showing, closing ---------------------------------------------------------

void TForm1::FormCreate() {
    // Qt draws every window through its backing store, double-buffered already.
    for (auto* s : {AdvTabSheet1, AdvTabSheet3, AdvTabSheet4, AdvTabSheet6})
        AdvPageControl1->SetTabVisible(s, false);
    AdvPageControl1->SetTabVisible(AdvTabSheet2, true);
    Button1->hide();
}

void TForm1::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        ui::guarded([this] { FormShow(); });
}

// Each text cuts its piece from a fresh read of the portal address.
void TForm1::SetStartTexts() {
    LabelQYX1->SetCaption("Bitte keine Batterien einlegen!");
    LabelQYX8->SetCaption("Bitte Fernbedienung QYX PQ " + FBumwandeln() + " anschliessen.");
    LabelQYX4->SetCaption("Download QYX" + RemoteNumber(LocationURL()) + " erfolgreich beendet!");
    LabelQYX5->SetCaption("Bitte QYX" + RemoteNumber(LocationURL()) +
                          " auf Batteriedeckel und Verpackung notieren!");
    LabelFB1->SetCaption("Please don\u00B4t insert Batteries!");
    LabelFB8->SetCaption("Please connect Remote Control QYX PQ " + FBumwandeln() + ".");
    LabelFB4->SetCaption("Download QYX" + RemoteNumber(LocationURL()) + " successfully finished!");
    LabelFB5->SetCaption("Please note QYX" + RemoteNumber(LocationURL()) +
                         " on Battery Cover and Packaging!");
}

void TForm1::FormShow() {
    ++showing_;
    EndRecord();
    AdvPageControl1->SetActivePage(AdvTabSheet2);
    Button1->hide();
    Button1Click();
    for (auto* s : {AdvTabSheet1, AdvTabSheet3, AdvTabSheet4, AdvTabSheet6})
        AdvPageControl1->SetTabVisible(s, false);
    AdvPageControl1->SetTabVisible(AdvTabSheet2, true);
    AdvPictureHilf->hide();
    // A showing that ended on the busy download page or on the failure variant would leave
    // this one without its download button or its closing button: bring them back.
    AdvPictureDownload->show();
    Label6->show();
    Label10->show();
    AdvPicture2->show();
    ProgressBlocks->hide();
    LoadJpeg(Image2, "pic2x.jpg");
    SetStartTexts();
    // The closing page of a new order starts from the success picture, not the last failure.
    if (Image5->PictureName() == "pic6x.jpg")
        LoadJpeg(Image5, "pic5x.jpg");
}

void TForm1::FormShowNeu() {
    Button1Click();
    for (auto* s : {AdvTabSheet1, AdvTabSheet3, AdvTabSheet4, AdvTabSheet6})
        AdvPageControl1->SetTabVisible(s, false);
    AdvPageControl1->SetTabVisible(AdvTabSheet2, true);
    LabelQYX1->SetCaption("Bitte keine Batterien einlegen!");
    LabelQYX4->SetCaption("Download QYX" + RemoteNumber(LocationURL()) + " erfolgreich beendet!");
    LabelQYX5->SetCaption("Bitte QYX" + RemoteNumber(LocationURL()) +
                          " auf Batteriedeckel und Verpackung notieren!");
    LabelFB1->SetCaption("Please don\u00B4t insert Batteries!");
    LabelFB4->SetCaption("Download QYX" + RemoteNumber(LocationURL()) + " successfully finished!");
    LabelFB5->SetCaption("Please note QYX" + RemoteNumber(LocationURL()) +
                         " on Battery Cover and Packaging!");
    LabelQYX3->SetCaption("QYX-PQ angeschlossen - Starte Download");
    LabelFB3->SetCaption("QYX-PQ connected - Start Download");
}

void TForm1::done(int r) {
    if (Record && !Record->HasResult())
        Record->Result("abandoned", "the wizard was closed");
    EndRecord();
    if (isVisible())
        ui::guarded([this] { FormClose(); });
    Timer1->stop();
    QDialog::done(r);
}

void TForm1::FormClose() {
    // The hand set over a button would otherwise stay on for the portal window.
    SetScreenCursor(Qt::ArrowCursor);
    Form4->WebBrowser1->GoBack();
}

void TForm1::keyPressEvent(QKeyEvent* e) {
    // The wizard has no cancel button: Escape does not close it behind the user's back.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

// The portal may flag a failed server in its address as "ABC_J_XYZ".
void TForm1::Button1Click() {
    const std::string A = LocationURL();
    const int p = Pos("ABC_", A);
    if (p == 0)
        return;
    const std::string T = Copy(A, p + 4, static_cast<long long>(A.size()));
    const int q = Pos("_XYZ", T);
    if (q == 0)
        return;
    if (Copy(T, 1, q - 1) == "J") {
        ui::MessageBox("Connection to Server failed!");
        Timer1->start();
    }
}

void TForm1::Timer1Timer() {
    Timer1->stop();
    close();
}

// --- pages and transitions --------------------------------------------------------------

void TForm1::ShowPage(TAdvTabSheet* sheet) {
    for (auto* s : {AdvTabSheet1, AdvTabSheet2, AdvTabSheet3, AdvTabSheet4, AdvTabSheet6})
        AdvPageControl1->SetTabVisible(s, s == sheet);
    AdvPageControl1->SelectNextPage(true);
}

void TForm1::AdvPictureWeiterClick() {
    ShowPage(AdvTabSheet3);
}

void TForm1::AdvPictureDownloadClick() {
    LabelQYX8->SetCaption("");
    LabelFB8->SetCaption("");
    const std::string nr = RemoteNumber(LocationURL());
    AdvPictureDownload->hide();
    Label6->hide();
    Label10->hide();
    ProgressBlocks->hide();
    Image2->SetMovie(LoadGifMovie(PictureFolder + "/Corvana.gif"), "Corvana.gif");
    LabelQYX3->SetCaption("Download QYX" + nr + " - Bitte warten!");
    LabelFB3->SetCaption("Download QYX" + nr + " - Please wait!");
    QCoreApplication::processEvents();
    // The download and the programming run hold this thread; their blocking waits keep the
    // busy picture moving, and do nothing else.
    const platform::WaitTick busy([this] { Image2->AdvanceAnimation(true); }, kAnimationTickMs);
    StartRecord();
    try {
        ButtonURLClick();
        RecordOrder();
        ButtonFTPClick();
    } catch (const std::exception& e) {
        // The default error display shows it next.
        if (Record && !Record->HasResult())
            Record->Result("error", ui::errorDisplayText(e.what()));
        throw;
    }
}

void TForm1::Restart() {
    EndRecord();
    AdvPictureHilf->hide();
    LoadJpeg(Image2, "pic2x.jpg");
    FormShowNeu();
    AdvPictureDownload->show();
    Label6->show();
    Label10->show();
    ProgressBlocks->hide();
    ShowPage(AdvTabSheet2);
    LoadJpeg(Image5, "pic5x.jpg");
    AdvPicture2->show();
}

void TForm1::AdvPictureHilfClick() {
    Restart();
}

void TForm1::AdvPicture2Click() {
    Restart();
    close();
}

void TForm1::EnterClosingPageSuccess() {
    ShowPage(AdvTabSheet6);
    Label12->SetCaption("Beenden");
    Label13->SetCaption("Close");
}

void TForm1::EnterFailureVariant(const std::string& german, const std::string& english) {
    LabelQYX5->SetCaption(german);
    LabelFB5->SetCaption(english);
    LoadJpeg(Image5, "pic6x.jpg");
    AdvPictureDownload->show();
    Label6->show();
    Label10->show();
    ShowPage(AdvTabSheet6);
    AdvPictureHilf->show();
    AdvPicture2->hide();
    Label12->SetCaption("zurueck");
    Label13->SetCaption("back");
}

void TForm1::EnterFinishedPage() {
    ShowPage(AdvTabSheet4);
}

void TForm1::LoadJpeg(TImage* image, const char* file) {
    image->SetPicture(LoadJpegFile(PictureFolder + "/" + QString::fromLatin1(file)), file);
}

// --- pointer ----------------------------------------------------------------------------

void TForm1::AdvPictureWeiterMouseMove(int, int) {
    SetScreenCursor(Qt::PointingHandCursor);
}
void TForm1::AdvPictureDownloadMouseMove(int, int) {
    SetScreenCursor(Qt::PointingHandCursor);
}
void TForm1::AdvPictureFertigMouseMove(int, int) {
    SetScreenCursor(Qt::PointingHandCursor);
}
void TForm1::AdvPicture2MouseMove(int, int) {
    SetScreenCursor(Qt::PointingHandCursor);
}
void TForm1::AdvPictureHilfMouseMove(int, int) {
    SetScreenCursor(Qt::PointingHandCursor);
}

void TForm1::SetPointerOutside(const QWidget* button, int X, int Y) {
    if (!InsideInclusive(button, X, Y))
        SetScreenCursor(Qt::ArrowCursor);
}

void TForm1::AdvTabSheet2MouseMove(int X, int Y) {
    SetPointerOutside(AdvPictureWeiter, X, Y);
}
void TForm1::AdvTabSheet3MouseMove(int X, int Y) {
    SetPointerOutside(AdvPictureDownload, X, Y);
}
void TForm1::AdvTabSheet4MouseMove(int X, int Y) {
    SetPointerOutside(AdvPictureFertig, X, Y);
}
void TForm1::AdvTabSheet6MouseMove(int X, int Y) {
    SetPointerOutside(AdvPictureHilf, X, Y);
}

// --- the order ---------------------------------------------------------------------------

std::string TForm1::LocationURL() const {
    return narrowText(Form4->WebBrowser1->LocationURL());
}

std::string TForm1::FBumwandeln() const {
    return corvana::FBumwandeln([this] { return LocationURL(); });
}

void TForm1::ButtonURLClick() {
    corvana::ButtonURLClick([this] { return LocationURL(); }, Order);
}

// --- loader ------------------------------------------------------------------------------

bool TForm1::LadenHexFile() {
    HexLoadResult result;
    const int from = Memo1.Count();
    bool ok = false;
    try {
        ok = corvana::LadenHexFile(
            Image, Memo1, LocalCodeFilePath(),
            [this](const std::string& text) {
                RecordShown(text);
                ui::MessageBox(text);
            },
            &result);
    } catch (...) {
        if (Record)
            Record->Loaded(result, Image, Memo1, from);
        throw;
    }
    if (Record)
        Record->Loaded(result, Image, Memo1, from);
    if (!ok)
        RecordResult("bad code file");
    return ok;
}

std::string TForm1::GetTempDirectory() const {
    return corvana::GetTempDirectory();
}

std::string TForm1::xIntToHex(int32_t value, int digits) const {
    return corvana::xIntToHex(value, digits);
}

// --- programming run ---------------------------------------------------------------------

bool TForm1::RunAbandoned(int showing) const {
    return !isVisible() || showing != showing_;
}

void TForm1::HardwareFailure(bool wrongHardware) {
    const corvana::FailureTexts texts = corvana::HardwareFailureTexts(wrongHardware, FBumwandeln());
    RecordShown(texts.german + " / " + texts.english);
    EnterFailureVariant(texts.german, texts.english);
}

// What the run reports, as this window shows it. A run belongs to the showing it began in.
class TForm1::RunView : public corvana::RunDisplay {
public:
    explicit RunView(TForm1& form) : form_(form), showing_(form.showing_) {}

    void HardwareFailure(bool wrongHardware) override { form_.HardwareFailure(wrongHardware); }
    void Message(const std::string& text) override {
        form_.RecordShown(text);
        ui::MessageBox(text);
    }
    bool Abandoned() override { return form_.RunAbandoned(showing_); }
    void TransferStarted(int total) override {
        form_.ProgressBlocks->setRange(0, total);
        form_.ProgressBlocks->setValue(0);
        form_.ProgressBlocks->show();
    }
    void BlockDone(int done, int) override { form_.ProgressBlocks->setValue(done); }
    void Finished() override {
        form_.EnterFinishedPage();
        form_.RecordShown(form_.LabelQYX4->Caption() + " / " + form_.LabelFB4->Caption());
    }

private:
    TForm1& form_;
    const int showing_;
};

int TForm1::OpenFernbedienung() {
    RunView view(*this);
    const corvana::RunOutcome outcome = Run.OpenFernbedienung(FB, view);
    if (outcome != corvana::RunOutcome::Prepared)
        RecordResult(corvana::OutcomeWord(outcome));
    return outcome == corvana::RunOutcome::Prepared ? 1 : 0;
}

void TForm1::SendenHEXFile() {
    RunView view(*this);
    const corvana::RunOutcome outcome = Run.SendenHEXFile(view);
    std::string word = corvana::OutcomeWord(outcome);
    if (outcome == corvana::RunOutcome::Programmed && !Run.result().wrong.empty())
        word += ", " + std::to_string(Run.result().wrong.size()) + " blocks answered wrongly";
    RecordResult(word);
}

void TForm1::CloseConn() {
    Run.CloseConn();
}

// --- run log -----------------------------------------------------------------------------

void TForm1::StartRecord() {
    EndRecord();
    const std::string url = LocationURL();
    Record = std::make_unique<corvana::RunRecord>("programming run, wizard", RemoteNumber(url));
    Record->Secret(PortalSessionId(url));
    Record->WatchLink(Link);
}

void TForm1::RecordOrder() {
    if (!Record)
        return;
    const std::string url = LocationURL();
    Record->Order({RemoteNumber(url), RemoteDesignation(url), FB, FBumwandeln(), eArtNR});
}

void TForm1::RecordShown(const std::string& text) {
    if (Record)
        Record->Shown(text);
}

void TForm1::RecordResult(const std::string& word) {
    if (Record)
        Record->Result(word);
}

void TForm1::EndRecord() {
    if (!Record)
        return;
    Record->UnwatchLink(Link);
    HttpClient1.SetObserver(nullptr);
    Record.reset();
}
