#pragma once
// The embedded browser control as the windows use it. The main window owns one as
// `WebBrowser1`; the login window navigates it and the wizard reads its address, both
// through Form4. Behind it stands Qt WebEngine (webenginebrowser.h) or, in tests, a fake.

#include <QString>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace corvana {

// ExecWB command and options, numbered as the platform's OLE command ids.
inline constexpr int OLECMDID_PRINT = 6;
inline constexpr int OLECMDEXECOPT_DODEFAULT = 0;
inline constexpr int OLECMDEXECOPT_PROMPTUSER = 1;
inline constexpr int OLECMDEXECOPT_DONTPROMPTUSER = 2;

class TWebBrowser {
public:
    virtual ~TWebBrowser() = default;

    // The control itself, to be placed in a window's layout (the window becomes its parent).
    virtual QWidget* widget() = 0;

    // Starts loading `URL` and returns at once; completion arrives as NavigateComplete2.
    virtual void Navigate(const QString& URL) = 0;
    // Show the previous / next page of the history; EBrowserError when there is none.
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    // Loads the current page again.
    virtual void Refresh() = 0;
    // OLECMDID_PRINT with OLECMDEXECOPT_PROMPTUSER opens the print dialog for the current
    // page. Unsupported commands and failures raise EBrowserError.
    virtual void ExecWB(int cmdID, int cmdexecopt) = 0;
    // The address of the top-level page. Inside a NavigateComplete2 handler of a top-level
    // navigation it is already the address that has just been reached.
    virtual QString LocationURL() const = 0;

    // Raised on the UI thread once for every completed navigation, frames included.
    // `topLevel` is false for a frame inside the page; `URL` is the navigated frame's
    // address. The handler may run a modal window before it returns.
    using NavigateComplete2Handler = std::function<void(const QString& URL, bool topLevel)>;
    NavigateComplete2Handler OnNavigateComplete2;

protected:
    void fireNavigateComplete2(const QString& URL, bool topLevel) {
        if (OnNavigateComplete2)
            OnNavigateComplete2(URL, topLevel);
    }
};

// Makes the browser for a new main window. Tests replace it to get a fake without
// touching the window set's creation.
using BrowserFactory = std::function<std::unique_ptr<TWebBrowser>()>;
void setBrowserFactory(BrowserFactory factory); // empty: back to Qt WebEngine
std::unique_ptr<TWebBrowser> createBrowser();

// Wide text (what the control takes and gives) and narrow text (8-bit, the system's code
// page, what the callers cut and compare) of an address.
std::string narrowText(const QString& wide);
QString wideText(const std::string& narrow);

} // namespace corvana
