// SPDX-License-Identifier: Zlib
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
// One walker reads every package, front to back through a small buffer and
// seeking over content it does not need, so memory use does not grow with
// the package; packages of 4 GiB and more are read like any other. A count
// promising more entries than are whole, or bytes after the last entry,
// leave the whole entries' results and a "damaged" text for the last error.
//
// Entries are written into a folder from a handle on it, one name component
// at a time without following links: nothing lands outside the folder, and
// a link, special file or hard-linked file at an entry's name is replaced, not
// written through; a regular file with one link is written in place.
//
// Failures keep a text for the last-error export: a missing package or entry,
// and for unpacking every kind of problem met (damage, skipped names, files
// not written) with counts and the first few names. An entry that could not
// be written whole is removed and the next ones are still tried. Packing
// throws IoError for a write error; so does a package that cannot be read on.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SData.h"

namespace quelt {

struct PackageEntry {
    std::string name;
    std::uint32_t size = 0;
    std::uint64_t offset = 0; // of the content within the package file
};

// Calls `visit` for each whole entry in package order. False, with the reason
// kept for the last error, when the file is not a package.
bool VisitEntries(const std::string& package, const std::function<void(const PackageEntry&)>& visit);

// A stored name that may be appended to a target folder: not empty, not
// absolute, and no ".." component ("\" and "/" both separate).
bool IsSafeEntryName(std::string_view name);

// Whether one part of a stored name (between separators) names a file of its
// own in a Windows folder: no device (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// CONIN$, CONOUT$, with any extension), no colon (a drive or a stream), none
// of the characters Windows refuses, and no trailing dot or space (Windows
// drops them, so the part would name another file).
bool IsWindowsFileName(std::string_view part);

// What packing does with a source that cannot be read: store it as an empty
// entry and note it for the last error (the classic behaviour), or write no
// package at all.
enum class UnreadableSources { kStoreEmpty, kRefuse };

// Writes the package. An existing package is replaced only once the new one is
// whole (written beside it, then renamed over it): on any failure the old one
// stays as it was and the reason is thrown or kept for the last error. A source
// is read to its end, so a file whose size says 0 but holds data (/proc) is
// stored whole; one that changes while it is read fails the pack. Refuses
// (writing nothing) when the package file is one of the sources.
void CreatePackege(const std::string& package, const std::vector<std::string>& fileNames,
                   UnreadableSources unreadable = UnreadableSources::kStoreEmpty);

// The stored names in package order; nothing when the file is not a package.
std::optional<std::vector<std::string>> Content(const std::string& package);

std::optional<TData> FindEntry(const std::string& package, const std::string& entryName);

// An empty destination means the package's folder followed by the entry
// name, written as Unpack writes it; any other destination is the caller's
// own path, opened as given. An entry that is not found creates no file.
void Extract(const std::string& package, const std::string& entryName, const std::string& destination);

// The first entry named `entryName`, written to `fileName` inside `folder`
// as Unpack writes an entry.
void ExtractInto(const std::string& package, const std::string& entryName, const std::string& folder,
                 const std::string& fileName);

// Writes each entry into the destination folder under its name; the package's
// folder when the destination is empty. "\" and "/" both separate, and a
// missing final separator is implied. Unsafe names are skipped; where names
// repeat, the first entry's content is the one written, as a lookup by name
// would find it; the package itself is never overwritten.
void Unpack(const std::string& package, const std::string& destinationFolder);

} // namespace quelt
