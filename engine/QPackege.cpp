// SPDX-License-Identifier: Zlib
// The package module's system-neutral part: reading packages and unpacking
// them. What touches files beyond reading them is in QPackegePosix.cpp and
// QPackegeWin32.cpp.
#include "QPackege.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
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
        std::string file = FileOf(name);
        if (file.empty()) return true; // names no file: it is reported, not written
        if (indexed_) return index_.insert(std::move(file)).second;
        listed_.push_back(std::move(file));
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
    // The path inside the folder, "/" between its parts; empty for a name that
    // is skipped. Most names are one part.
    static std::string FileOf(const std::string& name) {
        if (kFileNamesIgnoreCase) return Folded(PlainFileOf(name));
        return PlainFileOf(name);
    }
    static std::string Folded(std::string file) {
        for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return file;
    }
    static std::string PlainFileOf(const std::string& name) {
        if (name.find_first_of("\\/") == std::string::npos && name != "." && name != "..") return name;
        const std::vector<std::string_view> parts = Components(name);
        if (!IsSafeEntryName(name) || parts.back().empty() || parts.back() == ".") return {};
        std::string file;
        for (const std::string_view part : parts)
            if (!part.empty() && part != ".") (file += file.empty() ? "" : "/") += part;
        return file;
    }

    std::vector<std::string> listed_;
    std::unordered_set<std::string> index_;
    bool indexed_ = false;
};

// The entry the reader is at, written whole into `file` or, noted, not at all.
// False when it was not written; a failure to read the package throws.
bool WriteEntry(PackageReader& reader, EntryFile& file, const std::string& path, Problems& problems) {
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
    problems.Note(Problems::kNotWritten, path, std::strerror(error));
    return false;
}

void WriteEntries(PackageReader& reader, const TargetFolder& folder, Problems& problems) {
    EntryNames names;
    PackageEntry entry;
    while (reader.Next(entry)) {
        if (!names.Add(entry.name)) continue;
        EntryFile file = folder.Create(entry.name, reader, problems, [&] { return names.LastRepeats(); });
        if (!file || !WriteEntry(reader, file, folder.PathOf(entry.name), problems)) names.Index();
    }
}

} // namespace

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
    if (file) packege::WriteEntry(*reader, file, target->PathOf(fileName), problems);
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

} // namespace quelt
