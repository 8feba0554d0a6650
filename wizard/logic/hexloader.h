#pragma once
// The code-file loader: fills the memory image from the downloaded code file (Intel HEX
// record layout, data records of type 20, end record 01) and logs what it reads.

#include "util/stringlist.h"
#include "wizard/logic/memoryimage.h"

#include <functional>
#include <string>
#include <string_view>

namespace corvana {

// Shows a modal message box with an OK button (the wizard passes ui::MessageBox); may be
// empty, then nothing is shown.
using MessageFn = std::function<void(const std::string&)>;

// What a load met, beyond the Boolean, for a caller that reports on the file itself (the
// technician's command line). Filled on every way out, also before an error is raised.
struct HexLoadResult {
    bool ok = false;          // what LadenHexFile returned; false when it raised
    int lines = 0;            // lines read, blank lines included
    int records = 0;          // lines taken as records
    int errorLine = 0;        // line (from 1) of the record that stopped the load: a
                              // checksum mismatch or a field that is not hexadecimal; 0 if none
    std::string errorText;    // the checksum message or the raised error's text
    int droppedBytes = 0;     // data bytes addressed above 7FFF, for which the image has no cell
    int firstDroppedLine = 0; // line of the first record with such bytes
};

// Resets the image, reads the code file at `path` record by record into it and returns true
// when the whole file was read, false after a data record's checksum did not match (after
// showing "Check Sum Error!!!!!-- [<address>]"). Each record logs "Status <type>",
// "ChkSum <sum>", "Address <address>", "Size <count>" into Memo1; an end record logs
// "SE_adress1<end>", sets image.se_address2 and runs ROM_CHECK_SUM.
//
// Data beyond the image: bytes addressed above 7FFF are converted and counted in the
// record's checksum but not stored, and the end address never goes beyond 7FFF, so neither
// the sum nor the programming run reaches outside the image. The result counts such bytes.
//
// Raises EInOutError ("Datei nicht gefunden", "Dateizugriff verweigert", "E/A-Fehler %d")
// when the file cannot be opened or read, EConvertError ("'$..' ist kein gültiger
// Integerwert") for a field that is not hexadecimal; the image keeps what was loaded. The
// file is closed on every way out.
bool LadenHexFile(MemoryImage& image, StringList& Memo1, const std::string& path,
                  const MessageFn& showMessage, HexLoadResult* result = nullptr);

// The same load from text in memory (line ends LF, CR LF or CR, as in the file).
bool LoadHexText(MemoryImage& image, StringList& Memo1, std::string_view content,
                 const MessageFn& showMessage, HexLoadResult* result = nullptr);

// Appends to Memo1 the sum of the image bytes from se_Address1 to se_address2 inclusive,
// modulo 65536, as four upper-case hexadecimal digits. With the end below the start it
// shows "Start & End Address Error!!!!" and logs nothing. Raises EConvertError when either
// text is not hexadecimal. Addresses outside the image are not summed.
void ROM_CHECK_SUM(const MemoryImage& image, StringList& Memo1, const MessageFn& showMessage);

// Where the download puts the code file: "Printer.drv" in the private temporary directory.
std::string LocalCodeFilePath();

} // namespace corvana
