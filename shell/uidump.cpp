#include "shell/uidump.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTextStream>
#include <QToolButton>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

#include "info/CorvanaBrowserPellquinInfo.h"
#include "shell/CorvanaBrowserLogin.h"
#include "shell/appstate.h"
#include "shell/browser.h"
#include "shell/corvanabrowser.h"
#include "wizard/CorvanaBrowserPellquin.h"

namespace corvana::ui {

namespace {

int requestPipe[2] = {-1, -1};
int sequence = 0;

void onDumpSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(requestPipe[1], &byte, 1);
}

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"));
}

QString textOf(const QWidget* w) {
    if (auto* l = qobject_cast<const QLabel*>(w))
        return l->text();
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->displayText(); // a masked field as masked as on the screen
    if (auto* c = qobject_cast<const QComboBox*>(w))
        return c->currentText();
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (auto* p = qobject_cast<const QProgressBar*>(w))
        return QString::number(p->value());
    return {};
}

// The browser's address without the value of its passcode parameter: the login address holds
// the passcode in clear, and nobody sees the address on the screen.
QString withoutPasscode(QString url) {
    static const QLatin1String key("passcode=");
    for (qsizetype at = url.indexOf(key, 0, Qt::CaseInsensitive); at >= 0;
         at = url.indexOf(key, at, Qt::CaseInsensitive)) {
        at += key.size();
        qsizetype end = at;
        while (end < url.size() && url[end] != QLatin1Char('&') && url[end] != QLatin1Char('#'))
            ++end;
        url.remove(at, end - at);
    }
    return url;
}

// W <name> <visible> <left> <top> <width> <height> <text>, the rectangle in screen pixels.
void control(QTextStream& out, const QString& name, const QWidget* w) {
    if (!w)
        return;
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    out << "W\t" << name << '\t' << (w->isVisible() ? 1 : 0) << '\t' << at.x() << '\t' << at.y()
        << '\t' << w->width() << '\t' << w->height() << '\t' << oneLine(textOf(w)) << '\n';
}

struct Named {
    const char* name;
    const QWidget* widget;
};
using Controls = std::initializer_list<Named>;

void controls(QTextStream& out, const char* form, Controls list) {
    for (const auto& [name, w] : list)
        control(out, QLatin1String(form) + QLatin1Char('.') + QLatin1String(name), w);
}

void writeDump() {
    const QString path = qEnvironmentVariable("CORVANA_UI_DUMP");
    const QByteArray tmp = QFile::encodeName(path + QStringLiteral(".tmp"));
    QFile file;
    // Its owner's only, whatever the umask or a file left over from an earlier run.
    const int fd =
        ::open(tmp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    if (::fchmod(fd, 0600) != 0 ||
        !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
    QTextStream out(&file);
    out << "seq\t" << sequence++ << '\n';
    if (Form4) {
        controls(out, "Form4",
                 {{"", Form4},
                  {"WebBrowser1", Form4->WebBrowser1 ? Form4->WebBrowser1->widget() : nullptr},
                  {"AdvToolBarButton5", Form4->AdvToolBarButton5},
                  {"AdvToolBarButton7", Form4->AdvToolBarButton7},
                  {"AdvToolBarButton8", Form4->AdvToolBarButton8},
                  {"AdvToolBarButton1", Form4->AdvToolBarButton1}});
        if (Form4->WebBrowser1)
            out << "LocationURL\t" << oneLine(withoutPasscode(Form4->WebBrowser1->LocationURL()))
                << '\n';
    }
    if (Form3)
        controls(out, "Form3",
                 {{"", Form3},
                  {"Edit1", Form3->Edit1},
                  {"Edit2", Form3->Edit2},
                  {"ComboBox1", Form3->ComboBox1},
                  {"ComboBox1.list", Form3->ComboBox1->view()},
                  {"Button1", Form3->Button1}});
    if (Form1) {
        controls(out, "Form1",
                 {{"", Form1},
                  {"AdvPictureWeiter", Form1->AdvPictureWeiter},
                  {"AdvPictureDownload", Form1->AdvPictureDownload},
                  {"AdvPictureFertig", Form1->AdvPictureFertig},
                  {"AdvPicture2", Form1->AdvPicture2},
                  {"AdvPictureHilf", Form1->AdvPictureHilf},
                  {"LabelQYX8", Form1->LabelQYX8},
                  {"LabelFB8", Form1->LabelFB8},
                  {"LabelQYX3", Form1->LabelQYX3},
                  {"LabelFB3", Form1->LabelFB3},
                  {"LabelQYX4", Form1->LabelQYX4},
                  {"LabelFB4", Form1->LabelFB4},
                  {"LabelQYX5", Form1->LabelQYX5},
                  {"LabelFB5", Form1->LabelFB5},
                  {"Label12", Form1->Label12},
                  {"Label13", Form1->Label13},
                  {"ProgressBlocks", Form1->ProgressBlocks}});
        if (const QWidget* page = Form1->AdvPageControl1->ActivePage())
            out << "Form1.ActivePage\t" << page->objectName() << '\n';
    }
    if (Form2)
        controls(out, "Form2",
                 {{"", Form2},
                  {"AdvPictureAuslesen", Form2->AdvPictureAuslesen},
                  {"EditQYX", Form2->EditQYX},
                  {"EditVersion", Form2->EditVersion},
                  {"Label1", Form2->Label1},
                  {"Label2", Form2->Label2}});
    // Message boxes, so the driver can tell an error shown from a step that is still running.
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<const QMessageBox*>(w); box && box->isVisible())
            out << "Box\t" << oneLine(box->windowTitle()) << '\t' << oneLine(box->text()) << '\n';
    out.flush();
    file.close();
    ::rename(tmp.constData(), QFile::encodeName(path).constData());
}

} // namespace

void InstallUiDump() {
    if (qEnvironmentVariableIsEmpty("CORVANA_UI_DUMP") || requestPipe[0] >= 0)
        return;
    if (::pipe2(requestPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(requestPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buf[16];
        while (::read(requestPipe[0], buf, sizeof buf) > 0) {
        }
        writeDump();
    });
    struct sigaction sa {};
    sa.sa_handler = onDumpSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &sa, nullptr);
    writeDump();
}

} // namespace corvana::ui
