// SPDX-License-Identifier: Zlib
// TData: a whole file held in memory with a read cursor and little-endian
// typed reads. Reads never go outside the data: a typed read with too few
// bytes left returns 0 and leaves the cursor where it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quelt {

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
    ~RegularFile();

    FileBytes::Outcome Outcome() const { return outcome_; }
    int OpenError() const { return openError_; }
    std::uint64_t Size() const { return size_; }
    const std::string& Name() const { return name_; }
    // Up to `count` bytes from `offset`; fewer at the end of the file (or of
    // a file that shrank). Throws IoError when reading fails.
    std::size_t ReadAt(std::uint64_t offset, void* into, std::size_t count) const;

private:
    std::string name_;
    int fd_ = -1;
    FileBytes::Outcome outcome_ = FileBytes::Outcome::NotOpened;
    int openError_ = 0;
    std::uint64_t size_ = 0;
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
