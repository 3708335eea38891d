// Arbitrary bytes as a package: listing and lookups must stay inside the
// data, agree with each other, and agree between memory, file and the
// front-to-back walk that unpacking uses.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "QPackege.h"
#include "QUtils.h"
#include "SData.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// Removed again when the fuzzer exits.
struct Scratch {
    std::string name = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/package_fuzz_" +
                       std::to_string(getpid()) + ".pak";
    ~Scratch() { unlink(name.c_str()); }
};

const std::string& ScratchFile() {
    static const Scratch scratch;
    return scratch.name;
}

bool WriteScratch(const std::uint8_t* bytes, std::size_t size) {
    // A fresh file each time: rewriting a truncated one makes some file
    // systems flush on close, which would slow every run to disk speed.
    unlink(ScratchFile().c_str());
    std::FILE* file = std::fopen(ScratchFile().c_str(), "wb");
    if (!file) return false;
    const bool written = size == 0 || std::fwrite(bytes, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size > 1u << 24) return 0;
    quelt::TData data(static_cast<std::uint32_t>(size));
    if (size > 0) std::memcpy(data.Data(), bytes, size);

    const auto entries = quelt::ListEntries(data);
    const bool magic = size >= 2 && bytes[0] == 'Q' && bytes[1] == 'P';
    Require(static_cast<bool>(entries) == magic);
    if (entries) {
        std::uint64_t expectedName = 6;
        for (std::size_t i = 0; i < entries->size(); ++i) {
            const quelt::PackageEntry& entry = (*entries)[i];
            // Entries lie back to back inside the data.
            const auto nameAt = static_cast<std::uint64_t>(reinterpret_cast<const std::uint8_t*>(entry.name.data()) -
                                                           data.Data());
            Require(nameAt == expectedName);
            Require(entry.offset == nameAt + entry.name.size() + 5);
            Require(static_cast<std::uint64_t>(entry.offset) + entry.size <= size);
            Require(entry.name.find('\0') == std::string_view::npos);
            expectedName = static_cast<std::uint64_t>(entry.offset) + entry.size;
            if (i < 32) {
                const auto found = quelt::FindEntryIn(data, entry.name);
                Require(static_cast<bool>(found));
                // Duplicates find the first; only check an entry that is its name's first.
                bool first = true;
                for (std::size_t j = 0; j < i && first; ++j) first = (*entries)[j].name != entry.name;
                if (first)
                    Require(found->Size() == entry.size &&
                            (entry.size == 0 || std::memcmp(found->Data(), bytes + entry.offset, entry.size) == 0));
            }
        }
    }
    Require(!quelt::FindEntryIn(data, std::string_view("\0", 1)));

    if (!WriteScratch(bytes, size)) return 0;
    const auto names = quelt::Content(ScratchFile());
    Require(static_cast<bool>(names) == magic);
    Require(static_cast<bool>(quelt::ScanPackage(ScratchFile())) == magic);
    if (names) {
        Require(names->size() == entries->size());
        for (std::size_t i = 0; i < names->size(); ++i) Require((*names)[i] == (*entries)[i].name);
        // The streaming walk that unpacking uses accepts exactly the same entries.
        const auto scanned = quelt::ScanPackage(ScratchFile());
        Require(scanned && scanned->size() == entries->size());
        for (std::size_t i = 0; i < scanned->size(); ++i)
            Require((*scanned)[i].name == (*entries)[i].name && (*scanned)[i].size == (*entries)[i].size);
        if (!names->empty()) {
            const auto found = quelt::FindEntry(ScratchFile(), names->front());
            Require(found && found->Size() == entries->front().size);
        }
    }
    std::string ignored;
    quelt::TakeLastError(ignored);
    return 0;
}
