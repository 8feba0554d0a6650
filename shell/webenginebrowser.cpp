#include "shell/webenginebrowser.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QRandomGenerator>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include "util/errors.h"
#include "widgets/messages.h"

namespace corvana {
namespace {

// The errors the control reports, in the texts the error display shows for them.
constexpr const char* kFailed = "Unbekannter Fehler";        // E_FAIL
constexpr const char* kNotSupported = "OLE-Fehler 80040100"; // OLECMDERR_E_NOTSUPPORTED
constexpr const char* kDisabled = "OLE-Fehler 80040101";     // OLECMDERR_E_DISABLED
constexpr const char* kPrintFailed = "Der Druckauftrag ist fehlgeschlagen";

// Reports every document that a frame reaches, frames included, and pages restored from the
// back-forward cache (they get no new document). Runs in a world of its own, so the page's
// scripts can neither see the tag nor fake a report.
QString reportScript(const QString& tag) {
    return QStringLiteral(R"JS((function () {
  var report = function () {
    console.log("%1" + (window.top === window ? "T" : "F") + location.href);
  };
  report();
  window.addEventListener("pageshow", function (e) { if (e.persisted) report(); });
})();)JS")
        .arg(tag);
}

} // namespace

// The page: picks our reports out of the console and keeps new windows in this control.
class WebEngineBrowser::Page final : public QWebEnginePage {
public:
    Page(WebEngineBrowser* owner, QObject* parent)
        : QWebEnginePage(QWebEngineProfile::defaultProfile(), parent), owner_(owner),
          tag_(QStringLiteral("\x1f") +
               QString::number(QRandomGenerator::system()->generate64(), 36) +
               QStringLiteral(" ")) {
        QWebEngineScript script;
        script.setName(QStringLiteral("corvana-navigate-complete"));
        script.setSourceCode(reportScript(tag_));
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setWorldId(QWebEngineScript::ApplicationWorld);
        script.setRunsOnSubFrames(true);
        scripts().insert(script);
        // The portal's "new window" links open here: a window outside the tool would not
        // open the wizard.
        connect(this, &QWebEnginePage::newWindowRequested, this,
                [this](QWebEngineNewWindowRequest& request) { load(request.requestedUrl()); });
    }

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override {
        if (!message.startsWith(tag_) || message.size() < tag_.size() + 1) {
            QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
            return;
        }
        const bool topLevel = message.at(tag_.size()) == QLatin1Char('T');
        owner_->documentReached(message.mid(tag_.size() + 1), topLevel);
    }

private:
    WebEngineBrowser* owner_;
    QString tag_;
};

WebEngineBrowser::WebEngineBrowser() : view_(new QWebEngineView()) {
    page_ = new Page(this, view_);
    view_->setPage(page_);
}

WebEngineBrowser::~WebEngineBrowser() {
    // The view may already be gone with its window; otherwise it goes (with its page) now.
    delete view_.data();
}

QWidget* WebEngineBrowser::widget() {
    return view_;
}

void WebEngineBrowser::documentReached(const QString& URL, bool topLevel) {
    // Reported from inside the engine's own dispatch: the handler (which may run the
    // wizard's modal loop) runs from our event loop instead, in the order of the reports.
    QMetaObject::invokeMethod(
        this, [this, URL, topLevel] { ui::guarded([&] { fireNavigateComplete2(URL, topLevel); }); },
        Qt::QueuedConnection);
}

void WebEngineBrowser::Navigate(const QString& URL) {
    page_->load(QUrl(URL));
}

void WebEngineBrowser::GoBack() {
    if (!page_->history()->canGoBack())
        throw EBrowserError(kFailed);
    page_->triggerAction(QWebEnginePage::Back);
}

void WebEngineBrowser::GoForward() {
    if (!page_->history()->canGoForward())
        throw EBrowserError(kFailed);
    page_->triggerAction(QWebEnginePage::Forward);
}

void WebEngineBrowser::Refresh() {
    page_->triggerAction(QWebEnginePage::Reload);
}

QString WebEngineBrowser::LocationURL() const {
    return page_->url().toString(QUrl::FullyEncoded);
}

void WebEngineBrowser::ExecWB(int cmdID, int cmdexecopt) {
    if (cmdID != OLECMDID_PRINT)
        throw EBrowserError(kNotSupported);
    if (cmdexecopt != OLECMDEXECOPT_DODEFAULT && cmdexecopt != OLECMDEXECOPT_PROMPTUSER &&
        cmdexecopt != OLECMDEXECOPT_DONTPROMPTUSER)
        throw EBrowserError(kNotSupported);
    if (page_->url().isEmpty() || printer_)
        throw EBrowserError(kDisabled); // nothing to print, or a job still running
    print(cmdexecopt != OLECMDEXECOPT_DONTPROMPTUSER);
}

void WebEngineBrowser::print(bool prompt) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(page_->title());
    if (prompt) {
        QPrintDialog dialog(printer.get(), view_ ? view_->window() : nullptr);
        if (dialog.exec() != QDialog::Accepted)
            return;
    }
    printer_ = std::move(printer);
    connect(
        view_, &QWebEngineView::printFinished, this,
        [this](bool ok) {
            printer_.reset();
            if (!ok)
                ui::showDefaultError(EBrowserError(kPrintFailed));
        },
        Qt::SingleShotConnection);
    view_->print(printer_.get());
}

} // namespace corvana
