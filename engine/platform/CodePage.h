// SPDX-License-Identifier: Zlib
// Windows-1251, the engine's 8-bit text encoding: what each byte stands for in
// Unicode, and the conversions to and from UTF-8 the platform speaks.
#pragma once

#include <cstdint>
#include <string>

namespace quelt {

// The Unicode character of a Windows-1251 byte; 0 for 0x98, which has none.
char32_t Cp1251ToUnicode(std::uint8_t code);
// The Windows-1251 byte of a Unicode character; '?' when the code page lacks it.
std::uint8_t UnicodeToCp1251(char32_t unicode);

// Bytes without a character become U+FFFD.
std::string Cp1251ToUtf8(const std::string& text);
// Malformed UTF-8 bytes and characters the code page lacks become '?'.
std::string Utf8ToCp1251(const std::string& text);

} // namespace quelt
