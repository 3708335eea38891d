#include "QPackege.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unordered_set>

#include "QUtils.h"

namespace quelt {
namespace {

namespace fs = std::filesystem;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

[[noreturn]] void ThrowIo(const std::string& what, const std::string& fileName) {
    throw IoError(what + " " + Quoted(fileName) + ": " + std::strerror(errno));
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Calls visit(entry) for each whole entry until it returns false. False when
// the data does not start with the magic. Bounds are checked before every
// read, so a hostile count or size only ends the walk early.
template <typename Visit>
bool WalkEntries(const TData& data, Visit&& visit) {
    const std::uint8_t* bytes = data.Data();
    const std::uint32_t size = data.Size();
    if (size < 2 || bytes[0] != 0x51 || bytes[1] != 0x50) return false;
    // "QP" with a cut-off count reads the count as 0, as a short typed read does.
    if (size - 2 < 4) return true;
    const std::uint32_t count = ReadLe32(bytes + 2);
    std::uint32_t position = 6;
    for (std::uint32_t i = 0; i < count; ++i) {
        const void* zero = std::memchr(bytes + position, 0, size - position);
        if (!zero) break;
        const auto nameLength = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(zero) - (bytes + position));
        std::uint32_t contentAt = position + nameLength + 1;
        if (size - contentAt < 4) break;
        const std::uint32_t contentSize = ReadLe32(bytes + contentAt);
        contentAt += 4;
        if (contentSize > size - contentAt) break;
        const PackageEntry entry{
            std::string_view(reinterpret_cast<const char*>(bytes + position), nameLength), contentAt, contentSize};
        position = contentAt + contentSize;
        if (!visit(entry)) break;
    }
    return true;
}

// Some failures do not stop the operation; the first is kept for the
// last-error text, with a count of the others.
class Problems {
public:
    void Note(const std::string& message) {
        if (count_++ == 0) first_ = message;
    }
    void Report() const {
        if (count_ == 0) return;
        std::string text = first_;
        if (count_ > 1) text += " (and " + std::to_string(count_ - 1) + " more)";
        SetLastError(text);
    }

private:
    std::string first_;
    std::size_t count_ = 0;
};

// A FIFO or device would block or never end, and a folder has no content.
bool IsRegularFile(const std::string& fileName, std::string& why) {
    std::error_code error;
    const fs::file_status status = fs::status(fileName, error);
    if (error) {
        why = error.message();
        return false;
    }
    if (fs::is_regular_file(status)) return true;
    why = fs::is_directory(status) ? "it is a folder" : "it is not a regular file";
    return false;
}

// The package whole, or nothing with the reason kept for the last error.
std::optional<TData> LoadPackage(const std::string& package) {
    std::string why;
    if (!IsRegularFile(package, why)) {
        SetLastError("Cannot open package " + Quoted(package) + ": " + why);
        return std::nullopt;
    }
    TData data(package);
    if (data.Size() >= 2 && data.Data()[0] == 0x51 && data.Data()[1] == 0x50) return data;
    if (data.Size() == 0) {
        errno = 0;
        File probe(std::fopen(package.c_str(), "rb"));
        if (!probe) {
            SetLastError("Cannot open package " + Quoted(package) + ": " + std::strerror(errno));
            return std::nullopt;
        }
    }
    SetLastError(Quoted(package) + " is not a package");
    return std::nullopt;
}

// Large enough that a big entry moves in few calls, small enough to stay in cache.
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

// Moves exactly `size` bytes from `in` to `out`; a short read means the
// source failed or changed while being read.
void CopyBytes(std::FILE* in, const std::string& inName, std::FILE* out, const std::string& outName,
               std::uint64_t size, std::vector<char>& buffer) {
    buffer.resize(kCopyChunk);
    while (size > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
        if (std::fread(buffer.data(), 1, n, in) != n) {
            if (std::ferror(in)) ThrowIo("Cannot read", inName);
            throw IoError(Quoted(inName) + " ended before its stated size");
        }
        if (std::fwrite(buffer.data(), 1, n, out) != n) ThrowIo("Cannot write", outName);
        size -= n;
    }
}

// The size of an open file, leaving it positioned at its start.
std::uint64_t SizeOf(std::FILE* file, const std::string& fileName) {
    if (fseeko(file, 0, SEEK_END) != 0) ThrowIo("Cannot size", fileName);
    const off_t size = ftello(file);
    if (size < 0 || fseeko(file, 0, SEEK_SET) != 0) ThrowIo("Cannot size", fileName);
    return static_cast<std::uint64_t>(size);
}

// A package read front to back from its file, never held whole: what
// unpacking a package far larger than memory needs. Accepts exactly the
// entries WalkEntries accepts.
class PackageStream {
public:
    // Nothing, with the reason kept for the last error, when it is not a package.
    static std::optional<PackageStream> Open(const std::string& package) {
        std::string why;
        if (!IsRegularFile(package, why)) {
            SetLastError("Cannot open package " + Quoted(package) + ": " + why);
            return std::nullopt;
        }
        File file(std::fopen(package.c_str(), "rb"));
        if (!file) {
            SetLastError("Cannot open package " + Quoted(package) + ": " + std::strerror(errno));
            return std::nullopt;
        }
        std::setvbuf(file.get(), nullptr, _IOFBF, 1 << 16);
        PackageStream stream(std::move(file), package);
        stream.size_ = SizeOf(stream.file_.get(), package);
        std::uint8_t header[6] = {};
        const std::size_t got = std::fread(header, 1, sizeof header, stream.file_.get());
        if (got < sizeof header && std::ferror(stream.file_.get())) ThrowIo("Cannot read package", package);
        if (got < 2 || header[0] != 0x51 || header[1] != 0x50) {
            SetLastError(Quoted(package) + " is not a package");
            return std::nullopt;
        }
        stream.entriesLeft_ = got == sizeof header ? ReadLe32(header + 2) : 0;
        stream.position_ = got;
        struct stat info {};
        if (fstat(fileno(stream.file_.get()), &info) == 0) {
            stream.device_ = info.st_dev;
            stream.inode_ = info.st_ino;
        }
        return stream;
    }

    // Whether `path` names this package: opening it for writing would cut
    // the package short while it is being read.
    bool IsThisPackage(const std::string& path) const {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_;
    }

    // Moves to the next whole entry; false after the last one or at the first
    // that does not fit. Content not copied is skipped.
    bool Next(std::string& name, std::uint32_t& size) {
        if (contentLeft_ > 0) {
            position_ += contentLeft_;
            contentLeft_ = 0;
            if (fseeko(file_.get(), static_cast<off_t>(position_), SEEK_SET) != 0) ThrowIo("Cannot read package", name_);
        }
        if (entriesLeft_ == 0) return false;
        name.clear();
        for (;;) {
            // Bytes past the size measured at opening (a growing file) are not part of it.
            if (position_ >= size_) return false;
            const int c = std::getc(file_.get());
            if (c == EOF) {
                if (std::ferror(file_.get())) ThrowIo("Cannot read package", name_);
                return false;
            }
            ++position_;
            if (c == 0) break;
            name.push_back(static_cast<char>(c));
        }
        std::uint8_t bytes[4];
        if (size_ - position_ < 4 || std::fread(bytes, 1, 4, file_.get()) != 4) return false;
        position_ += 4;
        size = ReadLe32(bytes);
        if (size > size_ - position_) return false;
        contentLeft_ = size;
        --entriesLeft_;
        return true;
    }

    void CopyContent(std::FILE* out, const std::string& outName, std::vector<char>& buffer) {
        CopyBytes(file_.get(), name_, out, outName, contentLeft_, buffer);
        position_ += contentLeft_;
        contentLeft_ = 0;
    }

    TData ReadContent() {
        TData content(static_cast<std::uint32_t>(contentLeft_));
        if (contentLeft_ > 0 && std::fread(content.Data(), 1, content.Size(), file_.get()) != content.Size()) {
            if (std::ferror(file_.get())) ThrowIo("Cannot read package", name_);
            throw IoError(Quoted(name_) + " ended before its stated size");
        }
        position_ += contentLeft_;
        contentLeft_ = 0;
        return content;
    }

private:
    PackageStream(File file, std::string name) : file_(std::move(file)), name_(std::move(name)) {}

    File file_;
    std::string name_;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t contentLeft_ = 0;
    std::uint32_t entriesLeft_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// Opens the file an entry goes to, created or truncated; no file when it
// cannot be created or when it is the package being read (`isPackage`).
File CreateForEntry(const PackageStream& stream, const std::string& fileName, bool& isPackage, Problems& problems) {
    isPackage = false;
    // Most targets are new files; only an existing one can be the package.
    File file(std::fopen(fileName.c_str(), "wbx"));
    if (!file && errno == EEXIST) {
        if (stream.IsThisPackage(fileName)) {
            isPackage = true;
            return nullptr;
        }
        file.reset(std::fopen(fileName.c_str(), "wb"));
    }
    if (!file) {
        problems.Note("Cannot create " + Quoted(fileName) + ": " + std::strerror(errno));
        return nullptr;
    }
    // Content goes out in whole chunks; a stdio buffer would only copy it again.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return file;
}

void WriteEntry(PackageStream& stream, File file, const std::string& fileName, std::vector<char>& buffer) {
    stream.CopyContent(file.get(), fileName, buffer);
    if (std::fclose(file.release()) != 0) ThrowIo("Cannot close", fileName);
}

class PackageWriter {
public:
    PackageWriter(File file, std::string fileName) : file_(std::move(file)), fileName_(std::move(fileName)) {
        std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 16);
    }
    void Bytes(const void* bytes, std::size_t size) {
        if (size > 0 && std::fwrite(bytes, 1, size, file_.get()) != size) ThrowIo("Cannot write package", fileName_);
    }
    void DWord(std::uint32_t value) {
        const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                       static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
        Bytes(bytes, sizeof bytes);
    }
    void Content(std::FILE* source, const std::string& sourceName, std::uint32_t size, std::vector<char>& buffer) {
        CopyBytes(source, sourceName, file_.get(), fileName_, size, buffer);
    }
    void Close() {
        if (std::fclose(file_.release()) != 0) ThrowIo("Cannot close package", fileName_);
    }

private:
    File file_;
    std::string fileName_;
};

// A source opened for packing; no file and size 0 when it cannot be read.
struct Source {
    File file;
    std::uint32_t size = 0;
};

Source OpenSource(const std::string& fileName, Problems& problems) {
    // Looked at before opening: opening a FIFO for reading would wait for a writer.
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0) {
        problems.Note("Cannot read " + Quoted(fileName) + " (" + std::strerror(errno) + "): stored as an empty entry");
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        const char* why = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
        problems.Note("Cannot read " + Quoted(fileName) + " (" + why + "): stored as an empty entry");
        return {};
    }
    if (static_cast<std::uint64_t>(info.st_size) > 0xFFFFFFFFu) {
        problems.Note("Cannot pack " + Quoted(fileName) + " (4 GiB or more): stored as an empty entry");
        return {};
    }
    File file(std::fopen(fileName.c_str(), "rb"));
    if (!file) {
        problems.Note("Cannot read " + Quoted(fileName) + " (" + std::strerror(errno) + "): stored as an empty entry");
        return {};
    }
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return {std::move(file), static_cast<std::uint32_t>(info.st_size)};
}

bool IsAmongSources(const std::string& package, const std::vector<std::string>& fileNames) {
    struct stat target {};
    if (stat(package.c_str(), &target) != 0) return false;
    for (const std::string& source : fileNames) {
        struct stat info {};
        if (stat(source.c_str(), &info) == 0 && info.st_dev == target.st_dev && info.st_ino == target.st_ino)
            return true;
    }
    return false;
}

std::optional<PackageEntry> FirstNamed(const TData& data, std::string_view entryName) {
    std::optional<PackageEntry> found;
    WalkEntries(data, [&](const PackageEntry& entry) {
        if (entry.name != entryName) return true;
        found = entry;
        return false;
    });
    return found;
}

} // namespace

std::optional<std::vector<PackageEntry>> ListEntries(const TData& data) {
    std::vector<PackageEntry> entries;
    if (!WalkEntries(data, [&](const PackageEntry& entry) {
            entries.push_back(entry);
            return true;
        }))
        return std::nullopt;
    return entries;
}

std::optional<TData> FindEntryIn(const TData& data, std::string_view entryName) {
    const std::optional<PackageEntry> entry = FirstNamed(data, entryName);
    if (!entry) return std::nullopt;
    TData content(entry->size);
    if (entry->size > 0) std::memcpy(content.Data(), data.Data() + entry->offset, entry->size);
    return content;
}

bool IsSafeEntryName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

void CreatePackege(const std::string& package, const std::vector<std::string>& fileNames) {
    if (IsAmongSources(package, fileNames)) {
        SetLastError("Package " + Quoted(package) + " is also one of its sources: nothing written");
        return;
    }
    File file(std::fopen(package.c_str(), "wb"));
    if (!file) {
        SetLastError("Cannot create package " + Quoted(package) + ": " + std::strerror(errno));
        return;
    }
    PackageWriter writer(std::move(file), package);
    writer.Bytes("QP", 2);
    writer.DWord(static_cast<std::uint32_t>(fileNames.size()));
    Problems problems;
    std::vector<char> buffer;
    for (const std::string& fileName : fileNames) {
        const Source source = OpenSource(fileName, problems);
        std::string stored = ExtractName(fileName);
        stored.resize(std::strlen(stored.c_str()));
        writer.Bytes(stored.c_str(), stored.size() + 1);
        writer.DWord(source.size);
        if (source.file) writer.Content(source.file.get(), fileName, source.size, buffer);
    }
    writer.Close();
    problems.Report();
}

std::optional<std::vector<std::string>> Content(const std::string& package) {
    const std::optional<TData> data = LoadPackage(package);
    if (!data) return std::nullopt;
    std::vector<std::string> names;
    WalkEntries(*data, [&](const PackageEntry& entry) {
        names.emplace_back(entry.name);
        return true;
    });
    return names;
}

std::optional<TData> FindEntry(const std::string& package, const std::string& entryName) {
    const std::optional<TData> data = LoadPackage(package);
    if (!data) return std::nullopt;
    std::optional<TData> content = FindEntryIn(*data, entryName);
    if (!content) SetLastError("No entry " + Quoted(entryName) + " in package " + Quoted(package));
    return content;
}

void Extract(const std::string& package, const std::string& entryName, const std::string& destination) {
    if (destination.empty() && !IsSafeEntryName(entryName)) {
        SetLastError("Entry name " + Quoted(entryName) + " would leave the package's folder: not extracted");
        return;
    }
    std::optional<PackageStream> stream = PackageStream::Open(package);
    if (!stream) return;
    std::string name;
    std::uint32_t size = 0;
    while (stream->Next(name, size)) {
        if (name != entryName) continue;
        const std::string target = destination.empty() ? ExtractFolder(package) + entryName : destination;
        Problems problems;
        bool isPackage = false;
        File file = CreateForEntry(*stream, target, isPackage, problems);
        if (isPackage) {
            // The caller replaces the package by one of its entries: read it all first.
            TData content = stream->ReadContent();
            if (!content.SaveToFile(target)) problems.Note("Cannot create " + Quoted(target) + ": " + std::strerror(errno));
        } else if (file) {
            std::vector<char> buffer;
            WriteEntry(*stream, std::move(file), target, buffer);
        }
        problems.Report();
        return;
    }
    SetLastError("No entry " + Quoted(entryName) + " in package " + Quoted(package));
}

void Unpack(const std::string& package, const std::string& destinationFolder) {
    const std::string folder = destinationFolder.empty() ? ExtractFolder(package) : destinationFolder;
    std::optional<PackageStream> stream = PackageStream::Open(package);
    if (!stream) return;
    std::unordered_set<std::string> seen;
    std::vector<char> buffer;
    Problems problems;
    std::string name;
    std::uint32_t size = 0;
    while (stream->Next(name, size)) {
        // A repeated name would overwrite the first entry's file with a later one.
        if (!seen.insert(name).second) continue;
        if (!IsSafeEntryName(name)) {
            problems.Note("Skipped entry " + Quoted(name) + ": it would leave the target folder");
            continue;
        }
        const std::string target = folder + name;
        bool isPackage = false;
        File file = CreateForEntry(*stream, target, isPackage, problems);
        if (isPackage) problems.Note("Skipped entry " + Quoted(name) + ": it would overwrite the package being unpacked");
        if (file) WriteEntry(*stream, std::move(file), target, buffer);
    }
    problems.Report();
}

std::optional<std::vector<EntryInfo>> ScanPackage(const std::string& package) {
    std::optional<PackageStream> stream = PackageStream::Open(package);
    if (!stream) return std::nullopt;
    std::vector<EntryInfo> entries;
    EntryInfo entry;
    while (stream->Next(entry.name, entry.size)) entries.push_back(entry);
    return entries;
}

} // namespace quelt
