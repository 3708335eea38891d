#include "SData.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include <sys/stat.h>

#include "QUtils.h"

namespace quelt {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void ThrowIo(const std::string& what, const std::string& fileName) {
    throw IoError(what + " \"" + fileName + "\": " + std::strerror(errno));
}

} // namespace

TData::TData(const std::string& fileName) {
    // Read-only access is enough: a read-only asset must load too.
    File file(std::fopen(fileName.c_str(), "rb"));
    if (!file) return;
    // A folder opens on this platform but is not a file: treat it as missing.
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || S_ISDIR(info.st_mode)) return;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) ThrowIo("Cannot size file", fileName);
    const long size = std::ftell(file.get());
    if (size < 0) ThrowIo("Cannot size file", fileName);
    if (static_cast<unsigned long>(size) > std::numeric_limits<std::uint32_t>::max())
        throw IoError("File \"" + fileName + "\" is too large (4 GiB or more)");
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) ThrowIo("Cannot read file", fileName);
    bytes_.resize(static_cast<std::size_t>(size));
    if (size > 0 && std::fread(bytes_.data(), 1, bytes_.size(), file.get()) != bytes_.size())
        ThrowIo("Cannot read file", fileName);
    if (std::fclose(file.release()) != 0) ThrowIo("Cannot close file", fileName);
}

TData::TData(std::uint32_t size) : bytes_(size) {}

std::uint8_t TData::ReadByte() {
    if (Remaining() < 1) return 0;
    return bytes_[position_++];
}

std::uint16_t TData::ReadWord() {
    if (Remaining() < 2) return 0;
    const std::uint8_t* p = bytes_.data() + position_;
    position_ += 2;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t TData::ReadDWord() {
    if (Remaining() < 4) return 0;
    const std::uint8_t* p = bytes_.data() + position_;
    position_ += 4;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

float TData::ReadSingle() {
    if (Remaining() < 4) return 0.0f;
    const std::uint32_t bits = ReadDWord();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
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
        ThrowIo("Cannot write file", fileName);
    if (std::fclose(file.release()) != 0) ThrowIo("Cannot close file", fileName);
    return true;
}

} // namespace quelt
