// SPDX-License-Identifier: Zlib
#include "SData.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "QUtils.h"

namespace quelt {

FileBytes ReadRegularFile(const std::string& fileName, std::uint64_t maxSize) {
    FileBytes result;
    const RegularFile file(fileName, maxSize);
    result.outcome = file.Outcome();
    result.openError = file.OpenError();
    if (result.outcome != FileBytes::Outcome::Read) return result;
    result.bytes.resize(static_cast<std::size_t>(file.Size()));
    // Never more than the size found at opening, even if the file grows
    // meanwhile; a file that shrinks keeps what it still holds.
    result.bytes.resize(file.ReadAt(0, result.bytes.data(), result.bytes.size()));
    return result;
}

TData::TData(const std::string& fileName) {
    FileBytes file = ReadRegularFile(fileName, std::numeric_limits<std::uint32_t>::max());
    if (file.outcome == FileBytes::Outcome::TooLarge)
        throw IoError("File \"" + fileName + "\" is too large (4 GiB or more)");
    if (file.outcome == FileBytes::Outcome::NotOpened) SetLastError(IoFailure("Cannot open", fileName, file.openError));
    if (file.outcome == FileBytes::Outcome::NotRegular)
        SetLastError("Cannot open " + Quoted(fileName) + ": not a regular file");
    bytes_ = std::move(file.bytes);
}

TData::TData(std::uint32_t size) : bytes_(size) {}

std::uint8_t TData::ReadByte() {
    if (Remaining() < 1) return 0;
    return bytes_[position_++];
}

std::uint16_t TData::ReadWord() {
    if (Remaining() < 2) return 0;
    position_ += 2;
    return LoadLE16(bytes_.data() + position_ - 2);
}

std::uint32_t TData::ReadDWord() {
    if (Remaining() < 4) return 0;
    position_ += 4;
    return LoadLE32(bytes_.data() + position_ - 4);
}

float TData::ReadSingle() {
    if (Remaining() < 4) return 0.0f;
    position_ += 4;
    return LoadLEFloat(bytes_.data() + position_ - 4);
}

std::string TData::ReadString() {
    if (AtEnd()) return {};
    const std::uint8_t* begin = bytes_.data() + position_;
    const std::uint8_t* end = bytes_.data() + bytes_.size();
    const void* zero = std::memchr(begin, 0, static_cast<std::size_t>(end - begin));
    const std::uint8_t* stop = zero ? static_cast<const std::uint8_t*>(zero) : end;
    std::string text(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(stop - begin));
    position_ = static_cast<std::uint32_t>(stop - bytes_.data()) + (zero ? 1 : 0);
    return text;
}

std::uint32_t TData::Skip(std::int32_t count) {
    const std::uint32_t target = position_ + static_cast<std::uint32_t>(count);
    position_ = target > Size() ? Size() : target;
    return position_;
}

std::uint32_t TData::Seek(std::uint32_t position) {
    position_ = position > Size() ? Size() : position;
    return position_;
}

bool TData::SaveToFile(const std::string& fileName) {
    File file(std::fopen(fileName.c_str(), "wb"));
    if (!file) return false;
    position_ = 0;
    if (!bytes_.empty() && std::fwrite(bytes_.data(), 1, bytes_.size(), file.get()) != bytes_.size())
        ThrowIoError("Cannot write file", fileName);
    if (std::fclose(file.release()) != 0) ThrowIoError("Cannot close file", fileName);
    return true;
}

} // namespace quelt
