#pragma once
// The error kinds the library layers raise. Each carries the exact text a user sees in the
// default error display; callers that need to tell them apart catch the specific type.

#include <stdexcept>
#include <string>

namespace corvana {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& text) : std::runtime_error(text) {}
};

// Text that is not a number ("'$xy' ist kein gültiger Integerwert").
class EConvertError : public Exception {
    using Exception::Exception;
};

// File input/output ("Datei nicht gefunden", "E/A-Fehler %d", ...).
class EInOutError : public Exception {
public:
    EInOutError(const std::string& text, int code) : Exception(text), errorCode(code) {}
    int errorCode;
};

// Registry write failures.
class ERegistryError : public Exception {
    using Exception::Exception;
};

// Serial port failures; `code` is the port's own error number, `osError` the platform's.
class EComPortError : public Exception {
public:
    EComPortError(const std::string& text, int code, int osErr)
        : Exception(text), errorCode(code), osError(osErr) {}
    int errorCode;
    int osError;
};

// Socket failures ("Socket-Fehler # %d\r\n%s").
class ESocketError : public Exception {
public:
    ESocketError(const std::string& text, int osErr) : Exception(text), osError(osErr) {}
    int osError;
};

// An FTP reply with a code the step does not accept; the text is the reply's text lines.
class EReplyError : public Exception {
public:
    EReplyError(const std::string& text, int code) : Exception(text), replyCode(code) {}
    int replyCode;
};

// Protocol-level failures (closed connection, over-long line, an HTTP status we do not take).
class EProtocolError : public Exception {
public:
    EProtocolError(const std::string& text, int code = 0) : Exception(text), statusCode(code) {}
    int statusCode;
};

// The browser control reports failure of an operation (no page in that direction, ...).
class EBrowserError : public Exception {
    using Exception::Exception;
};

} // namespace corvana
