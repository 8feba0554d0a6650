#include <gtest/gtest.h>

#include "util/errors.h"
#include "util/hexconv.h"
#include "util/textpos.h"

using namespace corvana;

TEST(XIntToHex, Table) {
    struct Row {
        int32_t value;
        int digits;
        const char* want;
    } rows[] = {
        {10, 1, "0A"},         {255, 1, "FF"},      {0, 1, "00"},    {4096, 4, "1000"},
        {0x12345, 4, "12345"}, {-1, 1, "FFFFFFFF"}, {0x33, 2, "33"}, {5, 0, "05"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(xIntToHex(r.value, r.digits), r.want) << r.value << "/" << r.digits;
}

TEST(HexToInt, AcceptsEitherCaseAndRejectsOthersWithDollarText) {
    EXPECT_EQ(HexToInt("7ff0"), 0x7FF0);
    EXPECT_EQ(HexToInt("7FF0"), 0x7FF0);
    EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
    EXPECT_EQ(HexToInt("000000001"), 1);
    EXPECT_EQ(HexToInt64("FFFFFFFFFF"), 0xFFFFFFFFFFLL);
    for (const char* bad : {"", "G1", " 1", "1 ", "100000000", "-1", "0x1"}) {
        try {
            HexToInt(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.what(), "'$" + std::string(bad) + "' ist kein gültiger Integerwert");
        }
    }
}

TEST(TextPos, PositionsCountFromOneAndCopyClamps) {
    EXPECT_EQ(Pos("a=", "xa=1"), 2);
    EXPECT_EQ(Pos("a=", ""), 0);
    EXPECT_EQ(Pos("zz", "abc"), 0);
    EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Copy("abcdef", 0, 2), "ab");
    EXPECT_EQ(Copy("abcdef", -5, 2), "ab");
    EXPECT_EQ(Copy("abcdef", 5, 100), "ef");
    EXPECT_EQ(Copy("abcdef", 7, 1), "");
    EXPECT_EQ(Copy("abcdef", 1, 0), "");
    EXPECT_EQ(Copy("abcdef", 1, -1), "");
    EXPECT_EQ(Copy("", 1, 1), "");
}
