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
#include <unordered_set>
#include <utility>

#include "QUtils.h"

namespace quelt {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A file descriptor closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) close(fd_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now, so that a failing close is seen.
    bool Close() { return close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

[[noreturn]] void ThrowIo(const std::string& what, const std::string& fileName) {
    throw IoError(what + " " + Quoted(fileName) + ": " + std::strerror(errno));
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

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

// No file system takes a path this long; a longer "name" is damage, and
// bounding it keeps a package without zero bytes from filling memory.
constexpr std::size_t kMaxNameLength = std::size_t{1} << 20;

// Some failures do not stop the operation; the first is kept for the
// last-error text, with a count of the others, after the damage if any.
class Problems {
public:
    void Note(const std::string& message) {
        if (count_++ == 0) first_ = message;
    }
    void Report(const std::string& damage) const {
        std::string text = damage;
        if (count_ > 0) {
            if (!text.empty()) text += "; ";
            text += first_;
            if (count_ > 1) text += " (and " + std::to_string(count_ - 1) + " more)";
        }
        if (!text.empty()) SetLastError(text);
    }

private:
    std::string first_;
    std::size_t count_ = 0;
};

void WriteAll(int fd, const std::uint8_t* bytes, std::size_t size, const std::string& fileName) {
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            ThrowIo("Cannot write", fileName);
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
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
            SetLastError("Cannot open package " + Quoted(package) + ": " + std::strerror(errno));
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
        reader.count_ = reader.headerCut_ ? 0 : ReadLe32(header + 2);
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
        entry.size = ReadLe32(size);
        entry.offset = Position();
        if (entry.size > size_ - entry.offset) return false;
        contentLeft_ = entry.size;
        ++whole_;
        return true;
    }

    // The content of the entry Next gave, written to `fd`.
    void CopyContent(int fd, const std::string& fileName) {
        // Content that fits the buffer goes out in one write.
        if (contentLeft_ > end_ - begin_ && contentLeft_ <= capacity_) Fill();
        while (contentLeft_ > 0) {
            if (begin_ == end_ && Fill() == 0) throw IoError(Quoted(name_) + " ended before its stated size");
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(contentLeft_, end_ - begin_));
            WriteAll(fd, buffer_.get() + begin_, n, fileName);
            begin_ += n;
            contentLeft_ -= n;
        }
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
        if (got < 0) ThrowIo("Cannot read package", name_);
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

    // A new, empty regular file at `name`, replacing whatever non-folder was
    // there. No file, with the reason noted, when the name would leave the
    // folder, passes through a link or is the package being read; none and
    // nothing noted when something is there and `keepExisting` says so.
    Fd Create(const std::string& name, const PackageReader& package, Problems& problems,
              const std::function<bool()>& keepExisting) const {
        // Most names are a file right in the folder, with nothing to walk.
        const bool plain =
            !name.empty() && name != "." && name != ".." && name.find_first_of("\\/") == std::string::npos;
        std::vector<std::string> parts;
        if (!plain && (!IsSafeEntryName(name) || !FileParts(name, parts))) {
            problems.Note("Skipped entry " + Quoted(name) + ": it would leave the target folder or names no file");
            return Fd();
        }
        Fd inner;
        int at = fd_.Get();
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            inner = Fd(openat(at, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!inner) {
                problems.Note("Cannot create " + Quoted(PathOf(name)) + ": " + Quoted(parts[i]) +
                              " is not a folder here (" + std::strerror(errno) + ")");
                return Fd();
            }
            at = inner.Get();
        }
        const char* last = plain ? name.c_str() : parts.back().c_str();
        Fd file(NewFile(at, last));
        struct stat info {};
        if (!file && errno == EEXIST && fstatat(at, last, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            if (package.IsThisPackage(info)) {
                problems.Note("Skipped entry " + Quoted(name) + ": it would overwrite the package being read");
                return Fd();
            }
            if (keepExisting()) return Fd();
            errno = EISDIR;
            if (!S_ISDIR(info.st_mode) && unlinkat(at, last, 0) == 0) file = Fd(NewFile(at, last));
        }
        if (!file) problems.Note("Cannot create " + Quoted(PathOf(name)) + ": " + std::strerror(errno));
        return file;
    }

private:
    TargetFolder(Fd fd, std::string shown) : fd_(std::move(fd)), shown_(std::move(shown)) {}

    // Never follows a link at the name and never opens what exists there.
    static int NewFile(int at, const char* name) {
        return openat(at, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
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

// The names of the entries met so far, so that only the first entry of each
// name is written. While every entry so far made its file, an entry whose
// file is new to the folder cannot repeat one; so the names are only listed,
// and looked up once a name is found taken or an entry fails.
class EntryNames {
public:
    // Notes the next entry's name; false when it repeats an earlier one.
    bool Add(const std::string& name) {
        if (indexed_) return index_.insert(name).second;
        listed_.push_back(name);
        return true;
    }

    // Whether the name Add took last repeats an earlier one.
    bool LastRepeats() {
        if (indexed_) return false; // Add has looked it up
        std::string last = std::move(listed_.back());
        listed_.pop_back();
        Index();
        return !index_.insert(std::move(last)).second;
    }

    // From now on every name is looked up.
    void Index() {
        if (indexed_) return;
        index_.insert(std::make_move_iterator(listed_.begin()), std::make_move_iterator(listed_.end()));
        listed_ = {};
        indexed_ = true;
    }

private:
    std::vector<std::string> listed_;
    std::unordered_set<std::string> index_;
    bool indexed_ = false;
};

void WriteEntries(PackageReader& reader, const TargetFolder& folder, Problems& problems) {
    EntryNames names;
    PackageEntry entry;
    while (reader.Next(entry)) {
        if (!names.Add(entry.name)) continue;
        Fd file = folder.Create(entry.name, reader, problems, [&] { return names.LastRepeats(); });
        if (!file) {
            names.Index();
            continue;
        }
        const std::string path = folder.PathOf(entry.name);
        reader.CopyContent(file.Get(), path);
        if (!file.Close()) ThrowIo("Cannot close", path);
    }
}

// Large enough that a big source moves in few calls, small enough to stay in cache.
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

void CreatePackege(const std::string& package, const std::vector<std::string>& fileNames) {
    if (const auto refusal = RefusalToPack(package, fileNames)) {
        SetLastError(*refusal);
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
        SetLastError("Cannot create " + Quoted(destination) + ": " + std::strerror(errno));
        return;
    }
    if (reader->IsThisPackage(info)) {
        // The caller replaces the package by one of its entries: read it all first.
        TData content = reader->ReadContent();
        if (!content.SaveToFile(destination))
            SetLastError("Cannot create " + Quoted(destination) + ": " + std::strerror(errno));
        return;
    }
    if (S_ISREG(info.st_mode) && ftruncate(file.Get(), 0) != 0) ThrowIo("Cannot write", destination);
    reader->CopyContent(file.Get(), destination);
    if (!file.Close()) ThrowIo("Cannot close", destination);
}

void ExtractInto(const std::string& package, const std::string& entryName, const std::string& folder,
                 const std::string& fileName) {
    std::optional<PackageReader> reader = OpenAtEntry(package, entryName);
    if (!reader) return;
    const std::optional<TargetFolder> target = TargetFolder::Open(folder);
    if (!target) return;
    Problems problems;
    Fd file = target->Create(fileName, *reader, problems, [] { return false; });
    if (file) {
        const std::string path = target->PathOf(fileName);
        reader->CopyContent(file.Get(), path);
        if (!file.Close()) ThrowIo("Cannot close", path);
    }
    problems.Report({});
}

void Unpack(const std::string& package, const std::string& destinationFolder) {
    std::optional<PackageReader> reader = PackageReader::Open(package);
    if (!reader) return;
    const std::optional<TargetFolder> folder =
        TargetFolder::Open(destinationFolder.empty() ? ExtractFolder(package) : destinationFolder);
    if (!folder) return;
    Problems problems;
    WriteEntries(*reader, *folder, problems);
    problems.Report(reader->Damage());
}

} // namespace quelt
