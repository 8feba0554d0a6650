#include <gtest/gtest.h>

#include "wizard/logic/order.h"

#include <vector>

using namespace corvana;

namespace {

const std::string kBase = "http://www.corvana.de/Corvana/(S(k3j2h1))/DownloadFB.aspx?";

struct Row {
    std::string address;
    std::string number, designation, codeFileNumber, session, code;
    std::string eArtNR, name; // what the file-name step writes and FBumwandeln returns
};

const std::vector<Row> kRows = {
    // The portal's own form.
    {kBase + "a=QYX12345-PQ&FB=02", "12345", "12345-PQ", "12345", "k3j2h1", "02", "PQD_12345.hex",
     "DVD"},
    {"", "", "", "", "", "", ".hex", ""},
    // Without "a=" the cuts start at position 5: "://" and the host's first characters.
    {kBase + "FB=01", "://ww", ":", "", "k3j2h1", "01", "PQV_.hex", "VCR1"},
    // Nothing left after the prefix.
    {kBase + "FB=03&a=QY", "", "", "", "k3j2h1", "03", "PQS_.hex", "STB1"},
    {kBase + "FB=03&a=QYX", "", "", "", "k3j2h1", "03", "PQS_.hex", "STB1"},
    // The number is always five characters, the file number ends before the separator.
    {kBase + "a=QYX1234-PQ&FB=00", "1234-", "1234-PQ", "1234", "k3j2h1", "00", "PQT_1234.hex",
     "TV1"},
    // Without separator the last digit is taken for one.
    {kBase + "a=QYX12345PQ&FB=04", "12345", "12345PQ", "1234", "k3j2h1", "04", "PQC1_1234.hex",
     "TVC1"},
    {kBase + "FB=05&a=QYX12345-XY", "12345", "1", "", "k3j2h1", "05", "PQC2_.hex", "TVC2"},
    {kBase + "a=QYXPQ123&FB=02", "PQ123", "PQ", "", "k3j2h1", "02", "PQD_.hex", "DVD"},
    // The first "a=" counts, even at the end of another key.
    {kBase + "data=12&a=QYX12345-PQ&FB=02", "a=QYX", "a=QYX12345-PQ", "a=QYX12345", "k3j2h1", "02",
     "PQD_a=QYX12345.hex", "DVD"},
    // Without "FB=" (or with it in lower case) the code is characters 3 and 4.
    {kBase + "a=QYX12345-PQ", "12345", "12345-PQ", "12345", "k3j2h1", "tp", "12345.hex", "tp"},
    {kBase + "a=QYX12345-PQ&fb=02", "12345", "12345-PQ", "12345", "k3j2h1", "tp", "12345.hex",
     "tp"},
    {kBase + "a=QYX12345-PQ&FB=07", "12345", "12345-PQ", "12345", "k3j2h1", "07", "12345.hex",
     "07"},
    {kBase + "a=QYX12345-PQ&FB=", "12345", "12345-PQ", "12345", "k3j2h1", "", "12345.hex", ""},
    {kBase + "a=QYX12345-PQ&FB=3", "12345", "12345-PQ", "12345", "k3j2h1", "3", "12345.hex", "3"},
    {kBase + "a=QYX12345-PQ&FB=021", "12345", "12345-PQ", "12345", "k3j2h1", "02", "PQD_12345.hex",
     "DVD"},
    // The session: without "(S(" from the third character, without "))/" nothing, and a
    // "))/" before "(S(" does not count.
    {"http://www.corvana.de/Corvana/k3j2h1))/DownloadFB.aspx?a=QYX12345-PQ&FB=02", "12345",
     "12345-PQ", "12345", "tp://www.corvana.de/Corvana/k3j2h1", "02", "PQD_12345.hex", "DVD"},
    {"http://www.corvana.de/Corvana/(S(k3j2h1)/DownloadFB.aspx?a=QYX12345-PQ&FB=02", "12345",
     "12345-PQ", "12345", "", "02", "PQD_12345.hex", "DVD"},
    {"http://h/))/x/(S(abc))/DownloadFB.aspx?a=QYX12345-PQ&FB=02", "12345", "12345-PQ", "12345",
     "abc", "02", "PQD_12345.hex", "DVD"},
};

} // namespace

TEST(OrderCuts, AddressTable) {
    for (const auto& r : kRows) {
        SCOPED_TRACE(r.address);
        EXPECT_EQ(RemoteNumber(r.address), r.number);
        EXPECT_EQ(RemoteDesignation(r.address), r.designation);
        EXPECT_EQ(CodeFileNumber(r.address), r.codeFileNumber);
        EXPECT_EQ(PortalSessionId(r.address), r.session);
        EXPECT_EQ(DeviceTypeCode(r.address), r.code);

        OrderFields fields;
        ButtonURLClick([&] { return r.address; }, fields);
        EXPECT_EQ(fields.FB, r.code);
        EXPECT_EQ(fields.eArtNR, r.eArtNR);
        EXPECT_EQ(FBumwandeln([&] { return r.address; }), r.name);
    }
}

TEST(OrderCuts, DeviceTypeTableMatchesWholeCodesOnly) {
    const char* rows[][3] = {{"00", "PQT_", "TV1"},   {"01", "PQV_", "VCR1"},
                             {"02", "PQD_", "DVD"},   {"03", "PQS_", "STB1"},
                             {"04", "PQC1_", "TVC1"}, {"05", "PQC2_", "TVC2"}};
    for (const auto& row : rows) {
        EXPECT_EQ(CodeFilePrefix(row[0]), row[1]);
        EXPECT_EQ(DeviceTypeName(row[0]), row[2]);
    }
    for (const char* other : {"", "0", "2", "06", "0A", " 2", "02 "}) {
        EXPECT_EQ(CodeFilePrefix(other), "") << other;
        EXPECT_EQ(DeviceTypeName(other), other) << other;
    }
}

TEST(OrderCuts, FileNameStepReadsTheAddressTwiceAndKeepsNothingElse) {
    // The number comes from the first read, the code from the second: a navigation between
    // them mixes the two pages, as in the tool.
    std::vector<std::string> pages = {kBase + "a=QYX11111-PQ&FB=00", kBase + "a=QYX22222-PQ&FB=03"};
    size_t reads = 0;
    OrderFields fields{"old", "old.hex"};
    ButtonURLClick([&] { return pages.at(reads++); }, fields);
    EXPECT_EQ(reads, 2u);
    EXPECT_EQ(fields.FB, "03");
    EXPECT_EQ(fields.eArtNR, "PQS_11111.hex");

    reads = 0;
    EXPECT_EQ(FBumwandeln([&] { return pages.at(reads++); }), "TV1");
    EXPECT_EQ(reads, 1u);
    EXPECT_EQ(fields.FB, "03"); // FBumwandeln writes nothing
}
