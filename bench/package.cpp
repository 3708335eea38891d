// SPDX-License-Identifier: Zlib
// Packing and unpacking beside tar (no compression) and libarchive on the
// same files: 1,000 and 10,000 small files, and one 256 MiB file.
//
// Equal work: nobody restores owner, mode or time (tar runs with
// --no-same-owner --no-same-permissions -m; libarchive without its
// owner/permission/time options), and every side refuses ".." and absolute
// names and never writes through links. tar runs as its own process (exec'd
// directly, no shell); its start-up is measured apart, by the same command
// on an archive with no entries, and the ratio against tar is taken on tar's
// time minus that start-up. libarchive runs in process.
//
// Unpacking also reports a floor: the same opens, writes and closes that
// Quelt makes, from entries already read and parsed into memory. It is not a
// peer but the kernel's share of the work, which no unpacker making these
// calls can go below.
//
// Each iteration runs every side once, in an order that rotates, so that a
// machine shared with other work slows them alike; the counters are medians
// over iterations, in milliseconds, and the reported time is Quelt's. Each
// unpack goes into a new empty folder and each pack into a fresh file. The
// files live under $TMPDIR (default /tmp): point it at a tmpfs to measure
// the code rather than the disk.
#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "QPackege.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path& Root() {
    static fs::path root;
    return root;
}

struct FileSet {
    std::string name;
    std::vector<std::string> names; // relative to the set's folder
    fs::path folder;
};

void WriteBytes(const fs::path& path, std::uint64_t size, std::uint64_t seed) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> chunk(1 << 20);
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - done));
        for (std::size_t i = 0; i < n; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            chunk[i] = static_cast<char>(state);
        }
        out.write(chunk.data(), static_cast<std::streamsize>(n));
        done += n;
    }
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

FileSet MakeSmallFiles(int count) {
    FileSet set{"small" + std::to_string(count), {}, Root() / ("small" + std::to_string(count))};
    fs::create_directories(set.folder);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.bin", i);
        WriteBytes(set.folder / name, 200 + (static_cast<std::uint64_t>(i) * 7919) % 3900, static_cast<std::uint64_t>(i));
        set.names.push_back(name);
    }
    return set;
}

FileSet MakeBigFile() {
    FileSet set{"big", {"big.bin"}, Root() / "big"};
    fs::create_directories(set.folder);
    WriteBytes(set.folder / "big.bin", 256ull << 20, 42);
    return set;
}

const FileSet& Set(int which) {
    static const FileSet small1k = MakeSmallFiles(1000);
    static const FileSet small10k = MakeSmallFiles(10000);
    static const FileSet big = MakeBigFile();
    return which == 0 ? small1k : which == 1 ? small10k : big;
}

// Runs a program directly (no shell) and waits for it.
void Exec(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
        waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("failed: " + args[0] + " " + args[1]);
}

std::string Package(const FileSet& set, const char* ext) { return (Root() / (set.name + ext)).string(); }

std::string TarList(const FileSet& set) {
    const fs::path list = Root() / (set.name + ".list");
    if (!fs::exists(list)) {
        std::ofstream out(list);
        for (const std::string& name : set.names) out << name << '\n';
    }
    return list.string();
}

std::vector<std::string> TarCreate(const std::string& archive, const fs::path& folder, const std::string& list) {
    return {"tar", "-cf", archive, "-C", folder.string(), "-T", list};
}

std::vector<std::string> TarExtract(const std::string& archive, const fs::path& folder) {
    return {"tar", "-x", "--no-same-owner", "--no-same-permissions", "-m", "-f", archive, "-C", folder.string()};
}

// The same entries as tar -x, with the same refusals, in this process.
void ExtractWithLibarchive(const std::string& archive, const fs::path& folder) {
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    struct archive* in = archive_read_new();
    struct archive* out = archive_write_disk_new();
    archive_read_support_format_tar(in);
    archive_write_disk_set_options(out, ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                            ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
    bool ok = archive_read_open_filename(in, archive.c_str(), 1 << 18) == ARCHIVE_OK;
    struct archive_entry* entry = nullptr;
    while (ok && archive_read_next_header(in, &entry) == ARCHIVE_OK) {
        ok = archive_write_header(out, entry) == ARCHIVE_OK;
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        while (ok && archive_read_data_block(in, &block, &size, &offset) == ARCHIVE_OK)
            ok = archive_write_data_block(out, block, size, offset) == ARCHIVE_OK;
        ok = ok && archive_write_finish_entry(out) == ARCHIVE_OK;
    }
    archive_read_free(in);
    archive_write_free(out);
    fs::current_path(previous);
    if (!ok) throw std::runtime_error("libarchive failed on " + archive);
}

struct ParsedEntry {
    std::string name;
    const char* content;
    std::uint32_t size;
};

// The package read and walked once, outside the timing.
struct ParsedPackage {
    std::vector<char> bytes;
    std::vector<ParsedEntry> entries;
};

ParsedPackage Parse(const std::string& package) {
    ParsedPackage parsed;
    std::ifstream in(package, std::ios::binary);
    parsed.bytes.assign(std::istreambuf_iterator<char>(in), {});
    quelt::VisitEntries(package, [&](const quelt::PackageEntry& entry) {
        parsed.entries.push_back({entry.name, parsed.bytes.data() + entry.offset, entry.size});
    });
    return parsed;
}

// The system calls of an unpack and nothing else.
void WriteParsed(const ParsedPackage& parsed, const fs::path& folder) {
    const int at = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool ok = at >= 0;
    for (const ParsedEntry& entry : parsed.entries) {
        const int fd = openat(at, entry.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        ok = ok && fd >= 0 && write(fd, entry.content, entry.size) == static_cast<ssize_t>(entry.size);
        ok = ok && close(fd) == 0;
    }
    if (at >= 0) close(at);
    if (!ok) throw std::runtime_error("cannot write into " + folder.string());
}

fs::path NewFolder() {
    static int count = 0;
    const fs::path folder = Root() / "out" / std::to_string(count++);
    fs::create_directories(folder);
    return folder;
}

// Outputs of many files stay until the end: deleting thousands of inodes
// between runs makes the next creations pay for it on ext4, which would
// measure the cleanup instead of the unpacking.
void DropOutput(const FileSet& set, const fs::path& folder) {
    if (set.names.size() == 1) fs::remove_all(folder);
}

struct Side {
    const char* name;
    std::function<void(const fs::path& folder)> run;
};

// CPU seconds (user + system) used so far by this process and the children
// it has waited for: what the work costs, which a busy machine does not inflate.
double CpuSeconds() {
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        for (const timeval& t : {usage.ru_utime, usage.ru_stime}) total += t.tv_sec + t.tv_usec * 1e-6;
    }
    return total;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median wall and CPU milliseconds of each side.
struct Times {
    std::vector<double> wall, cpu;
};

// Runs every side once per iteration, rotating the order; sides[0] is Quelt,
// whose wall time is the one reported.
Times Interleaved(benchmark::State& state, const FileSet& set, const std::vector<Side>& sides) {
    std::vector<std::vector<double>> wall(sides.size()), cpu(sides.size());
    std::size_t round = 0;
    for (auto _ : state) {
        double quelt = 0;
        for (std::size_t k = 0; k < sides.size(); ++k) {
            const std::size_t i = (round + k) % sides.size();
            const fs::path folder = NewFolder();
            const double cpuStart = CpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            sides[i].run(folder);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            cpu[i].push_back((CpuSeconds() - cpuStart) * 1e3);
            wall[i].push_back(took.count() * 1e3);
            if (i == 0) quelt = took.count();
            DropOutput(set, folder);
        }
        state.SetIterationTime(quelt);
        ++round;
    }
    Times times;
    for (std::size_t i = 0; i < sides.size(); ++i) {
        times.wall.push_back(Median(wall[i]));
        times.cpu.push_back(Median(cpu[i]));
        state.counters[std::string(sides[i].name) + "_ms"] = times.wall.back();
        state.counters[std::string(sides[i].name) + "_cpu_ms"] = times.cpu.back();
    }
    state.SetLabel(set.name);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(set.names.size()));
    return times;
}

// Quelt's time over another side's, wall and CPU; for tar, over its time
// minus its start-up (the side after it).
void Ratio(benchmark::State& state, const std::string& name, const Times& t, std::size_t side, bool lessStartup) {
    const auto ratio = [&](const std::vector<double>& ms) {
        return ms[0] / std::max(ms[side] - (lessStartup ? ms[side + 1] : 0), 1e-9);
    };
    state.counters["quelt_per_" + name] = ratio(t.wall);
    state.counters["quelt_per_" + name + "_cpu"] = ratio(t.cpu);
}

void BM_Pack(benchmark::State& state) {
    const FileSet& set = Set(static_cast<int>(state.range(0)));
    const std::string list = TarList(set);
    const std::string empty = (Root() / "empty.list").string();
    std::ofstream{empty};
    // The same short names tar gets with -C, so both walk the same paths.
    const fs::path previous = fs::current_path();
    fs::current_path(set.folder);
    const std::vector<Side> sides{
        {"quelt", [&](const fs::path& folder) { quelt::CreatePackege((folder / "p.pak").string(), set.names); }},
        {"tar", [&](const fs::path& folder) { Exec(TarCreate((folder / "p.tar").string(), set.folder, list)); }},
        {"tar_startup",
         [&](const fs::path& folder) { Exec(TarCreate((folder / "e.tar").string(), set.folder, empty)); }},
    };
    const Times times = Interleaved(state, set, sides);
    fs::current_path(previous);
    Ratio(state, "tar_work", times, 1, true);
}

void BM_Unpack(benchmark::State& state) {
    const FileSet& set = Set(static_cast<int>(state.range(0)));
    const std::string package = Package(set, ".pak");
    const std::string archive = Package(set, ".tar");
    const std::string emptyArchive = (Root() / "empty.tar").string();
    if (!fs::exists(package)) {
        const fs::path previous = fs::current_path();
        fs::current_path(set.folder);
        quelt::CreatePackege(package, set.names);
        fs::current_path(previous);
        Exec(TarCreate(archive, set.folder, TarList(set)));
        Exec({"tar", "-cf", emptyArchive, "-T", "/dev/null"});
    }
    const ParsedPackage parsed = Parse(package);
    const std::vector<Side> sides{
        {"quelt", [&](const fs::path& folder) { quelt::Unpack(package, folder.string() + "/"); }},
        {"libarchive", [&](const fs::path& folder) { ExtractWithLibarchive(archive, folder); }},
        {"tar", [&](const fs::path& folder) { Exec(TarExtract(archive, folder)); }},
        {"tar_startup", [&](const fs::path& folder) { Exec(TarExtract(emptyArchive, folder)); }},
        {"floor", [&](const fs::path& folder) { WriteParsed(parsed, folder); }},
    };
    const Times times = Interleaved(state, set, sides);
    Ratio(state, "libarchive", times, 1, false);
    Ratio(state, "tar_work", times, 2, true);
    Ratio(state, "floor", times, 4, false);
    const auto floorPerTar = [&](const std::vector<double>& ms) { return ms[4] / std::max(ms[2] - ms[3], 1e-9); };
    state.counters["floor_per_tar_work"] = floorPerTar(times.wall);
    state.counters["floor_per_tar_work_cpu"] = floorPerTar(times.cpu);
}

// Arguments: 0 = 1,000 small files, 1 = 10,000 small files, 2 = one 256 MiB file.
#define QUELT_PACKAGE_CASES(set, iterations)                                                                  \
    BENCHMARK(BM_Pack)->Arg(set)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(iterations); \
    BENCHMARK(BM_Unpack)->Arg(set)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(iterations)

QUELT_PACKAGE_CASES(0, 30);
QUELT_PACKAGE_CASES(1, 15);
QUELT_PACKAGE_CASES(2, 5);

} // namespace

int main(int argc, char** argv) {
    std::string pattern = (fs::temp_directory_path() / "quelt-bench-package-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    Root() = pattern;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(Root());
    return 0;
}
