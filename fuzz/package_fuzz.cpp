// SPDX-License-Identifier: Zlib
// Arbitrary bytes as a package file: the walker must stay inside the data,
// find entries back to back, agree with listing and lookups, and call the
// package damaged exactly when it is not whole.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size > 1u << 24 || !WriteScratch(bytes, size)) return 0;
    std::string error;
    quelt::TakeLastError(error);

    std::vector<quelt::PackageEntry> entries;
    const bool isPackage =
        quelt::VisitEntries(ScratchFile(), [&](const quelt::PackageEntry& entry) { entries.push_back(entry); });
    const bool damaged = quelt::TakeLastError(error) && error.find("damaged") != std::string::npos;
    Require(isPackage == (size >= 2 && bytes[0] == 'Q' && bytes[1] == 'P'));
    if (!isPackage) return 0;

    std::uint64_t expectedName = 6;
    for (const quelt::PackageEntry& entry : entries) {
        // Entries lie back to back inside the data, each name ended by its zero byte.
        Require(entry.offset == expectedName + entry.name.size() + 5);
        Require(entry.offset + entry.size <= size);
        Require(entry.name.find('\0') == std::string::npos && bytes[expectedName + entry.name.size()] == 0);
        Require(std::memcmp(bytes + expectedName, entry.name.data(), entry.name.size()) == 0);
        Require(Le32(bytes + entry.offset - 4) == entry.size);
        expectedName = entry.offset + entry.size;
    }
    const bool whole = size >= 6 && Le32(bytes + 2) == entries.size() && expectedName == size;
    Require(damaged == !whole);

    const auto names = quelt::Content(ScratchFile());
    Require(names && names->size() == entries.size());
    for (std::size_t i = 0; i < names->size(); ++i) Require((*names)[i] == entries[i].name);
    // Lookups find the first entry of a name, with its content.
    for (std::size_t i = 0; i < entries.size() && i < 32; ++i) {
        bool first = true;
        for (std::size_t j = 0; j < i && first; ++j) first = entries[j].name != entries[i].name;
        if (!first) continue;
        const auto found = quelt::FindEntry(ScratchFile(), entries[i].name);
        Require(found && found->Size() == entries[i].size &&
                (entries[i].size == 0 || std::memcmp(found->Data(), bytes + entries[i].offset, entries[i].size) == 0));
    }
    Require(!quelt::FindEntry(ScratchFile(), std::string("\0", 1)));
    quelt::TakeLastError(error);
    return 0;
}
