// Package files: many files gathered into one, found again by name.
//
// Layout (integers unsigned 32-bit little-endian, no padding):
//   "QP", entry count N, then N entries back to back:
//   name bytes, a zero byte, content size S, S content bytes.
//
// Readers only trust what fits in the data: an entry counts when its name,
// its zero byte, its size and all of its content lie inside the package.
// The first entry that does not fit ends the walk, so a cut-short package
// lists (and unpacks) exactly the entries that survived whole.
//
// Listing and lookups hold the package in memory; extracting and unpacking
// read it once, front to back, so an entry far larger than memory still
// comes out.
//
// Failures that leave nothing done (a missing package, an entry not found,
// a file that cannot be created) keep a text for the last-error export;
// write errors after a file was created throw IoError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SData.h"

namespace quelt {

// An entry seen in place: the name and content point into the package data.
struct PackageEntry {
    std::string_view name;
    std::uint32_t offset = 0; // of the content within the package data
    std::uint32_t size = 0;
};

// Every whole entry of `data` in package order; nothing when `data` is not a
// package. Content is not copied.
std::optional<std::vector<PackageEntry>> ListEntries(const TData& data);

// The content of the first entry named exactly `entryName`, copied (cursor 0).
std::optional<TData> FindEntryIn(const TData& data, std::string_view entryName);

// A stored name that may be appended to a target folder: not empty, not
// absolute, and no ".." component ("\" and "/" both separate).
bool IsSafeEntryName(std::string_view name);

// Writes the package; an existing file is truncated. Sources that cannot be
// read become empty entries. Refuses (writing nothing) when the package file
// is one of the sources, since truncating it would destroy that source.
void CreatePackege(const std::string& package, const std::vector<std::string>& fileNames);

// The stored names in package order; nothing when the file is not a package.
std::optional<std::vector<std::string>> Content(const std::string& package);

std::optional<TData> FindEntry(const std::string& package, const std::string& entryName);

// An empty destination means the package's folder followed by the entry name
// (refused for unsafe names). An entry that is not found creates no file.
void Extract(const std::string& package, const std::string& entryName, const std::string& destination);

// Reads the package once and writes each entry to the target folder followed
// directly by its name; the target is the package's folder when the folder
// given is empty. Unsafe names are skipped; where names repeat, the first
// entry's content is the one written, as a lookup by name would find it.
void Unpack(const std::string& package, const std::string& destinationFolder);

// What Unpack walks: the whole entries of a package file, read front to back
// without holding the file in memory.
struct EntryInfo {
    std::string name;
    std::uint32_t size = 0;
};
std::optional<std::vector<EntryInfo>> ScanPackage(const std::string& package);

} // namespace quelt
