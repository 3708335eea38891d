// SPDX-License-Identifier: Zlib
// The package module's file system side on Windows. Names are the engine's
// 8-bit strings, handed to the ANSI functions. An entry is written only
// under a name that is a file of its own inside the target folder (no drive,
// stream, device or trailing dot, see IsWindowsFileName); each folder on its
// way is opened as itself, never through a reparse point (a link or a
// junction), and held open without leave to delete, so that it cannot be
// renamed or replaced while the file is written. Whatever is at the file's
// own name and is not a plain file is replaced, never followed.
#include "QPackege.h"

#include <cerrno>
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

} // namespace packege

namespace {

void NotPorted(const std::string& what, const std::string& package) {
    SetLastError("Cannot " + what + " " + Quoted(package) + ": not yet ported to Windows");
}

} // namespace

void CreatePackege(const std::string& package, const std::vector<std::string>&, UnreadableSources) {
    NotPorted("create package", package);
}

void Extract(const std::string& package, const std::string&, const std::string&) {
    NotPorted("extract to a file of its own from package", package);
}

} // namespace quelt
