// SPDX-License-Identifier: Zlib
// Small file helpers shared by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quelt::test {

using Bytes = std::vector<std::uint8_t>;

void WriteFile(const std::string& path, const Bytes& bytes);
void WriteFile(const std::string& path, const std::string& text);
// The whole file; empty when it cannot be read.
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// Little-endian appenders for building files byte by byte.
void PutU8(Bytes& out, std::uint8_t value);
void PutU16(Bytes& out, std::uint16_t value);
void PutU32(Bytes& out, std::uint32_t value);
void PutF32(Bytes& out, float value);
void PutText(Bytes& out, const std::string& text);

} // namespace quelt::test
