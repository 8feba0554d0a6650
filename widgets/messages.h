#pragma once
// Message boxes and the default error display. Every box goes through here, so tests can
// capture them instead of blocking on a modal dialog.

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace corvana::ui {

enum class MsgIcon { None, Information, Warning, Stop };

struct MessageRecord {
    std::string title;
    std::string text;
    MsgIcon icon;
};

// A modal box with an OK button, titled with the application title.
void MessageBox(const std::string& text, MsgIcon icon = MsgIcon::None);

// While a hook is set, boxes are handed to it and not shown.
using MessageHook = std::function<void(const MessageRecord&)>;
void setMessageHook(MessageHook hook);

// The executable's file name without folder, cut at its first ".".
std::string applicationTitle();

// The text the default error display shows: "." appended when the last character's code is
// above that of ".".
std::string errorDisplayText(const std::string& text);

// The default error display: a stop box with the error's text.
void showDefaultError(const std::exception& e);

// Runs an event handler of ours; an error it does not catch ends it and is shown by the
// default error display, so no exception ever reaches Qt's event dispatch.
template <typename F> void guarded(F&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        showDefaultError(e);
    } catch (...) {
        showDefaultError(std::runtime_error("Unbekannter Fehler"));
    }
}

} // namespace corvana::ui
