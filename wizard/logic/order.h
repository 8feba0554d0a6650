#pragma once
// The order as the portal carries it in the page address, and the file-name step.
//
// Nothing is parsed once and kept: every step reads the address anew and cuts its piece with
// plain text operations on the whole address (bytes, positions from 1, first occurrence of a
// marker, a missing marker at position 0). No URL parsing, no decoding: the portal's
// markers are where the cuts look, wherever they stand.

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace corvana {

// The cuts. `A` is the portal address as narrow text (the browser's LocationURL converted
// to the system code page by the caller). None fails; a missing marker gives a defined,
// possibly meaningless piece.
std::string RemoteNumber(std::string_view A);      // 5 characters from "a=" + 5
std::string RemoteDesignation(std::string_view A); // from the number up to and with "PQ"
std::string CodeFileNumber(std::string_view A);    // the number without separator and "PQ"
std::string PortalSessionId(std::string_view A);   // between "(S(" and "))/"
std::string DeviceTypeCode(std::string_view A);    // 2 characters after "FB="

struct DeviceType {
    std::string_view code;   // DeviceTypeCode
    std::string_view prefix; // of the code-file name
    std::string_view name;   // DeviceTypeName
};
inline constexpr std::array<DeviceType, 6> kDeviceTypes{{
    {"00", "PQT_", "TV1"},
    {"01", "PQV_", "VCR1"},
    {"02", "PQD_", "DVD"},
    {"03", "PQS_", "STB1"},
    {"04", "PQC1_", "TVC1"},
    {"05", "PQC2_", "TVC2"},
}};

// The table row whose code equals `code` exactly, or nullptr.
const DeviceType* FindDeviceType(std::string_view code);
// The row's prefix; empty for a code not in the table.
std::string CodeFilePrefix(std::string_view code);
// The row's name; the code itself, unchanged, for a code not in the table.
std::string DeviceTypeName(std::string_view code);

// Reads the browser's current address, synchronously, each time it is called.
using AddressReader = std::function<std::string()>;

// The wizard's hidden single-line fields that the file-name step fills. Empty at creation;
// only ButtonURLClick writes them, and they keep their values until it runs again.
struct OrderFields {
    std::string FB;     // DeviceTypeCode exactly as cut, also when not in the table
    std::string eArtNR; // prefix + CodeFileNumber + ".hex", the file asked of the code server
};

// The file-name step: reads the address (CodeFileNumber), reads it again (DeviceTypeCode),
// writes FB and eArtNR.
void ButtonURLClick(const AddressReader& readAddress, OrderFields& fields);

// Reads the address and returns the DeviceTypeName of its DeviceTypeCode.
std::string FBumwandeln(const AddressReader& readAddress);

} // namespace corvana
