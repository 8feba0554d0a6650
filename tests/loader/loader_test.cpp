#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sysio.h"
#include "tests/support/hexrecords.h"
#include "tests/support/scratchdir.h"
#include "util/errors.h"
#include "wizard/logic/hexloader.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

using namespace corvana;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// A well-formed record and its line end.
std::string rec(int address, const std::vector<int>& bytes, int type = 0x20) {
    return test::hexRecord(address, bytes, type) + "\r\n";
}

std::vector<int> counting(int n, int from = 0) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i)
        v.push_back((from + i) & 0xFF);
    return v;
}

const std::string kEnd = test::kEndRecord + "\r\n";

int openDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

class LoaderTest : public ::testing::Test {
public: // the case table checks reach in through LoaderTest&
    bool load(const std::string& content) {
        return LadenHexFile(image, memo, dir.write("Printer.drv", content), show, &result);
    }
    std::string cell(int address) const {
        return std::string(image.Grid1.Cells(ImageGrid::ColOf(address), ImageGrid::RowOf(address)));
    }
    // Addresses in [from, to] that do not hold "FF".
    std::vector<int> programmed(int from = 0, int to = 0x7FFF) const {
        std::vector<int> out;
        for (int a = from; a <= to; ++a)
            if (cell(a) != "FF")
                out.push_back(a);
        return out;
    }
    void TearDown() override { platform::setFaultHook(nullptr); }

    test::TempDir dir;
    MemoryImage image;
    StringList memo;
    std::vector<std::string> boxes;
    HexLoadResult result;
    MessageFn show = [this](const std::string& text) { boxes.push_back(text); };
};

} // namespace

TEST_F(LoaderTest, ResetGivesLabelsAndUnprogrammedBytes) {
    image.Grid1.SetCell(5, 7, "00");
    EXPECT_FALSE(image.Grid1 == ImageGrid{});
    image.Grid1.Reset();
    EXPECT_TRUE(image.Grid1 == ImageGrid{});
    const ImageGrid& g = image.Grid1;
    EXPECT_EQ(g.Cells(0, 0), "add");
    EXPECT_EQ(g.Cells(1, 0), "00");
    EXPECT_EQ(g.Cells(11, 0), "0A");
    EXPECT_EQ(g.Cells(16, 0), "0F");
    EXPECT_EQ(g.Cells(0, 1), "0000");
    EXPECT_EQ(g.Cells(0, 257), "1000");
    EXPECT_EQ(g.Cells(0, 2048), "7FF0");
    EXPECT_EQ(g.Cells(5, 7), "FF");
    EXPECT_EQ(programmed(), std::vector<int>{});
    EXPECT_THROW(g.Cells(17, 1), std::out_of_range);
    EXPECT_THROW(g.Cells(1, 2049), std::out_of_range);
    EXPECT_THROW(g.Cells(-1, 0), std::out_of_range);
    EXPECT_THROW(image.Grid1.SetCell(0, 1, "12"), std::out_of_range); // labels are fixed
    EXPECT_THROW(image.Grid1.SetCell(1, 0, "12"), std::out_of_range);
    EXPECT_THROW(image.Grid1.SetCell(1, 2049, "12"), std::out_of_range);
    EXPECT_THROW(image.Grid1.SetCell(1, 1, "123"), std::invalid_argument);
    EXPECT_EQ(ImageGrid::ColWidth(0), 35);
    EXPECT_EQ(ImageGrid::ColWidth(16), 25);
    EXPECT_EQ(image.se_Address1, "1000");
    EXPECT_EQ(image.se_address2, "Edit1");
}

TEST_F(LoaderTest, LogsFourLinesPerRecordThenTheEndAndTheSum) {
    ASSERT_TRUE(load(rec(0x1000, {0x01, 0x02, 0xFF}) + ":0000000AF6\r\n" + kEnd));
    EXPECT_THAT(memo.lines(),
                ElementsAre("Status 32", "ChkSum 51", "Address 4096", "Size 3", // data
                            "Status 10", "ChkSum 10", "Address 0", "Size 0",    // other type
                            "Status 1", "ChkSum 1", "Address 0", "Size 0",      // end
                            "SE_adress14098", "0102"));
    EXPECT_EQ(image.se_address2, "1002");
    EXPECT_THAT(boxes, IsEmpty());
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.records, 3);

    // The log is never cleared; a second end record publishes and sums again.
    ASSERT_TRUE(load(":10100020000102030405060708090A0B0C0D0E0F48\n" + kEnd + kEnd));
    EXPECT_EQ(memo.Count(), 14 + 4 + 4 + 2 + 4 + 2);
    EXPECT_EQ(memo[14], "Status 32");
    EXPECT_EQ(memo[15], "ChkSum 64");
    EXPECT_EQ(memo[23], "0078");
    EXPECT_EQ(memo[29], "0078");
}

TEST_F(LoaderTest, CodeFileTable) {
    struct Case {
        const char* name;
        std::string file;
        bool ok;
        std::string end; // se_address2 afterwards
        std::vector<std::string> boxes;
        std::function<void(LoaderTest&)> check;
    };
    const std::vector<Case> cases = {
        {"type 00 records are not loaded",
         rec(0x1000, counting(16), 0x00) + kEnd,
         true,
         "0000",
         {"Start & End Address Error!!!!"},
         [](LoaderTest& t) {
             EXPECT_EQ(t.programmed(), std::vector<int>{});
             EXPECT_EQ(t.memo.lines().back(), "SE_adress10");
         }},
        {"no end record",
         rec(0x1000, counting(16)),
         true,
         "Edit1",
         {},
         [](LoaderTest& t) { EXPECT_EQ(t.cell(0x100F), "0F"); }},
        {"blank lines, spaces, tabs and line ends of every kind",
         "\r\n   \n" + rec(0x1000, {0xAB}) + "\t \r" + rec(0x1001, {0xCD}) + "\n\n" + ":00000001FF",
         true,
         "1001",
         {},
         [](LoaderTest& t) {
             EXPECT_EQ(t.cell(0x1000), "AB");
             EXPECT_EQ(t.cell(0x1001), "CD");
             EXPECT_EQ(t.result.lines, 8);
             EXPECT_EQ(t.result.records, 3);
         }},
        {"count 0 beyond the end",
         rec(0x1000, counting(16)) + ":00200020C0\n" + kEnd,
         true,
         "1FFF",
         {},
         [](LoaderTest& t) { EXPECT_EQ(t.cell(0x2000), "FF"); }},
        {"out of order, and a record reaching past the end does not move it",
         rec(0x2000, counting(16, 0x20)) + rec(0x1000, counting(16, 0x10)) +
             rec(0x2008, counting(16, 0x40)) + kEnd,
         true,
         "200F",
         {},
         [](LoaderTest& t) {
             EXPECT_EQ(t.cell(0x1000), "10");
             EXPECT_EQ(t.cell(0x2000), "20");
             EXPECT_EQ(t.cell(0x2008), "40");
             EXPECT_EQ(t.cell(0x2017), "4F");
         }},
        {"record at 0FF8 spans two rows",
         rec(0x0FF8, counting(16, 0x80)) + kEnd,
         true,
         "1007",
         {},
         [](LoaderTest& t) {
             const ImageGrid& g = t.image.Grid1;
             EXPECT_EQ(g.Cells(0, 256), "0FF0");
             EXPECT_EQ(g.Cells(8, 256), "FF");
             EXPECT_EQ(g.Cells(9, 256), "80");
             EXPECT_EQ(g.Cells(16, 256), "87");
             EXPECT_EQ(g.Cells(0, 257), "1000");
             EXPECT_EQ(g.Cells(1, 257), "88");
             EXPECT_EQ(g.Cells(8, 257), "8F");
             EXPECT_EQ(g.Cells(9, 257), "FF");
             EXPECT_EQ(t.programmed().size(), 16u);
             EXPECT_EQ(t.memo.lines().back(), "045C"); // 88..8F
         }},
        {"record at 0000",
         rec(0x0000, {0x12, 0x34}) + kEnd,
         true,
         "0000",
         {"Start & End Address Error!!!!"},
         [](LoaderTest& t) {
             EXPECT_EQ(t.image.Grid1.Cells(1, 1), "12");
             EXPECT_EQ(t.image.Grid1.Cells(2, 1), "34");
         }},
        {"lower-case digits are checked and kept",
         ":03100020a5b6c7ab\n:00000001ff\n",
         true,
         "1002",
         {},
         [](LoaderTest& t) {
             EXPECT_EQ(t.cell(0x1000), "a5");
             EXPECT_EQ(t.cell(0x1002), "c7");
             EXPECT_EQ(t.memo.lines().back(), "0222");
         }},
        {"text after the checksum is ignored, however long",
         ":01100020AB24" + std::string(5000, 'z') + "\n" + kEnd,
         true,
         "1000",
         {},
         [](LoaderTest& t) { EXPECT_EQ(t.cell(0x1000), "AB"); }},
        {"wrong checksum in the third record",
         rec(0x1000, {1, 2}) + "\n" + rec(0x1010, {3}) + ":02102020050600\n" + kEnd,
         false,
         "Edit1",
         {"Check Sum Error!!!!!-- [4128]"},
         [](LoaderTest& t) {
             EXPECT_EQ(t.programmed(), (std::vector<int>{0x1000, 0x1001, 0x1010, 0x1020, 0x1021}));
             EXPECT_EQ(t.cell(0x1021), "06");
             EXPECT_EQ(t.result.errorLine, 4);
             EXPECT_EQ(t.result.errorText, "Check Sum Error!!!!!-- [4128]");
             EXPECT_EQ(t.memo.Count(), 12); // nothing logged after the faulty record's lines
         }},
        // Beyond the image: bytes are checked but not stored, the end stops at 7FFF.
        {"data crossing 7FFF",
         rec(0x7FF8, counting(16, 1)) + kEnd,
         true,
         "7FFF",
         {},
         [](LoaderTest& t) {
             EXPECT_EQ(t.cell(0x7FF8), "01");
             EXPECT_EQ(t.cell(0x7FFF), "08");
             EXPECT_EQ(t.result.droppedBytes, 8);
             EXPECT_EQ(t.result.firstDroppedLine, 1);
             EXPECT_EQ(t.memo.lines().back(), "882C"); // 28664 * FF + 1..8
         }},
        {"data wholly beyond 7FFF",
         rec(0x1000, {0x11}) + rec(0x8000, counting(16)) + rec(0xFFFF, counting(255)) + kEnd,
         true,
         "7FFF",
         {},
         [](LoaderTest& t) {
             EXPECT_EQ(t.programmed(), std::vector<int>{0x1000});
             EXPECT_EQ(t.result.droppedBytes, 16 + 255);
             EXPECT_EQ(t.result.firstDroppedLine, 2);
             EXPECT_EQ(t.memo.lines().back(), "8F12"); // 11 + 6FFF * FF
         }},
        {"a bad checksum beyond 7FFF is still caught",
         ":01900020AB00\n" + kEnd,
         false,
         "Edit1",
         {"Check Sum Error!!!!!-- [36864]"},
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        image = MemoryImage{};
        memo.Clear();
        boxes.clear();
        EXPECT_EQ(load(c.file), c.ok);
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(image.se_address2, c.end);
        EXPECT_EQ(boxes, c.boxes);
        if (c.check)
            c.check(*this);
    }
}

TEST_F(LoaderTest, FieldsThatAreNotHexRaiseWithTheFieldText) {
    struct Case {
        const char* name;
        std::string file;
        std::string error;
        int line;
        std::vector<int> kept; // programmed addresses left in the image
    };
    const std::vector<Case> cases = {
        {"line cut short in the data",
         rec(0x1000, {7}) + ":021010200001",
         "'$' ist kein gültiger Integerwert",
         2,
         {0x1000, 0x1010, 0x1011}},
        {"line cut short in the header", "\n:0110", "'$' ist kein gültiger Integerwert", 2, {}},
        {"odd digit before the checksum",
         ":02100020AAB",
         "'$' ist kein gültiger Integerwert",
         1,
         {0x1000, 0x1001}},
        {"line starting with a blank",
         " " + rec(0x1000, {1}),
         "'$:0' ist kein gültiger Integerwert",
         1,
         {}},
        {"long blank run before a mark",
         std::string(3000, ' ') + ":",
         "'$  ' ist kein gültiger Integerwert",
         1,
         {}},
        {"bad data byte", ":02100020A1G2FF", "'$G2' ist kein gültiger Integerwert", 1, {0x1000}},
        {"bad checksum field", ":01100020A1ZZ", "'$ZZ' ist kein gültiger Integerwert", 1, {0x1000}},
        {"bad type", ":0010002X", "'$2X' ist kein gültiger Integerwert", 1, {}},
        {"sign in the count", ":-1100020", "'$-1' ist kein gültiger Integerwert", 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        image = MemoryImage{};
        try {
            load(c.file);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.errorLine, c.line);
        EXPECT_EQ(result.errorText, c.error);
        EXPECT_EQ(programmed(), c.kept);
        EXPECT_EQ(image.se_address2, "Edit1");
        EXPECT_THAT(boxes, IsEmpty());
    }
    // A one-character byte before the cut is stored as it stood.
    EXPECT_THROW(load(":02100020AAB"), EConvertError);
    EXPECT_EQ(cell(0x1001), "B");
}

TEST_F(LoaderTest, FileErrorsRaiseGermanTextsAfterTheReset) {
    ASSERT_TRUE(load(rec(0x1000, {1}) + kEnd));
    EXPECT_THROW(
        {
            try {
                LadenHexFile(image, memo, dir.file("absent.drv"), show, &result);
            } catch (const EInOutError& e) {
                EXPECT_STREQ(e.what(), "Datei nicht gefunden");
                throw;
            }
        },
        EInOutError);
    EXPECT_EQ(result.errorText, "Datei nicht gefunden");
    EXPECT_EQ(cell(0x1000), "FF");
    EXPECT_EQ(image.se_address2, "1000"); // the last end record's value stays

    struct Fault {
        const char* call;
        int err;
        const char* text;
    } faults[] = {{"open", EACCES, "Dateizugriff verweigert"},
                  {"read", EIO, "E/A-Fehler 5"},
                  {"read", ENOSPC, "E/A-Fehler 28"}};
    const std::string path = dir.write("Printer.drv", rec(0x1000, {1}) + kEnd);
    for (const auto& f : faults) {
        platform::setFaultHook(
            [&](const char* call) { return std::string(call) == f.call ? f.err : 0; });
        try {
            LadenHexFile(image, memo, path, show, &result);
            ADD_FAILURE() << f.call;
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), f.text);
            EXPECT_EQ(e.errorCode, f.err);
        }
        platform::setFaultHook(nullptr);
    }
    try {
        LadenHexFile(image, memo, dir.path(), show, &result);
        ADD_FAILURE() << "directory";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "E/A-Fehler 21");
    }
}

TEST_F(LoaderTest, TheFileIsClosedOnEveryWayOut) {
    const int before = openDescriptors();
    EXPECT_TRUE(load(rec(0x1000, {1}) + kEnd));
    EXPECT_FALSE(load(":01100020AB00\n"));
    EXPECT_THROW(load(":01100020ABZZ\n"), EConvertError);
    image.se_Address1 = "xyz"; // the sum raises from inside the load
    EXPECT_THROW(load(kEnd), EConvertError);
    image.se_Address1 = "1000";
    platform::setFaultHook([](const char* call) { return std::string(call) == "read" ? EIO : 0; });
    EXPECT_THROW(load(kEnd), EInOutError);
    platform::setFaultHook(nullptr);
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(LoaderTest, TextAndFileGiveTheSameLoad) {
    const std::string file = "\r\n" + rec(0x1000, counting(20)) + "\r" +
                             rec(0x7FFC, {9, 8, 7, 6, 5}) + ":01200020AB00\n";
    const bool fromFile = load(file);
    const auto fileMemo = memo.lines();
    const auto fileBoxes = boxes;
    const HexLoadResult fileResult = result;
    MemoryImage other;
    StringList otherMemo;
    boxes.clear();
    EXPECT_EQ(LoadHexText(other, otherMemo, file, show, &result), fromFile);
    EXPECT_EQ(otherMemo.lines(), fileMemo);
    EXPECT_EQ(boxes, fileBoxes);
    EXPECT_EQ(result.errorLine, fileResult.errorLine);
    EXPECT_EQ(result.droppedBytes, 1);
    EXPECT_TRUE(other.Grid1 == image.Grid1);
    other.Grid1.SetCell(1, 257, "0"); // the first byte of the first record, "00" in both
    EXPECT_FALSE(other.Grid1 == image.Grid1);
}

TEST_F(LoaderTest, LineEndsSplitBetweenReadsCountOnce) {
    // The file is read in 64 KiB pieces: put a record's CR last in the first piece and its
    // LF first in the second.
    std::string first = rec(0x1000, {0x5A});
    first.resize(first.size() - 2);
    const std::string file =
        std::string(65534 - first.size(), ' ') + "\n" + first + "\r\n" + rec(0x1001, {0x6B}) + kEnd;
    ASSERT_EQ(file.substr(65535, 2), "\r\n");
    ASSERT_TRUE(load(file));
    EXPECT_EQ(result.lines, 4);
    EXPECT_EQ(cell(0x1000), "5A");
    EXPECT_EQ(cell(0x1001), "6B");
    EXPECT_EQ(image.se_address2, "1001");
}

TEST(RomCheckSum, SumsTheRangeOrRefusesIt) {
    MemoryImage image;
    StringList memo;
    std::vector<std::string> boxes;
    const MessageFn show = [&](const std::string& t) { boxes.push_back(t); };

    // "Edit1" is not a number until an end record was seen.
    try {
        ROM_CHECK_SUM(image, memo, show);
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'$Edit1' ist kein gültiger Integerwert");
    }

    // Every byte of 1000..7FFF at FF: 28672 * 255 = 6F9000, logged as its last four digits.
    image.se_address2 = "7fff";
    ROM_CHECK_SUM(image, memo, show);
    image.se_address2 = "1000";
    ROM_CHECK_SUM(image, memo, show);
    image.se_address2 = "0FFF";
    ROM_CHECK_SUM(image, memo, show);
    // Never reads outside the image, whatever the edits hold: 0..7FFF, all FF.
    image.se_Address1 = "FFFFFFFF";
    image.se_address2 = "FFFFF";
    ROM_CHECK_SUM(image, memo, show);
    EXPECT_THAT(memo.lines(), ElementsAre("9000", "00FF", "8000"));
    EXPECT_THAT(boxes, ElementsAre("Start & End Address Error!!!!"));
}
