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

// The path a link at `path` leads to, through any number of links; `path`
// itself when nothing is linked there. A link that leads nowhere gives the
// file it would create.
std::string FollowLinks(std::string path) {
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

} // namespace

const bool kFileNamesIgnoreCase = false;
const char* const kFolderSeparators = "/";

std::string LinkedPath(const std::string& path) { return FollowLinks(path); }

Fd CreateNewFile(const std::string& name) {
    return Fd(open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666));
}

Fd OpenPackageFile(const std::string& path, std::string& temporary) {
    struct stat old {};
    if (stat(path.c_str(), &old) != 0) return CreateTemporary(path, temporary);
    if (S_ISDIR(old.st_mode)) {
        errno = EISDIR;
        return Fd();
    }
    if (!S_ISREG(old.st_mode)) return Fd(open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    // A read-only package stays, as one written in place would (root included).
    if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0) {
        errno = EACCES;
        return Fd();
    }
    Fd fd = CreateTemporary(path, temporary);
    if (fd) {
        // Ownership first, since changing it clears set-id bits; where it
        // cannot be changed the new file is ours.
        if (fchown(fd.Get(), old.st_uid, old.st_gid) != 0) errno = 0;
        if (fchmod(fd.Get(), old.st_mode & 07777) != 0) errno = 0;
    }
    return fd;
}

std::FILE* StreamOf(Fd& fd) {
    std::FILE* stream = fdopen(fd.Get(), "wb");
    if (stream) fd.Release();
    return stream;
}

bool SeekTo(std::FILE* stream, std::uint64_t position) {
    return fseeko(stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool RemoveFile(const std::string& name) { return unlink(name.c_str()) == 0; }

bool MoveOver(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

namespace {

SourceStamp StampOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
            static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

} // namespace

Source OpenSource(const std::string& fileName, std::string& why) {
    // Looked at before opening: opening a FIFO for reading would wait for a writer.
    struct stat seen {};
    Source source;
    if (stat(fileName.c_str(), &seen) != 0)
        why = std::strerror(errno);
    else if (S_ISDIR(seen.st_mode))
        why = "it is a folder";
    else if (!S_ISREG(seen.st_mode))
        why = "it is not a regular file";
    else if (static_cast<std::uint64_t>(seen.st_size) > kMaxEntrySize)
        why = "it holds 4 GiB or more";
    if (!why.empty()) return source;
    source.file.reset(std::fopen(fileName.c_str(), "rb"));
    if (!source.file || fstat(fileno(source.file.get()), &seen) != 0) {
        why = std::strerror(errno);
        source.file.reset();
        return source;
    }
    source.seen = StampOf(seen);
    return source;
}

bool StampNow(const Source& source, SourceStamp& now) {
    struct stat info {};
    if (fstat(fileno(source.file.get()), &info) != 0) return false;
    now = StampOf(info);
    return true;
}

std::optional<FileIdentity> IdentityAt(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return IdentityOf(info);
}

Destination OpenDestination(const std::string& fileName) {
    Destination destination;
    destination.fd = Fd(open(fileName.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666));
    struct stat info {};
    if (!destination.fd || fstat(destination.fd.Get(), &info) != 0) {
        destination.fd = Fd();
        return destination;
    }
    destination.identity = IdentityOf(info);
    destination.regular = S_ISREG(info.st_mode);
    return destination;
}

bool Empty(const Fd& fd) { return ftruncate(fd.Get(), 0) == 0; }

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
    const bool plain = IsPlainName(name);
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

} // namespace quelt
