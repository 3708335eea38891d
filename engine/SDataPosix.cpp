// SPDX-License-Identifier: Zlib
// The file helpers of SData.h on POSIX systems.
#include "SData.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QUtils.h"

namespace quelt {

Fd::Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Fd::~Fd() {
    if (fd_ >= 0) ::close(fd_);
}

bool Fd::Close() { return ::close(std::exchange(fd_, -1)) == 0; }

int Fd::Release() { return std::exchange(fd_, -1); }

RegularFile::RegularFile(const std::string& fileName, std::uint64_t maxSize) : name_(fileName) {
    // Non-blocking, so a FIFO with no writer cannot hold the open; it is then
    // refused as not a regular file.
    Fd file(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file) {
        openError_ = errno;
        return;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) ThrowIoError("Cannot size file", fileName);
    identity_ = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    if (!S_ISREG(info.st_mode)) {
        outcome_ = FileBytes::Outcome::NotRegular;
        folder_ = S_ISDIR(info.st_mode);
        return;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > maxSize || size > std::numeric_limits<std::size_t>::max()) {
        outcome_ = FileBytes::Outcome::TooLarge;
        return;
    }
    size_ = size;
    outcome_ = FileBytes::Outcome::Read;
    fd_ = std::move(file);
}

std::size_t RegularFile::ReadAt(std::uint64_t offset, void* into, std::size_t count) const {
    if (!fd_ || offset >= size_) return 0;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd_.Get(), static_cast<std::uint8_t*>(into) + done, count - done,
                                    static_cast<off_t>(offset + done));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowIoError("Cannot read file", name_);
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

int WriteAll(int fd, const void* bytes, std::size_t size) {
    const auto* next = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(fd, next, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

WritableFile OpenRegularForWriting(const std::string& fileName, WriteMode mode) {
    // Non-blocking, so that a FIFO at the name cannot hold the open forever.
    const int flags = mode == WriteMode::CreateEmpty ? O_WRONLY | O_CREAT | O_TRUNC : O_WRONLY | O_APPEND;
    WritableFile result;
    result.fd = Fd(::open(fileName.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    struct stat info {};
    if (!result.fd) {
        result.openError = errno;
        result.notRegular = ::stat(fileName.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
    } else if (::fstat(result.fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.notRegular = true;
        result.fd = Fd();
    }
    return result;
}

} // namespace quelt
