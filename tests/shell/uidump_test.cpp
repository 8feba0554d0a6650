// The test twin's read-out of the windows: what a person sees, for its owner only.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "shell/CorvanaBrowserLogin.h"
#include "shell/application.h"
#include "shell/appstate.h"
#include "shell/corvanabrowser.h"
#include "shell/uidump.h"
#include "tests/support/fakebrowser.h"
#include "tests/support/scratchdir.h"

using namespace corvana;

namespace {

QString readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The line of the read-out that starts with `head`, without it.
QString line(const QString& dump, const QString& head) {
    for (const QString& l : dump.split('\n'))
        if (l.startsWith(head))
            return l.mid(head.size());
    return QStringLiteral("<none>");
}

} // namespace

TEST(UiDump, WritesWhatAPersonSeesForItsOwnerOnly) {
    test::TempDir dir;
    const std::string path = dir.file("ui.dump");
    test::ScopedEnv dump{"CORVANA_UI_DUMP", path};
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir.path()};
    // A temporary file left by an earlier run, readable by everyone.
    dir.write("ui.dump.tmp", "old");
    ::chmod((path + ".tmp").c_str(), 0644);

    auto* fake = new test::FakeBrowser;
    Form4 = new TForm4(std::unique_ptr<TWebBrowser>(fake));
    Form3 = new TForm3();
    fake->location = "http://h/Login.aspx?SPK=DE&userid=kunde&passcode=Geh%26eim1#top";
    Form3->Edit1->setText("kunde");
    Form3->Edit2->setEchoMode(QLineEdit::Password); // as in edit mode
    Form3->Edit2->setText("Geheim1");

    ui::InstallUiDump(); // the first read-out at once
    QString text = readAll(path);
    ASSERT_EQ(line(text, "seq\t"), "0");
    EXPECT_FALSE(text.contains("Geh")) << text.toStdString();
    EXPECT_EQ(line(text, "LocationURL\t"), "http://h/Login.aspx?SPK=DE&userid=kunde&passcode=#top");
    EXPECT_TRUE(line(text, "W\tForm3.Edit2\t").endsWith("\t" + Form3->Edit2->displayText()));
    EXPECT_TRUE(line(text, "W\tForm3.Edit1\t").endsWith("\tkunde"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A field shown in clear reads in clear; the signal asks for the next read-out.
    Form3->Edit2->setEchoMode(QLineEdit::Normal);
    ::raise(SIGUSR1);
    QElapsedTimer waited;
    waited.start();
    while (line(text = readAll(path), "seq\t") != "1" && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(line(text, "seq\t"), "1");
    EXPECT_TRUE(line(text, "W\tForm3.Edit2\t").endsWith("\tGeheim1"));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    DestroyWindowSet();
}
