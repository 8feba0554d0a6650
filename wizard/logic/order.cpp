#include "wizard/logic/order.h"

#include "util/textpos.h"

namespace corvana {
namespace {

long long len(std::string_view t) {
    return static_cast<long long>(t.size());
}

// Everything from the first character of the number on: "a=" and the three letters of the
// product-line prefix are skipped, whatever those letters are.
std::string fromNumber(std::string_view A) {
    return Copy(A, Pos("a=", A) + 5, len(A));
}

} // namespace

std::string RemoteNumber(std::string_view A) {
    return Copy(A, Pos("a=", A) + 5, 5);
}

std::string RemoteDesignation(std::string_view A) {
    const std::string R = fromNumber(A);
    return Copy(R, 1, Pos("PQ", R) + 1);
}

std::string CodeFileNumber(std::string_view A) {
    // Drops "PQ" and the one separator character before it.
    const std::string R = fromNumber(A);
    return Copy(R, 1, Pos("PQ", R) - 2);
}

std::string PortalSessionId(std::string_view A) {
    const std::string T = Copy(A, Pos("(S(", A) + 3, len(A));
    return Copy(T, 1, Pos("))/", T) - 1);
}

std::string DeviceTypeCode(std::string_view A) {
    return Copy(A, Pos("FB=", A) + 3, 2);
}

const DeviceType* FindDeviceType(std::string_view code) {
    for (const auto& row : kDeviceTypes)
        if (row.code == code)
            return &row;
    return nullptr;
}

std::string CodeFilePrefix(std::string_view code) {
    const DeviceType* row = FindDeviceType(code);
    return row ? std::string(row->prefix) : std::string();
}

std::string DeviceTypeName(std::string_view code) {
    const DeviceType* row = FindDeviceType(code);
    return std::string(row ? row->name : code);
}

void ButtonURLClick(const AddressReader& readAddress, OrderFields& fields) {
    const std::string number = CodeFileNumber(readAddress());
    const std::string code = DeviceTypeCode(readAddress());
    fields.FB = code;
    fields.eArtNR = CodeFilePrefix(code) + number + ".hex";
}

std::string FBumwandeln(const AddressReader& readAddress) {
    return DeviceTypeName(DeviceTypeCode(readAddress()));
}

} // namespace corvana
