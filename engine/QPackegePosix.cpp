// SPDX-License-Identifier: Zlib
// The package module's file system side on POSIX systems: every entry's name
// is resolved from the open target folder one component at a time, never
// through a link.
#include "QPackege.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <unordered_set>
#include <utility>

#include "QPackegeParts.h"
#include "QUtils.h"

namespace quelt {
namespace packege {
namespace {

FileIdentity IdentityOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// Never follows a link at the name and never opens what exists there.
int NewFile(int at, const char* name) {
    return openat(at, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
}

// The regular file `seen` at `name`, emptied for writing, as saving a file
// does. A file no one may write stays as it is (even for root); anything
// swapped in since it was seen is refused.
Fd InPlace(int at, const char* name, const struct stat& seen) {
    if ((seen.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        errno = EACCES;
        return Fd();
    }
    Fd file(openat(at, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!file || fstat(file.Get(), &info) != 0) return Fd();
    if (info.st_dev != seen.st_dev || info.st_ino != seen.st_ino || info.st_nlink != 1) {
        errno = EBUSY;
        return Fd();
    }
    if (ftruncate(file.Get(), 0) != 0) return Fd();
    return file;
}

// Large enough that a big source moves in few calls, small enough to stay in cache.
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

// The path a link at `path` leads to, through any number of links; `path`
// itself when nothing is linked there. A link that leads nowhere gives the
// file it would create.
std::string LinkedPath(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096), '\0');
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length <= 0) return path;
        target.resize(static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        path = target.front() == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    return path;
}

// Where a package is written. A regular file (or none yet) is replaced only
// once the new package is whole: it is written beside it under a temporary
// name and renamed over it, so a failed pack leaves the old package as it
// was. The new file takes the old one's permissions (a new one gets those of
// any new file); a link at the name is followed and the file it leads to is
// replaced, so the link stays; other hard links to the old file keep the old
// package. A device or FIFO is written directly.
class PackageFile {
public:
    explicit PackageFile(std::string package) : shown_(std::move(package)), path_(LinkedPath(shown_)) {}
    PackageFile(const PackageFile&) = delete;
    PackageFile& operator=(const PackageFile&) = delete;
    ~PackageFile() {
        if (committed_) return;
        file_.reset();
        if (!temporary_.empty()) unlink(temporary_.c_str());
    }

    // False, with the reason kept for the last error, when it cannot be written.
    bool Open() {
        Fd fd = OpenFile();
        if (!fd) {
            SetLastError(IoFailure("Cannot create package", shown_));
            return false;
        }
        file_.reset(fdopen(fd.Get(), "wb"));
        if (!file_) ThrowIoError("Cannot write package", shown_);
        fd.Release();
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
        if (fseeko(file_.get(), static_cast<off_t>(position), SEEK_SET) != 0) return false;
        DWord(value);
        written_ = end;
        return fseeko(file_.get(), static_cast<off_t>(end), SEEK_SET) == 0;
    }
    const std::string& Name() const { return shown_; }

    // The package is whole: it takes the place of the old one.
    void Commit() {
        if (std::fclose(file_.release()) != 0) ThrowIoError("Cannot close package", shown_);
        if (!temporary_.empty() && rename(temporary_.c_str(), path_.c_str()) != 0)
            ThrowIoError("Cannot replace package", shown_);
        committed_ = true;
    }

private:
    Fd OpenFile() {
        struct stat old {};
        if (stat(path_.c_str(), &old) != 0) return CreateTemporary();
        if (S_ISDIR(old.st_mode)) {
            errno = EISDIR;
            return Fd();
        }
        if (!S_ISREG(old.st_mode)) return Fd(open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
        // A read-only package stays, as one written in place would (root included).
        if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path_.c_str(), W_OK) != 0) {
            errno = EACCES;
            return Fd();
        }
        Fd fd = CreateTemporary();
        if (fd) {
            // Ownership first, since changing it clears set-id bits; where it
            // cannot be changed the new file is ours.
            if (fchown(fd.Get(), old.st_uid, old.st_gid) != 0) errno = 0;
            if (fchmod(fd.Get(), old.st_mode & 07777) != 0) errno = 0;
        }
        return fd;
    }

    // A new file beside the package, under a name no other file has.
    Fd CreateTemporary() {
        const std::size_t slash = path_.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
        // Short enough that the temporary name fits wherever the package's does.
        const std::string base = path_.substr(folder.size()).substr(0, 200);
        static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = folder + "." + base + ".";
            for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
            Fd fd(open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666));
            if (fd) temporary_ = std::move(name);
            if (fd || errno != EEXIST) return fd;
        }
        return Fd();
    }

    std::string shown_;     // the name the caller gave
    std::string path_;      // the file it names, links followed
    std::string temporary_; // written until it replaces path_; empty when written directly
    File file_;
    std::uint64_t written_ = 0;
    bool committed_ = false;
};

// A source opened for packing; no file and size 0 when it cannot be read.
struct Source {
    File file;
    struct stat seen {}; // when opened
};

Source OpenSource(const std::string& fileName, Problems& problems, UnreadableSources unreadable) {
    const auto fail = [&](const std::string& why) {
        if (unreadable == UnreadableSources::kRefuse) throw IoError("Cannot read " + Quoted(fileName) + ": " + why);
        problems.Note(Problems::kStoredEmpty, fileName, why);
        return Source{};
    };
    // Looked at before opening: opening a FIFO for reading would wait for a writer.
    Source source;
    if (stat(fileName.c_str(), &source.seen) != 0) return fail(std::strerror(errno));
    if (S_ISDIR(source.seen.st_mode)) return fail("it is a folder");
    if (!S_ISREG(source.seen.st_mode)) return fail("it is not a regular file");
    if (static_cast<std::uint64_t>(source.seen.st_size) > kMaxEntrySize) return fail("it holds 4 GiB or more");
    source.file.reset(std::fopen(fileName.c_str(), "rb"));
    if (!source.file || fstat(fileno(source.file.get()), &source.seen) != 0) return fail(std::strerror(errno));
    std::setvbuf(source.file.get(), nullptr, _IONBF, 0);
    return source;
}

// Copies the source to its end into the package, after the size that stat
// gave, written before it. A file whose size says 0 but holds data (as in
// /proc) has the size it read patched in; a file that changed while it was
// read is refused rather than stored as some of its bytes.
void PackContent(PackageFile& out, Source& source, const std::string& fileName, std::vector<char>& buffer) {
    const std::uint64_t sizeAt = out.Position();
    const auto stated = static_cast<std::uint64_t>(source.seen.st_size);
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
    struct stat now {};
    if (fstat(fileno(source.file.get()), &now) != 0) ThrowIoError("Cannot read", fileName);
    if (now.st_size != source.seen.st_size || now.st_mtim.tv_sec != source.seen.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != source.seen.st_mtim.tv_nsec)
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
    struct stat target {};
    if (stat(package.c_str(), &target) != 0) return std::nullopt;
    for (const std::string& source : fileNames) {
        struct stat info {};
        if (stat(source.c_str(), &info) == 0 && info.st_dev == target.st_dev && info.st_ino == target.st_ino)
            return "Package " + Quoted(package) + " is also one of its sources: nothing written";
    }
    return std::nullopt;
}

} // namespace

const bool kFileNamesIgnoreCase = false;

void EntryFile::Remove() const { unlinkat(at, name.c_str(), 0); }

std::optional<TargetFolder> TargetFolder::Open(const std::string& folder) {
    std::string path = folder;
    std::replace(path.begin(), path.end(), '\\', '/');
    Fd fd(open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
        SetLastError("Cannot use folder " + Quoted(folder) + ": " +
                     (errno == ENOTDIR ? "it is not a folder" : std::strerror(errno)));
        return std::nullopt;
    }
    const bool separated = folder.empty() || folder.back() == '/' || folder.back() == '\\';
    return TargetFolder(std::move(fd), path, separated ? folder : folder + "/");
}

EntryFile TargetFolder::Create(const std::string& name, const PackageReader& package, Problems& problems,
                               const std::function<bool()>& keepExisting) const {
    // Most names are a file right in the folder, with nothing to walk.
    const bool plain = !name.empty() && name != "." && name != ".." && name.find_first_of("\\/") == std::string::npos;
    std::vector<std::string> parts;
    if (!plain && (!IsSafeEntryName(name) || !FileParts(name, parts))) {
        problems.Note(Problems::kSkipped, name, "it would leave the target folder or names no file");
        return {};
    }
    EntryFile entry;
    entry.at = fd_.Get();
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        Fd folder(openat(entry.at, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder) {
            problems.Note(Problems::kNotWritten, PathOf(name),
                          Quoted(parts[i]) + " is not a folder here: " + std::strerror(errno));
            return {};
        }
        // Only the folder holding the file stays open.
        entry.folders.clear();
        entry.folders.push_back(std::move(folder));
        entry.at = entry.folders.back().Get();
    }
    entry.name = plain ? name : parts.back();
    const char* last = entry.name.c_str();
    entry.file = Fd(NewFile(entry.at, last));
    struct stat info {};
    if (!entry.file && errno == EEXIST && fstatat(entry.at, last, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (package.IsThisPackage(IdentityOf(info))) {
            problems.Note(Problems::kSkipped, name, "it is the package being read");
            return {};
        }
        if (keepExisting()) return {};
        if (S_ISREG(info.st_mode) && info.st_nlink == 1) {
            entry.file = InPlace(entry.at, last, info);
        } else {
            errno = EISDIR;
            if (!S_ISDIR(info.st_mode) && unlinkat(entry.at, last, 0) == 0) entry.file = Fd(NewFile(entry.at, last));
        }
    }
    if (!entry.file) {
        problems.Note(Problems::kNotWritten, PathOf(name), std::strerror(errno));
        return {};
    }
    return entry;
}

} // namespace packege

using namespace packege;

void CreatePackege(const std::string& package, const std::vector<std::string>& fileNames,
                   UnreadableSources unreadable) {
    if (const auto refusal = RefusalToPack(package, fileNames)) {
        SetLastError(*refusal);
        return;
    }
    PackageFile out(package);
    if (!out.Open()) return;
    out.Bytes("QP", 2);
    out.DWord(static_cast<std::uint32_t>(fileNames.size()));
    Problems problems;
    std::vector<char> buffer;
    for (const std::string& fileName : fileNames) {
        Source source = OpenSource(fileName, problems, unreadable);
        std::string stored = ExtractName(fileName);
        stored.resize(std::strlen(stored.c_str()));
        out.Bytes(stored.c_str(), stored.size() + 1);
        PackContent(out, source, fileName, buffer);
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
    Fd file(open(destination.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666));
    struct stat info {};
    if (!file || fstat(file.Get(), &info) != 0) {
        SetLastError(IoFailure("Cannot create", destination));
        return;
    }
    if (reader->IsThisPackage(IdentityOf(info))) {
        // The caller replaces the package by one of its entries: read it all first.
        TData content = reader->ReadContent();
        if (!content.SaveToFile(destination)) SetLastError(IoFailure("Cannot create", destination));
        return;
    }
    if (S_ISREG(info.st_mode) && ftruncate(file.Get(), 0) != 0) ThrowIoError("Cannot write", destination);
    if (const int error = reader->CopyContent(file.Get())) ThrowIoError("Cannot write", destination, error);
    if (!file.Close()) ThrowIoError("Cannot close", destination);
}

} // namespace quelt
