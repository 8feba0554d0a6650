#include "shell/browser.h"

#include "shell/webenginebrowser.h"

namespace corvana {
namespace {

BrowserFactory& factory() {
    static BrowserFactory f;
    return f;
}

} // namespace

void setBrowserFactory(BrowserFactory f) {
    factory() = std::move(f);
}

std::unique_ptr<TWebBrowser> createBrowser() {
    if (factory())
        return factory()();
    return std::make_unique<WebEngineBrowser>();
}

std::string narrowText(const QString& wide) {
    return wide.toLocal8Bit().toStdString();
}

QString wideText(const std::string& narrow) {
    return QString::fromLocal8Bit(narrow.data(), static_cast<qsizetype>(narrow.size()));
}

} // namespace corvana
