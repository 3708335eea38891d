// SPDX-License-Identifier: Zlib
// The file helpers of SData.h on Windows. Names are the engine's 8-bit
// strings, handed to the ANSI functions. A descriptor is the C library's,
// over a handle opened here with the checks the POSIX side makes.
#include "SData.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "QUtils.h"
#include "platform/ErrorsWin32.h"

namespace quelt {
namespace {

// What the open handle is: a regular file on a disk, a folder, or something
// else (a console, NUL, a pipe, a serial port) that is never read or written.
enum class Kind { Regular, Folder, Other };

Kind KindOf(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) return Kind::Other;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::Regular;
}

// The handle as a C library descriptor, or -1 with the handle closed.
int Descriptor(HANDLE handle, int flags) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) CloseHandle(handle);
    return fd;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

Fd::Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) _close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Fd::~Fd() {
    if (fd_ >= 0) _close(fd_);
}

bool Fd::Close() { return _close(std::exchange(fd_, -1)) == 0; }

int Fd::Release() { return std::exchange(fd_, -1); }

RegularFile::RegularFile(const std::string& fileName, std::uint64_t maxSize) : name_(fileName) {
    // Backup semantics: a folder opens too, so that it is told apart.
    HANDLE handle = CreateFileA(fileName.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        openError_ = ErrnoOf(GetLastError());
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const Kind kind = KindOf(handle, info);
    if (kind != Kind::Regular) {
        CloseHandle(handle);
        outcome_ = FileBytes::Outcome::NotRegular;
        folder_ = kind == Kind::Folder;
        return;
    }
    identity_ = {info.dwVolumeSerialNumber, std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    const std::uint64_t size = std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    if (size > maxSize || size > std::numeric_limits<std::size_t>::max()) {
        CloseHandle(handle);
        outcome_ = FileBytes::Outcome::TooLarge;
        return;
    }
    Fd file(Descriptor(handle, _O_RDONLY));
    if (!file) ThrowIoError("Cannot open file", fileName);
    size_ = size;
    outcome_ = FileBytes::Outcome::Read;
    fd_ = std::move(file);
}

std::size_t RegularFile::ReadAt(std::uint64_t offset, void* into, std::size_t count) const {
    if (!fd_ || offset >= size_) return 0;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_.Get()));
    std::size_t done = 0;
    while (done < count) {
        // A read at an offset of its own, as pread: the handle's position is not used.
        OVERLAPPED at{};
        const std::uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle, static_cast<std::uint8_t*>(into) + done, want, &got, &at)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) break;
            ThrowIoError("Cannot read file", name_, ErrnoOf(error));
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

int WriteAll(int fd, const void* bytes, std::size_t size) {
    const auto* next = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
        const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
        const int written = _write(fd, next, piece);
        if (written < 0) return errno;
        if (written == 0) return ENOSPC;
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

WritableFile OpenRegularForWriting(const std::string& fileName, WriteMode mode) {
    const bool append = mode == WriteMode::AppendExisting;
    WritableFile result;
    // Opened without emptying it: what is there is looked at first.
    HANDLE handle = CreateFileA(fileName.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, kShareAll, nullptr,
                                append ? OPEN_EXISTING : OPEN_ALWAYS, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        result.openError = ErrnoOf(error);
        // A folder cannot be opened for writing at all.
        const DWORD attributes = GetFileAttributesA(fileName.c_str());
        result.notRegular = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        return result;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (KindOf(handle, info) != Kind::Regular) {
        CloseHandle(handle);
        result.notRegular = true;
        return result;
    }
    if (!append && !SetEndOfFile(handle)) {
        result.openError = ErrnoOf(GetLastError());
        CloseHandle(handle);
        return result;
    }
    result.fd = Fd(Descriptor(handle, append ? _O_WRONLY | _O_APPEND : _O_WRONLY));
    if (!result.fd) result.openError = errno;
    return result;
}

} // namespace quelt
