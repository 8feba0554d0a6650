#pragma once
// A browser control for window tests: it records what the windows ask of it, keeps a
// history like a browser's, and completes navigations only when the test says so.
//
//   auto* fake = new corvana::test::FakeBrowser;
//   TForm4 form(std::unique_ptr<corvana::TWebBrowser>(fake));   // the window owns it
//   fake->finish();                      // complete the last Navigate (top level)
//   fake->complete("http://h/x", false); // a frame completing inside the page
//   fake->location = "http://h/(S(s))/DownloadFB.aspx?a=QYX12345-PQ&FB=02"; // what
//                                         // LocationURL gives, set directly
//
// Or for windows that reach the browser through Form4 (the login window, the wizard):
//   corvana::setBrowserFactory([] { return std::make_unique<corvana::test::FakeBrowser>(); });
//   Form4 = new TForm4();  auto* fake = corvana::test::FakeBrowser::of(Form4->WebBrowser1);

#include <QPointer>
#include <QString>
#include <QWidget>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "shell/browser.h"
#include "util/errors.h"

namespace corvana::test {

class FakeBrowser : public TWebBrowser {
public:
    FakeBrowser() : widget_(new QWidget) {}
    ~FakeBrowser() override { delete widget_.data(); }

    static FakeBrowser* of(TWebBrowser* b) { return dynamic_cast<FakeBrowser*>(b); }

    QWidget* widget() override { return widget_; }

    void Navigate(const QString& URL) override { navigated.push_back(URL); }

    void GoBack() override {
        ++backCalls;
        if (index <= 0)
            throw EBrowserError("Unbekannter Fehler");
        complete(history[--index], true);
    }

    void GoForward() override {
        ++forwardCalls;
        if (index + 1 >= static_cast<int>(history.size()))
            throw EBrowserError("Unbekannter Fehler");
        complete(history[++index], true);
    }

    void Refresh() override {
        ++refreshCalls;
        if (refreshError)
            std::rethrow_exception(refreshError);
    }

    void ExecWB(int cmdID, int cmdexecopt) override {
        execCalls.emplace_back(cmdID, cmdexecopt);
        if (execError)
            std::rethrow_exception(execError);
    }

    QString LocationURL() const override { return location; }

    // Completes the last Navigate as a top-level page: history and address move on.
    void finish() { reach(navigated.at(navigated.size() - 1)); }

    // A new top-level page: it becomes the history's newest entry and the address.
    void reach(const QString& URL) {
        if (index + 1 < static_cast<int>(history.size()))
            history.resize(static_cast<size_t>(index + 1));
        history.push_back(URL);
        index = static_cast<int>(history.size()) - 1;
        complete(URL, true);
    }

    // Raises NavigateComplete2; a top-level completion sets the address first.
    void complete(const QString& URL, bool topLevel) {
        if (topLevel)
            location = URL;
        fireNavigateComplete2(URL, topLevel);
    }

    std::vector<QString> navigated;
    std::vector<QString> history;
    int index = -1;
    QString location;
    int backCalls = 0, forwardCalls = 0, refreshCalls = 0;
    std::vector<std::pair<int, int>> execCalls;
    std::exception_ptr refreshError, execError; // raised by Refresh / ExecWB when set

private:
    QPointer<QWidget> widget_;
};

} // namespace corvana::test
