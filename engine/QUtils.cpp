// SPDX-License-Identifier: Zlib
#include "QUtils.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace quelt {
namespace {

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string lastError;
bool hasLastError = false;

} // namespace

std::string IntToStr(std::int32_t value) { return std::to_string(value); }

std::int32_t StrToInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    // Hexadecimal text may spell any 32-bit pattern; decimal text must fit the signed range.
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    const unsigned base = hex ? 16 : 10;
    std::uint64_t value = 0;
    bool anyDigit = false;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], hex);
        // A stray character, or a digit that would overflow, ends the reading:
        // the digits so far count, without the sign.
        if (digit < 0 || value * base + static_cast<unsigned>(digit) > limit)
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        value = value * base + static_cast<unsigned>(digit);
        anyDigit = true;
    }
    if (!anyDigit) return 0;
    const std::uint32_t bits = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - bits : bits);
}

std::string ExtractName(const std::string& path) {
    const std::size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string ExtractFolder(const std::string& path) {
    const std::size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string ExtractExt(const std::string& name) { return name.size() < 3 ? name : name.substr(name.size() - 3); }

void SetLastError(const std::string& message) {
    lastError = message;
    hasLastError = true;
}

void NullArgument(const char* function, const char* name) noexcept {
    try {
        SetLastError(std::string(function) + ": argument \"" + name + "\" is null");
    } catch (const std::exception&) {
        // No memory for the reason: the caller's neutral result still says it failed.
    }
}

bool TakeLastError(std::string& message) {
    message = hasLastError ? lastError : std::string();
    const bool had = hasLastError;
    lastError.clear();
    hasLastError = false;
    return had;
}

bool Refuse(const std::string& cause) {
    SetLastError(cause);
    return false;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string IoFailure(const std::string& what, const std::string& fileName, int error) {
    return what + " " + Quoted(fileName) + ": " + std::strerror(error);
}

void ThrowIoError(const std::string& what, const std::string& fileName, int error) {
    throw IoError(IoFailure(what, fileName, error));
}

FileReasons::FileReasons(std::string fileName) : fileName_(std::move(fileName)), hadEarlier_(TakeLastError(earlier_)) {}

FileReasons::~FileReasons() {
    std::string reason;
    if (TakeLastError(reason))
        SetLastError(reason.find(Quoted(fileName_)) != std::string::npos ? reason : Quoted(fileName_) + ": " + reason);
    else if (hadEarlier_)
        SetLastError(earlier_);
}

void FileReasons::Failed(const std::string& cause) const {
    std::string reason;
    SetLastError(TakeLastError(reason) ? reason : cause);
}

} // namespace quelt
