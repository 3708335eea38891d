// Integer/text conversions, path splitting, the error type the modules throw
// for input/output failures, and the last-error text the exports keep.
#pragma once

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

// For a reader that leaves the cause of a refusal with SetLastError but does
// not know the file's name: sets aside any earlier reason, and gives it back
// unless Refused puts the reader's cause under the file's name.
class ReaderCause {
public:
    ReaderCause();
    ~ReaderCause();
    ReaderCause(const ReaderCause&) = delete;
    ReaderCause& operator=(const ReaderCause&) = delete;
    // "\"file\": cause" (the cause alone where it names the file already),
    // with `fallback` as the cause when the reader left none.
    void Refused(const std::string& fileName, const std::string& fallback);

private:
    std::string earlier_;
    bool hadEarlier_;
    bool refused_ = false;
};

// Keeps `function: argument "name" is null` as the last error. Out of line
// and cold, so that a null check costs its caller a compare and a branch.
[[gnu::cold, gnu::noinline]] void NullArgument(const char* function, const char* name) noexcept;

} // namespace quelt
