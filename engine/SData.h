// SPDX-License-Identifier: Zlib
// TData: a whole file held in memory with a read cursor and little-endian
// typed reads. Reads never go outside the data: a typed read with too few
// bytes left returns 0 and leaves the cursor where it was.
//
// The byte-order helpers below are the one place bytes become integers and
// back; TData and every reader and writer of a stored format use them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace quelt {

// Values stored least significant byte first at `p`, which must hold them.
inline std::uint16_t LoadLE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t LoadLE32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
// An IEEE single stored as LoadLE32 reads its bits.
inline float LoadLEFloat(const std::uint8_t* p) {
    const std::uint32_t bits = LoadLE32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
// Values stored most significant byte first, as PNG and big-endian TIFF keep them.
inline std::uint16_t LoadBE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::uint32_t LoadBE32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// The writing side: `value` least significant byte first into p[0..3], or
// onto the end of `bytes`.
inline void StoreLE32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void AppendLE16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void AppendLE32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    std::uint8_t stored[4];
    StoreLE32(stored, value);
    bytes.insert(bytes.end(), stored, stored + 4);
}

// An open file descriptor, closed when it goes out of scope.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept;
    Fd& operator=(Fd&& other) noexcept;
    ~Fd();
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now, so that a failing close is seen (a close can lose what was written).
    bool Close();
    // Hands the descriptor over to its new owner.
    int Release();

private:
    int fd_ = -1;
};

// The errno of a failed write of all `size` bytes to `fd`, 0 when all was written.
int WriteAll(int fd, const void* bytes, std::size_t size);

// A regular file opened for writing: created (or emptied) for a new start, or
// only appended to when it exists. Anything else at the name (a folder, a
// device, a FIFO) is refused without waiting on it or writing to it.
enum class WriteMode { CreateEmpty, AppendExisting };
struct WritableFile {
    Fd fd;
    bool notRegular = false; // something other than a regular file is there
    int openError = 0;       // errno of a failed open
};
WritableFile OpenRegularForWriting(const std::string& fileName, WriteMode mode);

// Which file an open file is: equal for two names of the same file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity& other) const { return device == other.device && file == other.file; }
};

// A C stream, closed unchecked when it goes out of scope; where a failed
// close matters, close it with std::fclose(file.release()).
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The whole of a file, read only once it is known to be a regular file of at
// most the caller's size, so an endless device, a FIFO or a huge file is
// refused before anything is allocated. A FIFO never blocks the open.
struct FileBytes {
    enum class Outcome { Read, NotOpened, NotRegular, TooLarge };
    Outcome outcome = Outcome::NotOpened;
    int openError = 0; // errno of a failed open
    std::vector<std::uint8_t> bytes;
};
// Throws IoError when reading fails after the checks.
FileBytes ReadRegularFile(const std::string& fileName, std::uint64_t maxSize);

// A regular file held open to be read piece by piece (a streamed sound),
// refused on the same grounds as ReadRegularFile. Its size is the one found
// at opening; reads never go past it.
class RegularFile {
public:
    RegularFile(const std::string& fileName, std::uint64_t maxSize);
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    FileBytes::Outcome Outcome() const { return outcome_; }
    int OpenError() const { return openError_; }
    std::uint64_t Size() const { return size_; }
    const std::string& Name() const { return name_; }
    // Whether what was refused as not regular is a folder.
    bool IsFolder() const { return folder_; }
    FileIdentity Identity() const { return identity_; }
    // Up to `count` bytes from `offset`; fewer at the end of the file (or of
    // a file that shrank). Throws IoError when reading fails.
    std::size_t ReadAt(std::uint64_t offset, void* into, std::size_t count) const;

private:
    std::string name_;
    Fd fd_;
    FileBytes::Outcome outcome_ = FileBytes::Outcome::NotOpened;
    int openError_ = 0;
    std::uint64_t size_ = 0;
    bool folder_ = false;
    FileIdentity identity_;
};

class TData {
public:
    TData() = default;
    // Loads the whole file. A file that cannot be opened, or that is not a
    // regular file, gives an empty object and leaves the reason for
    // qGetLastError; one of 4 GiB or more, or a failure while reading, throws IoError.
    explicit TData(const std::string& fileName);
    // `size` uninitialised bytes, cursor at 0.
    explicit TData(std::uint32_t size);

    const std::uint8_t* Data() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    std::uint8_t* Data() { return bytes_.empty() ? nullptr : bytes_.data(); }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(bytes_.size()); }
    std::uint32_t Position() const { return position_; }
    std::uint32_t Remaining() const { return Size() - position_; }
    bool AtEnd() const { return position_ >= Size(); }

    std::uint8_t ReadByte();
    std::uint16_t ReadWord();
    std::uint32_t ReadDWord();
    float ReadSingle();
    // Bytes up to a zero byte (consumed, not kept) or the end of the data.
    std::string ReadString();

    // The byte at the cursor, or null at the end.
    const std::uint8_t* CurrentPtr() const { return AtEnd() ? nullptr : bytes_.data() + position_; }
    // Position + count taken modulo 2^32 and clamped to Size as an unsigned
    // value, so going back below 0 lands at Size.
    std::uint32_t Skip(std::int32_t count);
    std::uint32_t Seek(std::uint32_t position);

    // Creates (or truncates) the file and writes every byte; moves the cursor
    // to 0. False when the file cannot be created; throws IoError when a write
    // or the close fails after that.
    bool SaveToFile(const std::string& fileName);

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t position_ = 0;
};

} // namespace quelt
