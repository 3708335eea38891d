// SPDX-License-Identifier: Zlib
#include <gtest/gtest.h>

#include "QUtils.h"

namespace quelt {
namespace {

TEST(IntToStr, PlainDecimal) {
    EXPECT_EQ(IntToStr(0), "0");
    EXPECT_EQ(IntToStr(7), "7");
    EXPECT_EQ(IntToStr(-15), "-15");
    EXPECT_EQ(IntToStr(2147483647), "2147483647");
    EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
}

TEST(StrToInt, ValidNumbers) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("  -42"), -42);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("X1a"), 26);
    EXPECT_EQ(StrToInt("-$10"), -16);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
}

TEST(StrToInt, InvalidTextKeepsTheDigitsReadWithoutSign) {
    EXPECT_EQ(StrToInt("12ab"), 12);
    EXPECT_EQ(StrToInt("-12ab"), 12);
    EXPECT_EQ(StrToInt("abc"), 0);
    EXPECT_EQ(StrToInt("12 "), 12);
    EXPECT_EQ(StrToInt(""), 0);
    EXPECT_EQ(StrToInt("-"), 0);
    EXPECT_EQ(StrToInt("$"), 0);
    EXPECT_EQ(StrToInt("- 5"), 0);
}

TEST(StrToInt, OverflowStopsBeforeTheDigitThatOverflows) {
    EXPECT_EQ(StrToInt("2147483648"), 214748364);
    EXPECT_EQ(StrToInt("-2147483649"), 214748364);
    EXPECT_EQ(StrToInt("99999999999999999999"), 999999999);
    EXPECT_EQ(StrToInt("$123456789"), 0x12345678);
}

TEST(Paths, NameFolderAndExtension) {
    EXPECT_EQ(ExtractName("C:\\data\\model.3ds"), "model.3ds");
    EXPECT_EQ(ExtractName("model.3ds"), "model.3ds");
    EXPECT_EQ(ExtractName("C:\\data\\"), "");
    // Both separators count on this platform.
    EXPECT_EQ(ExtractName("a/b.txt"), "b.txt");
    EXPECT_EQ(ExtractName("/usr/share\\x.bin"), "x.bin");
    EXPECT_EQ(ExtractFolder("C:\\data\\pack.pak"), "C:\\data\\");
    EXPECT_EQ(ExtractFolder("pack.pak"), "");
    EXPECT_EQ(ExtractFolder("/tmp/q/pack.pak"), "/tmp/q/");
    EXPECT_EQ(ExtractExt("model.3ds"), "3ds");
    EXPECT_EQ(ExtractExt("image.jpeg"), "peg");
    EXPECT_EQ(ExtractExt("ab"), "ab");
    EXPECT_EQ(ExtractExt("x.BMP"), "BMP");
}

TEST(LastError, IsTakenOnce) {
    std::string message;
    EXPECT_FALSE(TakeLastError(message));
    SetLastError("disk full");
    EXPECT_TRUE(TakeLastError(message));
    EXPECT_EQ(message, "disk full");
    EXPECT_FALSE(TakeLastError(message));
    EXPECT_EQ(message, "");
}

} // namespace
} // namespace quelt
