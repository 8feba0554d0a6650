#pragma once
// The user's temporary directory and the file errors the tool raises.

#include "platform/privatetempdir.h"
#include "util/errors.h"

#include <string>

namespace corvana {

// The user's temporary directory (see platform/privatetempdir.h), ending in the separator. Raises
// EInOutError when the platform cannot give one.
std::string GetTempDirectory();

// The input/output error for a platform error number, as the run-time library words it:
// "Datei nicht gefunden" for a missing file, "Dateizugriff verweigert" for a denied access,
// otherwise "E/A-Fehler <err>". errorCode carries `err`.
EInOutError InOutError(int err);

} // namespace corvana
