// SPDX-License-Identifier: Zlib
#include "platform/CodePage.h"

namespace quelt {
namespace {

// Codes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr char32_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};
constexpr char32_t kCyrillicA = 0x0410;
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t unicode) {
    if (unicode < 0x80) {
        out += static_cast<char>(unicode);
    } else if (unicode < 0x800) {
        out += static_cast<char>(0xC0 | (unicode >> 6));
        out += static_cast<char>(0x80 | (unicode & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (unicode >> 12));
        out += static_cast<char>(0x80 | ((unicode >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unicode & 0x3F));
    }
}

// One character from `text` at `at`, which moves past it; U+FFFD for a
// malformed sequence, which then covers its lead byte only.
char32_t NextUtf8(const std::string& text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    const int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0) return kReplacement;
    char32_t unicode = extra == 0 ? lead : lead & (0x3F >> extra);
    std::size_t next = at;
    for (int i = 0; i < extra; ++i, ++next) {
        if (next >= text.size() || (static_cast<unsigned char>(text[next]) & 0xC0) != 0x80) return kReplacement;
        unicode = (unicode << 6) | (static_cast<unsigned char>(text[next]) & 0x3F);
    }
    // Overlong forms are malformed too.
    constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (unicode < kSmallest[extra]) return kReplacement;
    at = next;
    return unicode;
}

} // namespace

char32_t Cp1251ToUnicode(std::uint8_t code) {
    if (code < 0x80) return code;
    if (code >= 0xC0) return kCyrillicA + (code - 0xC0);
    return kCp1251High[code - 0x80];
}

std::uint8_t UnicodeToCp1251(char32_t unicode) {
    if (unicode < 0x80) return static_cast<std::uint8_t>(unicode);
    if (unicode >= kCyrillicA && unicode < kCyrillicA + 64) return static_cast<std::uint8_t>(0xC0 + (unicode - kCyrillicA));
    for (int i = 0; i < 64; ++i)
        if (kCp1251High[i] == unicode) return static_cast<std::uint8_t>(0x80 + i);
    return '?';
}

std::string Cp1251ToUtf8(const std::string& text) {
    std::string out;
    for (unsigned char code : text) {
        const char32_t unicode = Cp1251ToUnicode(code);
        AppendUtf8(out, unicode || code == 0 ? unicode : kReplacement);
    }
    return out;
}

std::string Utf8ToCp1251(const std::string& text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) out += static_cast<char>(UnicodeToCp1251(NextUtf8(text, at)));
    return out;
}

} // namespace quelt
