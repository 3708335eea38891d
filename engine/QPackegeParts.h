// SPDX-License-Identifier: Zlib
// Inside the package module: the reader of package files, and the target
// folder entries are unpacked into, which the system-neutral part
// (QPackege.cpp) shares with the file system side of each system
// (QPackegePosix.cpp, QPackegeWin32.cpp).
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "QPackege.h"
#include "QUtils.h"
#include "SData.h"

namespace quelt {
namespace packege {

// The parts of a stored name between separators ("\\" and "/" both), empty
// ones included; never empty itself.
inline std::vector<std::string_view> Components(std::string_view name) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find_first_of("\\/", start);
        parts.push_back(name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// A name that is one file right in the folder, as most are: nothing to walk
// and nothing to refuse. Cheap, since it runs for every entry.
inline bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\\') == std::string_view::npos;
}

// No file system takes a path this long; a longer "name" is damage, and
// bounding it keeps a package without zero bytes from filling memory.
constexpr std::size_t kMaxNameLength = std::size_t{1} << 20;

// An entry's size is a 32-bit count.
constexpr std::uint64_t kMaxEntrySize = 0xFFFFFFFFu;

// Some failures do not stop the operation. Each kind is reported once, with
// its count and the first few files and causes, after the damage if any.
class Problems {
public:
    enum Kind { kSkipped, kNotWritten, kStoredEmpty, kKinds };

    void Note(Kind kind, const std::string& subject, const std::string& cause) {
        Found& found = found_[kind];
        if (found.count++ < kShown)
            found.shown += (found.shown.empty() ? "" : ", ") + Quoted(subject) + " (" + cause + ")";
    }
    void Report(const std::string& damage) const {
        static const char* const kHeadings[kKinds][2] = {
            {"Skipped %zu entry", "Skipped %zu entries"},
            {"Cannot write %zu file", "Cannot write %zu files"},
            {"Stored %zu unreadable source as an empty entry", "Stored %zu unreadable sources as empty entries"}};
        std::string text = damage;
        for (int kind = 0; kind < kKinds; ++kind) {
            const Found& found = found_[kind];
            if (found.count == 0) continue;
            char heading[64];
            std::snprintf(heading, sizeof heading, kHeadings[kind][found.count > 1], found.count);
            text += (text.empty() ? "" : "; ") + std::string(heading) + ": " + found.shown;
            if (found.count > kShown) text += " and " + std::to_string(found.count - kShown) + " more";
        }
        if (!text.empty()) SetLastError(text);
    }

private:
    static constexpr std::size_t kShown = 3;
    struct Found {
        std::size_t count = 0;
        std::string shown;
    };
    Found found_[kKinds];
};

// The one walker over a package file: a buffered front-to-back read that
// only trusts what fits. An entry counts when its name, zero byte, size and
// all of its content lie inside the file as it was when opened.
class PackageReader {
public:
    // Nothing, with the reason kept for the last error, when it is not a package.
    static std::optional<PackageReader> Open(const std::string& package) {
        // A FIFO is refused instead of waited on.
        auto file = std::make_unique<RegularFile>(package, std::numeric_limits<std::uint64_t>::max());
        if (file->Outcome() == FileBytes::Outcome::NotOpened) {
            SetLastError(IoFailure("Cannot open package", package, file->OpenError()));
            return std::nullopt;
        }
        if (file->Outcome() != FileBytes::Outcome::Read) {
            const char* why = file->IsFolder() ? "it is a folder" : "it is not a regular file";
            SetLastError("Cannot open package " + Quoted(package) + ": " + why);
            return std::nullopt;
        }
        PackageReader reader(std::move(file), package);
        std::uint8_t header[6] = {};
        const std::size_t got = reader.Take(header, sizeof header);
        if (got < 2 || header[0] != 0x51 || header[1] != 0x50) {
            SetLastError(Quoted(package) + " is not a package");
            return std::nullopt;
        }
        // "QP" with a cut-off count reads the count as 0, as a short typed read does.
        reader.headerCut_ = got < sizeof header;
        reader.count_ = reader.headerCut_ ? 0 : LoadLE32(header + 2);
        return reader;
    }

    // Moves to the next whole entry, skipping the content of the last one;
    // false after the last entry or at the first that does not fit.
    bool Next(PackageEntry& entry) {
        Skip(contentLeft_);
        contentLeft_ = 0;
        if (whole_ == count_ || !ReadName(entry.name)) return false;
        std::uint8_t size[4];
        if (Take(size, sizeof size) < sizeof size) return false;
        entry.size = LoadLE32(size);
        entry.offset = Position();
        if (entry.size > size_ - entry.offset) return false;
        contentLeft_ = entry.size;
        ++whole_;
        return true;
    }

    // The content of the entry Next gave, written to `fd`: the errno of a
    // failed write, 0 when all was written. The walk can go on either way;
    // only a failure to read the package throws.
    int CopyContent(int fd) {
        // Content that fits the buffer goes out in one write.
        if (contentLeft_ > end_ - begin_ && contentLeft_ <= capacity_) Fill();
        while (contentLeft_ > 0) {
            if (begin_ == end_ && Fill() == 0) throw IoError(Quoted(name_) + " ended before its stated size");
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(contentLeft_, end_ - begin_));
            if (const int error = WriteAll(fd, buffer_.get() + begin_, n)) return error;
            begin_ += n;
            contentLeft_ -= n;
        }
        return 0;
    }

    TData ReadContent() {
        TData content(static_cast<std::uint32_t>(contentLeft_));
        if (Take(content.Data(), content.Size()) != content.Size())
            throw IoError(Quoted(name_) + " ended before its stated size");
        contentLeft_ = 0;
        return content;
    }

    // After Next returned false: empty when the package was whole, else why not.
    std::string Damage() {
        const std::string damaged = "Package " + Quoted(name_) + " damaged: ";
        if (headerCut_) return damaged + "its header is cut short";
        if (whole_ < count_)
            return damaged + std::to_string(whole_) + " of " + std::to_string(count_) + " entries are whole";
        if (Position() < size_) return damaged + std::to_string(size_ - Position()) + " bytes follow the last entry";
        return {};
    }

    bool IsThisPackage(const FileIdentity& file) const { return file == file_->Identity(); }

private:
    PackageReader(std::unique_ptr<RegularFile> file, std::string name)
        : file_(std::move(file)), name_(std::move(name)), size_(file_->Size()),
          capacity_(static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, size_))),
          buffer_(new std::uint8_t[capacity_]) {}

    // Large enough that small entries cost no read of their own, small enough
    // that what one read brings in is still in cache when it is written out.
    static constexpr std::size_t kBufferSize = std::size_t{1} << 16;

    std::uint64_t Position() const { return fileOffset_ - (end_ - begin_); }

    // Reads on behind the bytes not used yet, moved to the front; the number
    // of bytes read, 0 at the end. Bytes past the size measured at opening
    // (a growing file) are not part of it.
    std::size_t Fill() {
        const std::size_t kept = end_ - begin_;
        std::memmove(buffer_.get(), buffer_.get() + begin_, kept);
        begin_ = 0;
        end_ = kept;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(capacity_ - kept, size_ - fileOffset_));
        const std::size_t got = want == 0 ? 0 : file_->ReadAt(fileOffset_, buffer_.get() + kept, want);
        end_ += got;
        fileOffset_ += got;
        return got;
    }

    // Copies up to `size` bytes out; fewer only at the end of the package.
    std::size_t Take(std::uint8_t* out, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            if (begin_ == end_ && Fill() == 0) break;
            const std::size_t n = std::min(size - done, end_ - begin_);
            std::memcpy(out + done, buffer_.get() + begin_, n);
            begin_ += n;
            done += n;
        }
        return done;
    }

    void Skip(std::uint64_t size) {
        if (size <= end_ - begin_) {
            begin_ += static_cast<std::size_t>(size);
            return;
        }
        fileOffset_ = Position() + size;
        begin_ = end_ = 0;
    }

    bool ReadName(std::string& name) {
        name.clear();
        for (;;) {
            if (begin_ == end_ && Fill() == 0) return false;
            const std::uint8_t* start = buffer_.get() + begin_;
            const auto* zero = static_cast<const std::uint8_t*>(std::memchr(start, 0, end_ - begin_));
            const std::size_t n = zero ? static_cast<std::size_t>(zero - start) : end_ - begin_;
            if (name.size() + n >= kMaxNameLength) return false;
            name.append(reinterpret_cast<const char*>(start), n);
            begin_ += n;
            if (zero) {
                ++begin_;
                return true;
            }
        }
    }

    std::unique_ptr<RegularFile> file_; // held apart, so that the reader moves
    std::string name_;
    std::uint64_t size_;
    std::size_t capacity_;
    std::unique_ptr<std::uint8_t[]> buffer_; // left uninitialised: only bytes read are used
    std::size_t begin_ = 0, end_ = 0;
    std::uint64_t fileOffset_ = 0; // of buffer_[end_]
    std::uint64_t contentLeft_ = 0;
    std::uint32_t count_ = 0;
    std::uint32_t whole_ = 0;
    bool headerCut_ = false;
};

// Finds the first entry named `entryName`; with the reason kept for the last
// error when there is none.
std::optional<PackageReader> OpenAtEntry(const std::string& package, const std::string& entryName);

// The folders and file `name` goes through ("." dropped); false when it
// ends at a folder.
inline bool FileParts(const std::string& name, std::vector<std::string>& parts) {
    const std::vector<std::string_view> components = Components(name);
    for (const std::string_view part : components)
        if (!part.empty() && part != ".") parts.emplace_back(part);
    return !components.back().empty() && components.back() != ".";
}

// Whether the system takes names differing only in case for the same file
// (then so do the entries' names).
extern const bool kFileNamesIgnoreCase;

// A file being written for an entry, with the folders on its way held open.
struct EntryFile {
    Fd file;
    std::vector<Fd> folders;
    int at = -1;      // the folder holding it (POSIX)
    std::string name; // its name there (POSIX), its whole path (Windows)

    explicit operator bool() const { return static_cast<bool>(file); }
    // What could not be written whole does not stay under the entry's name.
    void Remove() const;
};

// The folder entries are written into, held open; every name is resolved
// from it one component at a time without following links.
class TargetFolder {
public:
    // "\" separates as "/" does, and the folder is named with or without its
    // final separator. Links on the way to the folder are the caller's own.
    static std::optional<TargetFolder> Open(const std::string& folder);

    // How a file inside it is named in messages.
    std::string PathOf(const std::string& name) const { return shown_ + name; }

    // An empty regular file at `name` to write an entry into. A regular file
    // with one link there is truncated and written in place, keeping its mode
    // (unless it is read-only); a link, device, FIFO or hard-linked file is
    // replaced. No file, with the reason noted, when the name would leave the
    // folder, passes through a link or is the package being read; none and
    // nothing noted when something is there and `keepExisting` says so.
    EntryFile Create(const std::string& name, const PackageReader& package, Problems& problems,
                     const std::function<bool()>& keepExisting) const;

private:
    TargetFolder(Fd fd, std::string path, std::string shown)
        : fd_(std::move(fd)), path_(std::move(path)), shown_(std::move(shown)) {}

    Fd fd_;
    std::string path_; // as the system is given it
    std::string shown_;
};

// ---- Writing packages, and extracting to a named file ----

// The separators of a folder from the name of a file in it.
extern const char* const kFolderSeparators;

// The path a link at `path` leads to (where links are followed by hand);
// `path` itself when nothing is linked there.
std::string LinkedPath(const std::string& path);
// A new file at `name`, never anything already there; errno EEXIST when
// something is.
Fd CreateNewFile(const std::string& name);
// A new file beside `path` under a name no other file has, kept in `temporary`.
Fd CreateTemporary(const std::string& path, std::string& temporary);
// Where a package at `path` is written: a new file beside a regular one (or
// none), named in `temporary`, to take its place once whole; the file itself
// when it is a device or FIFO. None, errno set, when it cannot be written.
Fd OpenPackageFile(const std::string& path, std::string& temporary);
// A buffered stream over the descriptor, which it takes over; null when none.
std::FILE* StreamOf(Fd& fd);
// Moves a stream to `position`; false when it cannot seek (a FIFO).
bool SeekTo(std::FILE* stream, std::uint64_t position);
bool RemoveFile(const std::string& name);
// Renames `from` over `to`, replacing it.
bool MoveOver(const std::string& from, const std::string& to);

// What tells whether a source changed while it was read.
struct SourceStamp {
    std::uint64_t size = 0;
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    bool operator==(const SourceStamp& other) const {
        return size == other.size && seconds == other.seconds && nanoseconds == other.nanoseconds;
    }
};

// A source opened for packing; no file and size 0 when it cannot be read.
struct Source {
    File file;
    SourceStamp seen; // when opened
};
// The regular file `fileName` of less than 4 GiB, opened for reading; no
// file, with the reason in `why`, otherwise. Never waits on a FIFO.
Source OpenSource(const std::string& fileName, std::string& why);
// The stamp of the open source as it is now; false when it cannot be told.
bool StampNow(const Source& source, SourceStamp& now);
// Which file `path` names, links followed; nothing when none.
std::optional<FileIdentity> IdentityAt(const std::string& path);

// A file to extract into, opened (created if need be) without emptying it;
// no descriptor, errno set, when it cannot be.
struct Destination {
    Fd fd;
    FileIdentity identity;
    bool regular = false;
};
Destination OpenDestination(const std::string& fileName);
// Empties the open file; false, errno set, when it cannot.
bool Empty(const Fd& fd);

} // namespace packege
} // namespace quelt
