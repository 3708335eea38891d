// SPDX-License-Identifier: Zlib
// The Windows-1251 conversions against the C library's own converter, in both
// directions, and malformed UTF-8 from the platform.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/CodePage.h"

namespace {

// `input` converted by iconv; false when iconv refuses it.
bool Iconv(const char* to, const char* from, std::string input, std::string& output) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) ADD_FAILURE() << "iconv lacks " << from << " -> " << to;
    char buffer[16];
    char* in = input.data();
    char* out = buffer;
    std::size_t inLeft = input.size(), outLeft = sizeof buffer;
    const bool ok = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    output.assign(buffer, out);
    return ok;
}

TEST(CodePage, EveryByteBecomesTheUtf8IconvGives) {
    for (int code = 1; code < 256; ++code) {
        const std::string byte(1, static_cast<char>(code));
        std::string expected;
        if (!Iconv("UTF-8", "CP1251", byte, expected)) {
            EXPECT_EQ(quelt::Cp1251ToUnicode(static_cast<std::uint8_t>(code)), 0u) << "code " << code;
            expected = "\xEF\xBF\xBD"; // U+FFFD for the unassigned
        }
        EXPECT_EQ(quelt::Cp1251ToUtf8(byte), expected) << "code " << code;
        if (expected != "\xEF\xBF\xBD") {
            EXPECT_EQ(quelt::Utf8ToCp1251(expected), byte) << "code " << code;
        }
    }
}

TEST(CodePage, EveryBmpCharacterBecomesTheByteIconvGives) {
    for (char32_t unicode = 1; unicode < 0x10000; ++unicode) {
        if (unicode >= 0xD800 && unicode < 0xE000) continue;
        const char utf32[4] = {static_cast<char>(unicode), static_cast<char>(unicode >> 8),
                               static_cast<char>(unicode >> 16), 0};
        std::string expected;
        if (!Iconv("CP1251", "UTF-32LE", std::string(utf32, 4), expected)) expected = "?";
        ASSERT_EQ(expected.size(), 1u);
        EXPECT_EQ(quelt::UnicodeToCp1251(unicode), static_cast<std::uint8_t>(expected[0])) << "U+" << std::hex << unicode;
    }
}

TEST(CodePage, MalformedUtf8BecomesQuestionMarks) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\xD0", "?"},                  // cut short
        {"\xD0z", "?z"},                // a continuation missing
        {"\xC0\x81", "??"},             // overlong 'A'
        {"\xE0\x80\x80", "???"},        // overlong NUL
        {"\xFF\xD0\xB0", "?\xE0"},      // a stray byte, then Cyrillic a
        {"\x80\xBF", "??"},             // continuations alone
        {"\xF0\x9F\x98\x80", "?"},      // beyond the code page
    };
    for (const auto& [utf8, expected] : cases) EXPECT_EQ(quelt::Utf8ToCp1251(utf8), expected) << utf8;
}

} // namespace
