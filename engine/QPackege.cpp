// SPDX-License-Identifier: Zlib
// The package module's system-neutral part: reading, writing and unpacking
// packages. What touches files beyond reading them is in QPackegePosix.cpp
// and QPackegeWin32.cpp, behind QPackegeParts.h.
#include "QPackege.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <random>
#include <unordered_set>
#include <utility>

#include "QPackegeParts.h"
#include "QUtils.h"

namespace quelt {
namespace packege {

std::optional<PackageReader> OpenAtEntry(const std::string& package, const std::string& entryName) {
    std::optional<PackageReader> reader = PackageReader::Open(package);
    if (!reader) return std::nullopt;
    PackageEntry entry;
    while (reader->Next(entry))
        if (entry.name == entryName) return reader;
    const std::string damage = reader->Damage();
    SetLastError("No entry " + Quoted(entryName) + " in package " + Quoted(package) +
                 (damage.empty() ? "" : " (" + damage + ")"));
    return std::nullopt;
}

namespace {

// The files named by the entries met so far, so that only the first entry
// naming a file is written ("a", "./a" and "a//b", "a\\b" name the same one).
// While every entry so far made its file, an entry whose file is new to the
// folder cannot repeat one; so the names are only listed, and looked up once
// a name is found taken or an entry fails.
class EntryNames {
public:
    // Notes the next entry's name; false when it repeats an earlier one.
    bool Add(const std::string& name) {
        if (IsPlainName(name) && !kFileNamesIgnoreCase) return AddFile(name);
        const std::string file = FileOf(name);
        return file.empty() || AddFile(file); // one naming no file is reported, not written
    }

    // Whether the name Add took last repeats an earlier one.
    bool LastRepeats() {
        if (indexed_) return false; // Add has looked it up
        std::string last = listed_.substr(lastStart_, listed_.size() - lastStart_ - 1); // without its zero
        listed_.resize(lastStart_);
        Index();
        return !index_.insert(std::move(last)).second;
    }

    // From now on every name is looked up.
    void Index() {
        if (indexed_) return;
        for (std::size_t at = 0; at < listed_.size();) {
            const std::size_t end = listed_.find('\0', at);
            index_.emplace(listed_, at, end - at);
            at = end + 1;
        }
        listed_ = {};
        indexed_ = true;
    }

private:
    bool AddFile(std::string_view file) {
        if (indexed_) return index_.emplace(file).second;
        // Back to back, each ended by the zero byte no stored name holds: one
        // growing string instead of an object per entry.
        lastStart_ = listed_.size();
        listed_.append(file).push_back('\0');
        return true;
    }

    // The path inside the folder, "/" between its parts; empty for a name that
    // is skipped.
    static std::string FileOf(const std::string& name) {
        if (kFileNamesIgnoreCase) return Folded(PlainFileOf(name));
        return PlainFileOf(name);
    }
    static std::string Folded(std::string file) {
        for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return file;
    }
    static std::string PlainFileOf(const std::string& name) {
        if (IsPlainName(name)) return name;
        const std::vector<std::string_view> parts = Components(name);
        if (!IsSafeEntryName(name) || parts.back().empty() || parts.back() == ".") return {};
        std::string file;
        for (const std::string_view part : parts)
            if (!part.empty() && part != ".") (file += file.empty() ? "" : "/") += part;
        return file;
    }

    std::string listed_; // while not indexed
    std::size_t lastStart_ = 0;
    std::unordered_set<std::string> index_;
    bool indexed_ = false;
};

// The entry the reader is at, written whole into `file` or, noted, not at all.
// False when it was not written; a failure to read the package throws.
bool WriteEntry(PackageReader& reader, EntryFile& file, const TargetFolder& folder, const std::string& name,
                Problems& problems) {
    int error = 0;
    try {
        error = reader.CopyContent(file.file.Get());
    } catch (const IoError&) {
        file.Remove();
        throw;
    }
    if (error == 0 && !file.file.Close()) error = errno;
    if (error == 0) return true;
    file.Remove();
    problems.Note(Problems::kNotWritten, folder.PathOf(name), std::strerror(error)); // built only when needed
    return false;
}

void WriteEntries(PackageReader& reader, const TargetFolder& folder, Problems& problems) {
    EntryNames names;
    PackageEntry entry;
    while (reader.Next(entry)) {
        if (!names.Add(entry.name)) continue;
        EntryFile file = folder.Create(entry.name, reader, problems, [&] { return names.LastRepeats(); });
        if (!file || !WriteEntry(reader, file, folder, entry.name, problems)) names.Index();
    }
}

// Where a package is written. A regular file (or none yet) is replaced only
// once the new package is whole: it is written beside it under a temporary
// name and renamed over it, so a failed pack leaves the old package as it
// was. Where the system follows links by hand (POSIX), a link at the name is
// followed and the file it leads to is replaced, so the link stays, and the
// new file takes the old one's permissions; other hard links to the old file
// keep the old package. A device or FIFO is written directly.
class PackageFile {
public:
    explicit PackageFile(std::string package) : shown_(std::move(package)), path_(LinkedPath(shown_)) {}
    PackageFile(const PackageFile&) = delete;
    PackageFile& operator=(const PackageFile&) = delete;
    ~PackageFile() {
        if (committed_) return;
        file_.reset();
        if (!temporary_.empty()) RemoveFile(temporary_);
    }

    // False, with the reason kept for the last error, when it cannot be written.
    bool Open() {
        Fd fd = OpenPackageFile(path_, temporary_);
        if (!fd) {
            SetLastError(IoFailure("Cannot create package", shown_));
            return false;
        }
        file_.reset(StreamOf(fd));
        if (!file_) ThrowIoError("Cannot write package", shown_);
        std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 16);
        return true;
    }

    void Bytes(const void* bytes, std::size_t size) {
        if (size > 0 && std::fwrite(bytes, 1, size, file_.get()) != size) ThrowIoError("Cannot write package", shown_);
        written_ += size;
    }
    void DWord(std::uint32_t value) {
        std::uint8_t bytes[4];
        StoreLE32(bytes, value);
        Bytes(bytes, sizeof bytes);
    }
    // Where the next byte goes.
    std::uint64_t Position() const { return written_; }
    // Rewrites the 32-bit value at `position`, an earlier Position(); false
    // when the package cannot seek (a FIFO).
    bool Patch(std::uint64_t position, std::uint32_t value) {
        const std::uint64_t end = written_;
        if (!SeekTo(file_.get(), position)) return false;
        DWord(value);
        written_ = end;
        return SeekTo(file_.get(), end);
    }
    const std::string& Name() const { return shown_; }

    // The package is whole: it takes the place of the old one.
    void Commit() {
        if (std::fclose(file_.release()) != 0) ThrowIoError("Cannot close package", shown_);
        if (!temporary_.empty() && !MoveOver(temporary_, path_)) ThrowIoError("Cannot replace package", shown_);
        committed_ = true;
    }

private:
    std::string shown_;     // the name the caller gave
    std::string path_;      // the file it names, links followed
    std::string temporary_; // written until it replaces path_; empty when written directly
    File file_;
    std::uint64_t written_ = 0;
    bool committed_ = false;
};

// Large enough that a big source moves in few calls, small enough to stay in cache.
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

// A source, or none with the reason noted (or thrown, when asked to refuse).
Source OpenSourceOrNote(const std::string& fileName, Problems& problems, UnreadableSources unreadable) {
    std::string why;
    Source source = OpenSource(fileName, why);
    if (source.file) {
        std::setvbuf(source.file.get(), nullptr, _IONBF, 0);
        return source;
    }
    if (unreadable == UnreadableSources::kRefuse) throw IoError("Cannot read " + Quoted(fileName) + ": " + why);
    problems.Note(Problems::kStoredEmpty, fileName, why);
    return Source{};
}

// Copies the source to its end into the package, after the size that stat
// gave, written before it. A file whose size says 0 but holds data (as in
// /proc) has the size it read patched in; a file that changed while it was
// read is refused rather than stored as some of its bytes.
void PackContent(PackageFile& out, Source& source, const std::string& fileName, std::vector<char>& buffer) {
    const std::uint64_t sizeAt = out.Position();
    const std::uint64_t stated = source.seen.size;
    out.DWord(static_cast<std::uint32_t>(stated));
    if (!source.file) return;
    buffer.resize(kCopyChunk);
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), source.file.get());
        if (got == 0) break;
        total += got;
        if (total > kMaxEntrySize) throw IoError("Cannot pack " + Quoted(fileName) + ": it holds 4 GiB or more");
        out.Bytes(buffer.data(), got);
    }
    if (std::ferror(source.file.get())) ThrowIoError("Cannot read", fileName);
    SourceStamp now;
    if (!StampNow(source, now)) ThrowIoError("Cannot read", fileName);
    if (!(now == source.seen))
        throw IoError("Cannot pack " + Quoted(fileName) + ": it changed while it was being read");
    if (total != stated && !out.Patch(sizeAt, static_cast<std::uint32_t>(total)))
        throw IoError("Cannot pack " + Quoted(fileName) + ": its size shows only once read, and " + Quoted(out.Name()) +
                      " cannot be written out of order");
}

// Why the package cannot be written from these sources, or nothing.
std::optional<std::string> RefusalToPack(const std::string& package, const std::vector<std::string>& fileNames) {
    for (const std::string& source : fileNames)
        if (std::strlen(ExtractName(source).c_str()) >= kMaxNameLength)
            return "Cannot pack " + Quoted(package) + ": a stored name must be shorter than 1 MiB";
    const std::optional<FileIdentity> target = IdentityAt(package);
    if (!target) return std::nullopt;
    for (const std::string& source : fileNames) {
        if (IdentityAt(source) == target)
            return "Package " + Quoted(package) + " is also one of its sources: nothing written";
    }
    return std::nullopt;
}

} // namespace

Fd CreateTemporary(const std::string& path, std::string& temporary) {
    const std::size_t slash = path.find_last_of(kFolderSeparators);
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    // Short enough that the temporary name fits wherever the package's does.
    const std::string base = path.substr(folder.size()).substr(0, 200);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "." + base + ".";
        for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
        Fd fd = CreateNewFile(name);
        if (fd) temporary = std::move(name);
        if (fd || errno != EEXIST) return fd;
    }
    return Fd();
}

} // namespace packege

using packege::Components;
using packege::PackageReader;

bool VisitEntries(const std::string& package, const std::function<void(const PackageEntry&)>& visit) {
    std::optional<PackageReader> reader = PackageReader::Open(package);
    if (!reader) return false;
    PackageEntry entry;
    while (reader->Next(entry)) visit(entry);
    const std::string damage = reader->Damage();
    if (!damage.empty()) SetLastError(damage);
    return true;
}

bool IsSafeEntryName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    const std::vector<std::string_view> parts = Components(name);
    return std::find(parts.begin(), parts.end(), "..") == parts.end();
}

bool IsWindowsFileName(std::string_view part) {
    if (part.empty() || part.back() == '.' || part.back() == ' ') return false;
    for (const char c : part)
        if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"/\\|?*", c)) return false;
    // The device names hold with any extension and with spaces before it.
    std::string base(part.substr(0, part.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (base == device) return false;
    const bool numbered = base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0);
    return !(numbered && base[3] >= '1' && base[3] <= '9');
}

std::optional<std::vector<std::string>> Content(const std::string& package) {
    std::vector<std::string> names;
    if (!VisitEntries(package, [&](const PackageEntry& entry) { names.push_back(entry.name); })) return std::nullopt;
    return names;
}

std::optional<TData> FindEntry(const std::string& package, const std::string& entryName) {
    std::optional<PackageReader> reader = packege::OpenAtEntry(package, entryName);
    if (!reader) return std::nullopt;
    return reader->ReadContent();
}

void ExtractInto(const std::string& package, const std::string& entryName, const std::string& folder,
                 const std::string& fileName) {
    std::optional<PackageReader> reader = packege::OpenAtEntry(package, entryName);
    if (!reader) return;
    const std::optional<packege::TargetFolder> target = packege::TargetFolder::Open(folder);
    if (!target) return;
    packege::Problems problems;
    packege::EntryFile file = target->Create(fileName, *reader, problems, [] { return false; });
    if (file) packege::WriteEntry(*reader, file, *target, fileName, problems);
    problems.Report({});
}

void Unpack(const std::string& package, const std::string& destinationFolder) {
    std::optional<PackageReader> reader = PackageReader::Open(package);
    if (!reader) return;
    const std::optional<packege::TargetFolder> folder =
        packege::TargetFolder::Open(destinationFolder.empty() ? ExtractFolder(package) : destinationFolder);
    if (!folder) return;
    packege::Problems problems;
    std::string ending;
    try {
        packege::WriteEntries(*reader, *folder, problems);
        ending = reader->Damage();
    } catch (const IoError& error) {
        // The package could not be read on: what was met before still counts.
        ending = error.what();
    }
    problems.Report(ending);
}

void CreatePackege(const std::string& package, const std::vector<std::string>& fileNames,
                   UnreadableSources unreadable) {
    if (const auto refusal = packege::RefusalToPack(package, fileNames)) {
        SetLastError(*refusal);
        return;
    }
    packege::PackageFile out(package);
    if (!out.Open()) return;
    out.Bytes("QP", 2);
    out.DWord(static_cast<std::uint32_t>(fileNames.size()));
    packege::Problems problems;
    std::vector<char> buffer;
    for (const std::string& fileName : fileNames) {
        packege::Source source = packege::OpenSourceOrNote(fileName, problems, unreadable);
        std::string stored = ExtractName(fileName);
        stored.resize(std::strlen(stored.c_str()));
        out.Bytes(stored.c_str(), stored.size() + 1);
        packege::PackContent(out, source, fileName, buffer);
    }
    out.Commit();
    problems.Report({});
}

void Extract(const std::string& package, const std::string& entryName, const std::string& destination) {
    if (destination.empty()) {
        ExtractInto(package, entryName, ExtractFolder(package), entryName);
        return;
    }
    std::optional<PackageReader> reader = packege::OpenAtEntry(package, entryName);
    if (!reader) return;
    // Not truncated before it is known not to be the package being read.
    packege::Destination file = packege::OpenDestination(destination);
    if (!file.fd) {
        SetLastError(IoFailure("Cannot create", destination));
        return;
    }
    if (reader->IsThisPackage(file.identity)) {
        // The caller replaces the package by one of its entries: read it all first.
        TData content = reader->ReadContent();
        if (!content.SaveToFile(destination)) SetLastError(IoFailure("Cannot create", destination));
        return;
    }
    if (file.regular && !packege::Empty(file.fd)) ThrowIoError("Cannot write", destination);
    if (const int error = reader->CopyContent(file.fd.Get())) ThrowIoError("Cannot write", destination, error);
    if (!file.fd.Close()) ThrowIoError("Cannot close", destination);
}

} // namespace quelt
