// SPDX-License-Identifier: Zlib
#include "QPackege.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <unordered_set>
#include <utility>

#include "QUtils.h"

namespace quelt {
namespace {

// The parts of a stored name between separators ("\\" and "/" both), empty
// ones included; never empty itself.
std::vector<std::string_view> Components(std::string_view name) {
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
bool IsPlainName(std::string_view name) {
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
        if (found.count++ < kShown) found.shown += (found.shown.empty() ? "" : ", ") + Quoted(subject) + " (" + cause + ")";
    }
    void Report(const std::string& damage) const {
        static const char* const kHeadings[kKinds][2] = {{"Skipped %zu entry", "Skipped %zu entries"},
                                                           {"Cannot write %zu file", "Cannot write %zu files"},
                                                           {"Stored %zu unreadable source as an empty entry",
                                                            "Stored %zu unreadable sources as empty entries"}};
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

// The errno of a failed write, 0 when all was written.
int WriteAll(int fd, const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

// The one walker over a package file: a buffered front-to-back read that
// only trusts what fits. An entry counts when its name, zero byte, size and
// all of its content lie inside the file as it was when opened.
class PackageReader {
public:
    // Nothing, with the reason kept for the last error, when it is not a package.
    static std::optional<PackageReader> Open(const std::string& package) {
        // Non-blocking, so that a FIFO is refused instead of waited on.
        Fd fd(open(package.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (!fd || fstat(fd.Get(), &info) != 0) {
            SetLastError(IoFailure("Cannot open package", package));
            return std::nullopt;
        }
        if (!S_ISREG(info.st_mode)) {
            const char* why = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
            SetLastError("Cannot open package " + Quoted(package) + ": " + why);
            return std::nullopt;
        }
        PackageReader reader(std::move(fd), package, info);
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

    bool IsThisPackage(const struct stat& info) const { return info.st_dev == device_ && info.st_ino == inode_; }

private:
    PackageReader(Fd fd, std::string name, const struct stat& info)
        : fd_(std::move(fd)), name_(std::move(name)), size_(static_cast<std::uint64_t>(info.st_size)),
          device_(info.st_dev), inode_(info.st_ino), capacity_(static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, size_))),
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
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(capacity_ - kept, size_ - fileOffset_));
        ssize_t got = 0;
        do {
            got = want == 0 ? 0 : pread(fd_.Get(), buffer_.get() + kept, want, static_cast<off_t>(fileOffset_));
        } while (got < 0 && errno == EINTR);
        if (got < 0) ThrowIoError("Cannot read package", name_);
        end_ += static_cast<std::size_t>(got);
        fileOffset_ += static_cast<std::uint64_t>(got);
        return static_cast<std::size_t>(got);
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

    Fd fd_;
    std::string name_;
    std::uint64_t size_;
    dev_t device_;
    ino_t inode_;
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

// A file being written for an entry, with the folder that holds it.
struct EntryFile {
    Fd file;
    Fd folder;   // when it is not the target folder itself
    int at = -1; // the folder holding it
    const char* name = nullptr; // the end of the entry's name, which outlives this

    explicit operator bool() const { return static_cast<bool>(file); }
    // What could not be written whole does not stay under the entry's name.
    void Remove() const { unlinkat(at, name, 0); }
};

// The folder entries are written into, held open; every name is resolved
// from it one component at a time without following links.
class TargetFolder {
public:
    // "\" separates as "/" does, and the folder is named with or without its
    // final separator. Links on the way to the folder are the caller's own.
    static std::optional<TargetFolder> Open(const std::string& folder) {
        std::string path = folder;
        std::replace(path.begin(), path.end(), '\\', '/');
        Fd fd(open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd) {
            SetLastError("Cannot use folder " + Quoted(folder) + ": " +
                         (errno == ENOTDIR ? "it is not a folder" : std::strerror(errno)));
            return std::nullopt;
        }
        const bool separated = folder.empty() || folder.back() == '/' || folder.back() == '\\';
        return TargetFolder(std::move(fd), separated ? folder : folder + "/");
    }

    // How a file inside it is named in messages.
    std::string PathOf(const std::string& name) const { return shown_ + name; }

    // An empty regular file at `name` to write an entry into. A regular file
    // with one link there is truncated and written in place, keeping its mode
    // (unless it is read-only); a link, device, FIFO or hard-linked file is
    // replaced. No file, with the reason noted, when the name would leave the
    // folder, passes through a link or is the package being read; none and
    // nothing noted when something is there and `keepExisting` says so. The
    // file keeps a pointer into `name`.
    template <typename KeepExisting>
    EntryFile Create(const std::string& name, const PackageReader& package, Problems& problems,
                     KeepExisting keepExisting) const {
        const bool plain = IsPlainName(name);
        std::vector<std::string> parts;
        if (!plain && (!IsSafeEntryName(name) || !FileParts(name, parts))) {
            problems.Note(Problems::kSkipped, name, "it would leave the target folder or names no file");
            return {};
        }
        EntryFile entry;
        entry.at = fd_.Get();
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            entry.folder = Fd(openat(entry.at, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!entry.folder) {
                problems.Note(Problems::kNotWritten, PathOf(name),
                              Quoted(parts[i]) + " is not a folder here: " + std::strerror(errno));
                return {};
            }
            entry.at = entry.folder.Get();
        }
        // The last part ends the name, so the name's own bytes serve.
        const char* last = entry.name = name.c_str() + (plain ? 0 : name.size() - parts.back().size());
        entry.file = Fd(NewFile(entry.at, last));
        struct stat info {};
        if (!entry.file && errno == EEXIST && fstatat(entry.at, last, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            if (package.IsThisPackage(info)) {
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

private:
    TargetFolder(Fd fd, std::string shown) : fd_(std::move(fd)), shown_(std::move(shown)) {}

    // Never follows a link at the name and never opens what exists there.
    static int NewFile(int at, const char* name) {
        return openat(at, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    }

    // The regular file `seen` at `name`, emptied for writing, as saving a file
    // does. A file no one may write stays as it is (even for root); anything
    // swapped in since it was seen is refused.
    static Fd InPlace(int at, const char* name, const struct stat& seen) {
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

    // The folders and file `name` goes through ("." dropped); false when it
    // ends at a folder.
    static bool FileParts(const std::string& name, std::vector<std::string>& parts) {
        const std::vector<std::string_view> components = Components(name);
        for (const std::string_view part : components)
            if (!part.empty() && part != ".") parts.emplace_back(part);
        return !components.back().empty() && components.back() != ".";
    }

    Fd fd_;
    std::string shown_;
};

// The files named by the entries met so far, so that only the first entry
// naming a file is written ("a", "./a" and "a//b", "a\\b" name the same one).
// While every entry so far made its file, an entry whose file is new to the
// folder cannot repeat one; so the names are only listed, and looked up once
// a name is found taken or an entry fails.
class EntryNames {
public:
    // Notes the next entry's name; false when it repeats an earlier one.
    bool Add(const std::string& name) {
        if (IsPlainName(name)) return AddFile(name);
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

    // The path inside the folder of a name that is not plain, "/" between its
    // parts; empty for a name that is skipped.
    static std::string FileOf(const std::string& name) {
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
    problems.Note(Problems::kNotWritten, folder.PathOf(name), std::strerror(error));
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

std::optional<std::vector<std::string>> Content(const std::string& package) {
    std::vector<std::string> names;
    if (!VisitEntries(package, [&](const PackageEntry& entry) { names.push_back(entry.name); })) return std::nullopt;
    return names;
}

std::optional<TData> FindEntry(const std::string& package, const std::string& entryName) {
    std::optional<PackageReader> reader = OpenAtEntry(package, entryName);
    if (!reader) return std::nullopt;
    return reader->ReadContent();
}

void Extract(const std::string& package, const std::string& entryName, const std::string& destination) {
    if (destination.empty()) {
        ExtractInto(package, entryName, ExtractFolder(package), entryName);
        return;
    }
    std::optional<PackageReader> reader = OpenAtEntry(package, entryName);
    if (!reader) return;
    // Not truncated before it is known not to be the package being read.
    Fd file(open(destination.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666));
    struct stat info {};
    if (!file || fstat(file.Get(), &info) != 0) {
        SetLastError(IoFailure("Cannot create", destination));
        return;
    }
    if (reader->IsThisPackage(info)) {
        // The caller replaces the package by one of its entries: read it all first.
        TData content = reader->ReadContent();
        if (!content.SaveToFile(destination)) SetLastError(IoFailure("Cannot create", destination));
        return;
    }
    if (S_ISREG(info.st_mode) && ftruncate(file.Get(), 0) != 0) ThrowIoError("Cannot write", destination);
    if (const int error = reader->CopyContent(file.Get())) ThrowIoError("Cannot write", destination, error);
    if (!file.Close()) ThrowIoError("Cannot close", destination);
}

void ExtractInto(const std::string& package, const std::string& entryName, const std::string& folder,
                 const std::string& fileName) {
    std::optional<PackageReader> reader = OpenAtEntry(package, entryName);
    if (!reader) return;
    const std::optional<TargetFolder> target = TargetFolder::Open(folder);
    if (!target) return;
    Problems problems;
    EntryFile file = target->Create(fileName, *reader, problems, [] { return false; });
    if (file) WriteEntry(*reader, file, *target, fileName, problems);
    problems.Report({});
}

void Unpack(const std::string& package, const std::string& destinationFolder) {
    std::optional<PackageReader> reader = PackageReader::Open(package);
    if (!reader) return;
    const std::optional<TargetFolder> folder =
        TargetFolder::Open(destinationFolder.empty() ? ExtractFolder(package) : destinationFolder);
    if (!folder) return;
    Problems problems;
    std::string ending;
    try {
        WriteEntries(*reader, *folder, problems);
        ending = reader->Damage();
    } catch (const IoError& error) {
        // The package could not be read on: what was met before still counts.
        ending = error.what();
    }
    problems.Report(ending);
}

} // namespace quelt
