// SPDX-License-Identifier: Zlib
// The package module's file system side on Windows. Names are the engine's
// 8-bit strings, handed to the ANSI functions. An entry is written only
// under a name that is a file of its own inside the target folder (no drive,
// stream, device or trailing dot, see IsWindowsFileName); each folder on its
// way is opened as itself, never through a reparse point (a link or a
// junction), and held open without leave to delete, so that it cannot be
// renamed or replaced while the file is written. Whatever is at the file's
// own name and is not a plain file is replaced, never followed. A package
// is written beside the old one and renamed over it once whole.
#include "QPackege.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "QPackegeParts.h"
#include "QUtils.h"
#include "platform/ErrorsWin32.h"

namespace quelt {
namespace packege {
namespace {

// The handle as a C library descriptor, or an empty Fd with the handle closed.
Fd Descriptor(HANDLE handle, int flags) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) CloseHandle(handle);
    return Fd(fd);
}

// What is at a name, the name itself (never what a link there leads to).
struct Found {
    bool exists = false;
    BY_HANDLE_FILE_INFORMATION info{};
    bool IsLink() const { return info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT; }
    bool IsFolder() const { return info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }
    FileIdentity Identity() const {
        return {info.dwVolumeSerialNumber, std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    }
};

constexpr DWORD kItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

Found Look(const std::string& path) {
    Found found;
    HANDLE handle =
        CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, kItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return found;
    found.exists = GetFileInformationByHandle(handle, &found.info) != 0;
    CloseHandle(handle);
    return found;
}

// A new file, never anything that is already at the name; errno set on failure.
Fd NewFile(const std::string& path) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, kItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ErrnoOf(GetLastError());
        return Fd();
    }
    return Descriptor(handle, _O_WRONLY);
}

// The plain file `seen` at `path`, emptied for writing. A read-only one stays
// as it is; anything swapped in since it was seen is refused.
Fd InPlace(const std::string& path, const Found& seen) {
    if (seen.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        errno = EACCES;
        return Fd();
    }
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, kItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ErrnoOf(GetLastError());
        return Fd();
    }
    Found now;
    now.exists = GetFileInformationByHandle(handle, &now.info) != 0;
    if (!now.exists || now.IsLink() || now.IsFolder() || !(now.Identity() == seen.Identity()) ||
        now.info.nNumberOfLinks != 1 || GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        errno = EBUSY;
        return Fd();
    }
    if (!SetEndOfFile(handle)) {
        errno = ErrnoOf(GetLastError());
        CloseHandle(handle);
        return Fd();
    }
    return Descriptor(handle, _O_WRONLY);
}

// Removes the name: a link or junction goes, not what it leads to.
bool RemoveName(const std::string& path, const Found& found) {
    const BOOL removed = found.IsFolder() ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str());
    if (!removed) errno = ErrnoOf(GetLastError());
    return removed != 0;
}

// The folder at `path` opened as itself and held: no link, and, with no
// leave to delete, not to be renamed or replaced while held.
Fd HoldFolder(const std::string& path, std::string& why) {
    HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, kItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = std::strerror(ErrnoOf(GetLastError()));
        return Fd();
    }
    Found found;
    found.exists = GetFileInformationByHandle(handle, &found.info) != 0;
    if (!found.exists || found.IsLink() || !found.IsFolder()) {
        CloseHandle(handle);
        why = found.IsLink() ? "it is a link" : "it is not a folder";
        return Fd();
    }
    return Descriptor(handle, _O_RDONLY);
}

bool IsWindowsPath(const std::vector<std::string>& parts) {
    for (const std::string& part : parts)
        if (!IsWindowsFileName(part)) return false;
    return true;
}

} // namespace

const bool kFileNamesIgnoreCase = true;

void EntryFile::Remove() const { DeleteFileA(name.c_str()); }

std::optional<TargetFolder> TargetFolder::Open(const std::string& folder) {
    const std::string path = folder.empty() ? "." : folder;
    // Links on the way to the folder are the caller's own: followed.
    HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle == INVALID_HANDLE_VALUE) {
        SetLastError("Cannot use folder " + Quoted(folder) + ": " + std::strerror(ErrnoOf(GetLastError())));
        return std::nullopt;
    }
    if (!GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        SetLastError("Cannot use folder " + Quoted(folder) + ": it is not a folder");
        return std::nullopt;
    }
    const bool separated = folder.empty() || folder.back() == '/' || folder.back() == '\\';
    return TargetFolder(Descriptor(handle, _O_RDONLY), path + "\\", separated ? folder : folder + "/");
}

EntryFile TargetFolder::Create(const std::string& name, const PackageReader& package, Problems& problems,
                               const std::function<bool()>& keepExisting) const {
    std::vector<std::string> parts;
    if (!IsSafeEntryName(name) || !FileParts(name, parts)) {
        problems.Note(Problems::kSkipped, name, "it would leave the target folder or names no file");
        return {};
    }
    if (!IsWindowsPath(parts)) {
        problems.Note(Problems::kSkipped, name, "it names no file of its own on Windows");
        return {};
    }
    EntryFile entry;
    std::string path = path_;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        path += parts[i];
        std::string why;
        entry.folders.push_back(HoldFolder(path, why));
        if (!entry.folders.back()) {
            problems.Note(Problems::kNotWritten, PathOf(name), Quoted(parts[i]) + " is not a folder here: " + why);
            return {};
        }
        path += '\\';
    }
    entry.name = path + parts.back();
    entry.file = NewFile(entry.name);
    if (!entry.file && errno == EEXIST) {
        const Found found = Look(entry.name);
        if (found.exists && package.IsThisPackage(found.Identity())) {
            problems.Note(Problems::kSkipped, name, "it is the package being read");
            return {};
        }
        if (keepExisting()) return {};
        if (found.exists && !found.IsLink() && !found.IsFolder() && found.info.nNumberOfLinks == 1) {
            entry.file = InPlace(entry.name, found);
        } else {
            errno = EISDIR;
            if (found.exists && (found.IsLink() || !found.IsFolder()) && RemoveName(entry.name, found))
                entry.file = NewFile(entry.name);
        }
    }
    if (!entry.file) {
        problems.Note(Problems::kNotWritten, PathOf(name), std::strerror(errno));
        return {};
    }
    return entry;
}

const char* const kFolderSeparators = "/\\";

// Windows follows a link itself wherever a file is opened; only renaming
// over the name would replace the link, so the file it leads to is named.
std::string LinkedPath(const std::string& path) {
    HANDLE handle =
        CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return path;
    const Found found = Look(path);
    std::string target = path;
    if (found.exists && found.IsLink()) {
        char final[MAX_PATH * 4];
        const DWORD length = GetFinalPathNameByHandleA(handle, final, sizeof final, FILE_NAME_NORMALIZED);
        if (length > 0 && length < sizeof final) target.assign(final, length);
    }
    CloseHandle(handle);
    return target;
}

Fd CreateNewFile(const std::string& name) { return NewFile(name); }

Fd OpenPackageFile(const std::string& path, std::string& temporary) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return CreateTemporary(path, temporary);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        errno = EISDIR;
        return Fd();
    }
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ErrnoOf(GetLastError());
        return Fd();
    }
    // A device (NUL, a serial port) is written directly.
    if (GetFileType(handle) != FILE_TYPE_DISK) return Descriptor(handle, _O_WRONLY);
    CloseHandle(handle);
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        errno = EACCES;
        return Fd();
    }
    return CreateTemporary(path, temporary);
}

std::FILE* StreamOf(Fd& fd) {
    std::FILE* stream = _fdopen(fd.Get(), "wb");
    if (stream) fd.Release();
    return stream;
}

bool SeekTo(std::FILE* stream, std::uint64_t position) {
    return _fseeki64(stream, static_cast<__int64>(position), SEEK_SET) == 0;
}

bool RemoveFile(const std::string& name) { return DeleteFileA(name.c_str()) != 0; }

bool MoveOver(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    errno = ErrnoOf(GetLastError());
    return false;
}

namespace {

// Size and last write time, which is kept in 100 ns steps.
SourceStamp StampOf(const BY_HANDLE_FILE_INFORMATION& info) {
    const std::uint64_t written =
        std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime;
    return {std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow, static_cast<std::int64_t>(written / 10000000),
            static_cast<std::int64_t>(written % 10000000 * 100)};
}

} // namespace

Source OpenSource(const std::string& fileName, std::string& why) {
    Source source;
    HANDLE handle = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = std::strerror(ErrnoOf(GetLastError()));
        return source;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool disk = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info);
    if (disk && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        why = "it is a folder";
    else if (!disk)
        why = "it is not a regular file";
    else if ((std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow) > kMaxEntrySize)
        why = "it holds 4 GiB or more";
    if (!why.empty()) {
        CloseHandle(handle);
        return source;
    }
    Fd fd = Descriptor(handle, _O_RDONLY);
    source.file.reset(fd ? _fdopen(fd.Get(), "rb") : nullptr);
    if (!source.file) {
        why = std::strerror(errno);
        return source;
    }
    fd.Release();
    source.seen = StampOf(info);
    return source;
}

bool StampNow(const Source& source, SourceStamp& now) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(source.file.get())));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return false;
    now = StampOf(info);
    return true;
}

std::optional<FileIdentity> IdentityAt(const std::string& path) {
    HANDLE handle =
        CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    Found found;
    found.exists = GetFileInformationByHandle(handle, &found.info) != 0;
    CloseHandle(handle);
    if (!found.exists) return std::nullopt;
    return found.Identity();
}

Destination OpenDestination(const std::string& fileName) {
    Destination destination;
    HANDLE handle = CreateFileA(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ErrnoOf(GetLastError());
        return destination;
    }
    Found found;
    const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
    found.exists = disk && GetFileInformationByHandle(handle, &found.info) != 0;
    destination.identity = found.Identity();
    destination.regular = found.exists && !found.IsFolder();
    destination.fd = Descriptor(handle, _O_WRONLY);
    return destination;
}

bool Empty(const Fd& fd) {
    const int error = _chsize_s(fd.Get(), 0);
    if (error != 0) errno = error;
    return error == 0;
}

} // namespace packege

} // namespace quelt
