#pragma once
// The browser control on Qt WebEngine.

#include <QObject>
#include <QPointer>
#include <memory>

#include "shell/browser.h"

class QPrinter;
class QWebEngineView;

namespace corvana {

class WebEngineBrowser final : public QObject, public TWebBrowser {
    Q_OBJECT
public:
    WebEngineBrowser();
    ~WebEngineBrowser() override;

    QWidget* widget() override;
    void Navigate(const QString& URL) override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    void ExecWB(int cmdID, int cmdexecopt) override;
    QString LocationURL() const override;

private:
    class Page;
    void documentReached(const QString& URL, bool topLevel);
    void print(bool prompt);

    QPointer<QWebEngineView> view_;
    Page* page_ = nullptr;
    std::unique_ptr<QPrinter> printer_; // alive while a print job runs
};

} // namespace corvana
