// SPDX-License-Identifier: Zlib
// Arbitrary bytes as a package, unpacked and extracted as qpak does it, into
// a fresh folder each time: a file made anywhere outside that folder, one
// changed outside it, anything but files and folders inside it, or a changed
// package is a finding. The folder sits three sentinel folders deep, each of
// which must hold nothing else afterwards; names that climb further are
// resolved by hand and checked one by one.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "QPackege.h"
#include "QUtils.h"

namespace fs = std::filesystem;

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "unpack_fuzz: %s\n", what);
    std::abort();
}

// root/a/b/c/out: out is the folder written into, beside nothing.
struct Scratch {
    fs::path root = fs::path(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") /
                    ("unpack_fuzz_" + std::to_string(getpid()));
    fs::path out = root / "a" / "b" / "c" / "out";
    fs::path package = out / "input.pak";
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

const Scratch& Paths() {
    static const Scratch scratch;
    return scratch;
}

// Where a stored name lands when "\" and "/" separate and ".." climbs, or
// nothing when it stays inside the folder.
std::optional<fs::path> EscapeOf(const std::string& name) {
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) return fs::path("/") / name.substr(1);
    std::vector<std::string> parts;
    int depth = 0, lowest = 0;
    std::string part;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '/' && name[i] != '\\') {
            part += name[i];
            continue;
        }
        if (part == "..") {
            lowest = std::min(lowest, --depth);
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
            ++depth;
        }
        part.clear();
    }
    if (lowest == 0) return std::nullopt;
    fs::path path = Paths().out;
    for (int i = 0; i > lowest; --i) path = path.parent_path();
    for (const std::string& kept : parts) path /= kept;
    return path;
}

struct Seen {
    bool exists;
    struct stat info;
};

Seen Look(const fs::path& path) {
    Seen seen{};
    seen.exists = lstat(path.c_str(), &seen.info) == 0;
    return seen;
}

bool Same(const Seen& before, const Seen& after) {
    if (before.exists != after.exists) return false;
    if (!before.exists || S_ISDIR(before.info.st_mode)) return true;  // others may change a folder's times
    return before.info.st_ino == after.info.st_ino && before.info.st_size == after.info.st_size &&
           before.info.st_mtim.tv_nsec == after.info.st_mtim.tv_nsec &&
           before.info.st_mtim.tv_sec == after.info.st_mtim.tv_sec;
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    return names;
}

// Writes the input as a package into a fresh, empty `out`.
void Prepare(const std::uint8_t* bytes, std::size_t size) {
    fs::remove_all(Paths().out);
    fs::create_directories(Paths().out);
    std::FILE* file = std::fopen(Paths().package.c_str(), "wb");
    Require(file && (size == 0 || std::fwrite(bytes, 1, size, file) == size) && std::fclose(file) == 0,
            "cannot write the package");
}

// Runs `write` and checks that it touched nothing outside `out`.
template <typename Write>
void Confined(const std::vector<std::string>& names, const std::uint8_t* bytes, std::size_t size, Write write) {
    std::vector<std::pair<fs::path, Seen>> outside;
    for (const std::string& name : names)
        if (const auto escape = EscapeOf(name)) outside.emplace_back(*escape, Look(*escape));
    try {
        write();
    } catch (const quelt::IoError&) {
        // A write error is reported, not a finding.
    }
    std::string ignored;
    quelt::TakeLastError(ignored);

    for (const auto& [path, before] : outside) Require(Same(before, Look(path)), "a file outside the folder changed");
    for (fs::path folder = Paths().out; folder != Paths().root; folder = folder.parent_path())
        Require(Names(folder.parent_path()) == std::vector<std::string>{folder.filename()},
                "a file landed beside the folder");
    for (const auto& entry : fs::recursive_directory_iterator(Paths().out)) {
        const fs::file_type type = entry.symlink_status().type();
        Require(type == fs::file_type::directory || type == fs::file_type::regular,
                "something other than a file or folder was made");
    }
    std::FILE* file = std::fopen(Paths().package.c_str(), "rb");
    std::vector<std::uint8_t> now(size + 1);
    const std::size_t got = file ? std::fread(now.data(), 1, now.size(), file) : 0;
    if (file) std::fclose(file);
    Require(got == size && std::equal(bytes, bytes + size, now.begin()), "the package changed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size > 1u << 20) return 0;
    const std::string package = Paths().package;
    std::vector<std::string> names;
    Prepare(bytes, size);
    quelt::VisitEntries(package, [&](const quelt::PackageEntry& entry) { names.push_back(entry.name); });

    Confined(names, bytes, size, [&] { quelt::Unpack(package, ""); });

    Prepare(bytes, size);
    std::set<std::string> distinct(names.begin(), names.end());
    Confined(names, bytes, size, [&] {
        std::size_t tried = 0;
        for (const std::string& name : distinct) {
            if (++tried > 16) break;
            quelt::Extract(package, name, "");
            quelt::ExtractInto(package, name, Paths().out, quelt::ExtractName(name));
        }
    });
    fs::remove_all(Paths().out);
    return 0;
}
