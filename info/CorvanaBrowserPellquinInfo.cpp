#include "info/CorvanaBrowserPellquinInfo.h"

#include <QLineEdit>
#include <QShowEvent>
#include <memory>

#include "runrecord/runrecord.h"
#include "util/hexconv.h"
#include "widgets/messages.h"
#include "widgets/pictures.h"

using namespace corvana;
using namespace corvana::widgets;

namespace {

QFont TextFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    f.setBold(true);
    return f;
}

} // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Corvana Pellquin Info"));
    setFont(TextFont());
    resize(515, 307);
    move(406, 337);
    setSizeGripEnabled(false);

    AdvPanel1 = new TAdvTabSheet(QStringLiteral("AdvPanel1"), this);
    AdvPanel1->setGeometry(0, 0, 515, 307);

    AdvPictureAuslesen = new TAdvPicture(pictures::ArrowRight(), AdvPanel1);
    AdvPictureAuslesen->setObjectName(QStringLiteral("AdvPictureAuslesen"));
    AdvPictureAuslesen->setGeometry(368, 27, 57, 54);

    auto text = [this](int left, int top, const char* caption, const QColor& colour) {
        auto* label = new TLabel(AdvPanel1, left, top, colour);
        label->setFont(TextFont());
        label->SetCaption(caption);
        return label;
    };
    Label3 = text(16, 40, "QYX-PQ auslesen:", Qt::black);
    Label4 = text(16, 59, "Read Out QYX-PQ:", Qt::black);
    Label5 = text(16, 106, "Angeschlossene Fernbedienung ist programmiert als:", Qt::black);
    Label6 = text(16, 130, "Remote Control connected is programmed as:", Qt::black);
    Label7 = text(16, 179, "Hardware Version:", Qt::black);
    Label1 = text(16, 206, "Keine Hardware angeschlossen!", Qt::red);
    Label2 = text(16, 228, "No Hardware connected!", Qt::red);
    Label1->hide();
    Label2->hide();

    auto edit = [this](int left, int top, int width, const char* name) {
        auto* e = new QLineEdit(AdvPanel1);
        e->setObjectName(QLatin1String(name));
        e->setReadOnly(true);
        e->setGeometry(left, top, width, 21);
        return e;
    };
    EditQYX = edit(368, 103, 121, "EditQYX");
    EditVersion = edit(368, 176, 49, "EditVersion");

    AdvPictureAuslesen->OnClick = [this] { ui::guarded([this] { AdvPictureAuslesenClick(); }); };
    AdvPictureAuslesen->OnMouseMove = [this](int X, int Y) {
        ui::guarded([&] { AdvPictureAuslesenMouseMove(X, Y); });
    };
    AdvPanel1->OnMouseMove = [this](int X, int Y) {
        ui::guarded([&] { AdvPanel1MouseMove(X, Y); });
    };
}

TForm2::~TForm2() = default;

void TForm2::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        ui::guarded([this] { FormShow(); });
}

void TForm2::done(int r) {
    // An hourglass or hand set here would otherwise stay on over the portal window.
    if (isVisible())
        SetScreenCursor(Qt::ArrowCursor);
    QDialog::done(r);
}

void TForm2::FormShow() {
    // The red lines stay: after a failed read-out they are still there when the window returns.
    EditQYX->clear();
    EditVersion->clear();
}

void TForm2::AdvPictureAuslesenClick() {
    Label1->hide();
    Label2->hide();
    OpenFernbedienung();
}

void TForm2::OpenFernbedienung() {
    // A click during a read-out's waits is refused by the read-out; it gets no log of its own.
    std::unique_ptr<RunRecord> record;
    if (!Link.observer()) {
        record = std::make_unique<RunRecord>("read-out, info window", "info");
        record->WatchLink(Link);
    }
    info::ReadOutResult result;
    try {
        result = ReadOut.OpenFernbedienung(*this);
    } catch (const std::exception& e) {
        if (record) {
            record->Result("error", ui::errorDisplayText(e.what()));
            record->UnwatchLink(Link);
        }
        throw;
    }
    if (record) {
        record->ReadOutEnded(result);
        record->UnwatchLink(Link);
    }
    if (result.outcome != info::Outcome::AlreadyRunning)
        LastResult = result;
}

void TForm2::testFB() {
    ReadOut.testFB(*this, LastResult);
}

int64_t TForm2::HexToInt64(const std::string& text) const {
    return corvana::HexToInt64(text);
}

std::string TForm2::xIntToHex(int32_t value, int digits) const {
    return corvana::xIntToHex(value, digits);
}

void TForm2::AdvPictureAuslesenMouseMove(int, int) {
    SetScreenCursor(Qt::PointingHandCursor);
}

void TForm2::AdvPanel1MouseMove(int X, int Y) {
    const QWidget* b = AdvPictureAuslesen;
    const bool inside =
        X >= b->x() && X <= b->x() + b->width() && Y >= b->y() && Y <= b->y() + b->height();
    if (!inside)
        SetScreenCursor(Qt::ArrowCursor);
}

void TForm2::ClearFields() {
    EditQYX->clear();
    EditVersion->clear();
}

void TForm2::Busy() {
    SetScreenCursor(Qt::WaitCursor);
}

void TForm2::ShowResult(const std::string& designation, const std::string& hardwareVersion) {
    EditQYX->setText(QString::fromStdString(designation));
    EditVersion->setText(QString::fromStdString(hardwareVersion));
}

void TForm2::Ready() {
    SetScreenCursor(Qt::ArrowCursor);
}

void TForm2::NoHardware() {
    Label1->show();
    Label2->show();
    EditQYX->clear();
    EditVersion->clear();
    SetScreenCursor(Qt::ArrowCursor);
}
