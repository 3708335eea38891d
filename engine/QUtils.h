// SPDX-License-Identifier: Zlib
// Integer/text conversions, path splitting, the error type the modules throw
// for input/output failures, and the last-error text the exports keep.
#pragma once

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quelt {

// An input/output failure after a file was opened. Exports catch it and keep
// its text for qGetLastError; it never crosses the C boundary.
class IoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The one form of a system call's failure on a file:
// `what "fileName": the system's words for error`.
std::string IoFailure(const std::string& what, const std::string& fileName, int error = errno);
// Throws IoError with IoFailure's text.
[[noreturn]] void ThrowIoError(const std::string& what, const std::string& fileName, int error = errno);

std::string IntToStr(std::int32_t value);
std::int32_t StrToInt(const std::string& text);
// Both "\" and "/" separate folders.
std::string ExtractName(const std::string& path);
std::string ExtractFolder(const std::string& path);
std::string ExtractExt(const std::string& name);

void SetLastError(const std::string& message);
// The kept message and whether there was one; clears it.
bool TakeLastError(std::string& message);
// SetLastError(cause), then false: one line for a reader's refusal.
bool Refuse(const std::string& cause);
// `text` in double quotes, as reasons name files and objects.
std::string Quoted(const std::string& text);

// Keeps `function: argument "name" is null` as the last error. Out of line
// and cold, so that a null check costs its caller a compare and a branch.
[[gnu::cold, gnu::noinline]] void NullArgument(const char* function, const char* name) noexcept;

// While it lives, reasons left by a reader that does not know the file's name
// get `"fileName": ` put before them (unless they name the file already); a
// note left before it that no reason replaced is kept.
class FileReasons {
public:
    explicit FileReasons(std::string fileName);
    FileReasons(const FileReasons&) = delete;
    FileReasons& operator=(const FileReasons&) = delete;
    ~FileReasons();
    // For a failure whose reader left no reason: `cause` becomes the reason.
    void Failed(const std::string& cause) const;

private:
    std::string fileName_;
    std::string earlier_;
    bool hadEarlier_;
};

} // namespace quelt
