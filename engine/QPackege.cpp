#include "QPackege.h"

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

// Creates (or truncates) the file and writes the bytes. False when it cannot
// be created; a failure after that throws.
bool WriteWholeFile(const std::string& fileName, const std::uint8_t* bytes, std::uint32_t size,
                    Problems& problems) {
    File file(std::fopen(fileName.c_str(), "wb"));
    if (!file) {
        problems.Note("Cannot create " + Quoted(fileName) + ": " + std::strerror(errno));
        return false;
    }
    if (size > 0 && std::fwrite(bytes, 1, size, file.get()) != size) ThrowIo("Cannot write", fileName);
    if (std::fclose(file.release()) != 0) ThrowIo("Cannot close", fileName);
    return true;
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
    void Close() {
        if (std::fclose(file_.release()) != 0) ThrowIo("Cannot close package", fileName_);
    }

private:
    File file_;
    std::string fileName_;
};

TData LoadSource(const std::string& fileName, Problems& problems) {
    std::string why;
    if (!IsRegularFile(fileName, why)) {
        problems.Note("Cannot read " + Quoted(fileName) + " (" + why + "): stored as an empty entry");
        return TData();
    }
    try {
        return TData(fileName);
    } catch (const IoError& error) {
        problems.Note(std::string(error.what()) + ": stored as an empty entry");
        return TData();
    }
}

bool IsAmongSources(const std::string& package, const std::vector<std::string>& fileNames) {
    std::error_code error;
    if (!fs::exists(package, error)) return false;
    for (const std::string& source : fileNames)
        if (fs::equivalent(package, source, error)) return true;
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
    for (const std::string& fileName : fileNames) {
        const TData content = LoadSource(fileName, problems);
        std::string stored = ExtractName(fileName);
        stored.resize(std::strlen(stored.c_str()));
        writer.Bytes(stored.c_str(), stored.size() + 1);
        writer.DWord(content.Size());
        writer.Bytes(content.Data(), content.Size());
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
    const std::optional<TData> data = LoadPackage(package);
    if (!data) return;
    const std::optional<PackageEntry> entry = FirstNamed(*data, entryName);
    if (!entry) {
        SetLastError("No entry " + Quoted(entryName) + " in package " + Quoted(package));
        return;
    }
    const std::string target = destination.empty() ? ExtractFolder(package) + entryName : destination;
    Problems problems;
    WriteWholeFile(target, data->Data() + entry->offset, entry->size, problems);
    problems.Report();
}

void Unpack(const std::string& package, const std::string& destinationFolder) {
    const std::string folder = destinationFolder.empty() ? ExtractFolder(package) : destinationFolder;
    const std::optional<TData> data = LoadPackage(package);
    if (!data) return;
    std::unordered_set<std::string_view> seen;
    Problems problems;
    WalkEntries(*data, [&](const PackageEntry& entry) {
        // A repeated name would overwrite the first entry's file with a later one.
        if (!seen.insert(entry.name).second) return true;
        if (!IsSafeEntryName(entry.name)) {
            problems.Note("Skipped entry " + Quoted(std::string(entry.name)) + ": it would leave the target folder");
            return true;
        }
        WriteWholeFile(folder + std::string(entry.name), data->Data() + entry.offset, entry.size, problems);
        return true;
    });
    problems.Report();
}

} // namespace quelt
