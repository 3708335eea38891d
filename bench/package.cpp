// Packing and unpacking beside tar (no compression) on the same files:
// 1,000 and 10,000 small files, and one 256 MiB file. Each unpack goes into a
// new empty folder and each pack into a fresh file, for both, so neither
// pays for overwriting. The files live under $TMPDIR (default /tmp): point it
// at a tmpfs to measure the code rather than the disk. items_per_second is
// entries per second: equal rates for 1,000 and 10,000 entries mean time
// grows linearly with the count.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "QPackege.h"

namespace {

namespace fs = std::filesystem;

fs::path& Root() {
    static fs::path root;
    return root;
}

struct FileSet {
    std::string name;
    std::vector<std::string> paths;
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
    FileSet set{"small" + std::to_string(count), {}, {}, Root() / ("small" + std::to_string(count))};
    fs::create_directories(set.folder);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.bin", i);
        WriteBytes(set.folder / name, 200 + (static_cast<std::uint64_t>(i) * 7919) % 3900, static_cast<std::uint64_t>(i));
        set.paths.push_back((set.folder / name).string());
        set.names.push_back(name);
    }
    return set;
}

FileSet MakeBigFile() {
    FileSet set{"big", {}, {}, Root() / "big"};
    fs::create_directories(set.folder);
    WriteBytes(set.folder / "big.bin", 256ull << 20, 42);
    set.paths.push_back((set.folder / "big.bin").string());
    set.names.push_back("big.bin");
    return set;
}

const FileSet& Set(int which) {
    static const FileSet small1k = MakeSmallFiles(1000);
    static const FileSet small10k = MakeSmallFiles(10000);
    static const FileSet big = MakeBigFile();
    return which == 0 ? small1k : which == 1 ? small10k : big;
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
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

void Label(benchmark::State& state, const FileSet& set) {
    state.SetLabel(set.name);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(set.paths.size()));
}

void BM_PackQuelt(benchmark::State& state) {
    const FileSet& set = Set(static_cast<int>(state.range(0)));
    const std::string package = Package(set, ".pak");
    // The same short names tar gets with -C, so both walk the same paths.
    const fs::path previous = fs::current_path();
    fs::current_path(set.folder);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(package);
        state.ResumeTiming();
        quelt::CreatePackege(package, set.names);
    }
    fs::current_path(previous);
    Label(state, set);
}

void BM_PackTar(benchmark::State& state) {
    const FileSet& set = Set(static_cast<int>(state.range(0)));
    const std::string archive = Package(set, ".tar");
    const std::string command = "tar -cf '" + archive + "' -C '" + set.folder.string() + "' -T '" + TarList(set) + "'";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(archive);
        state.ResumeTiming();
        Shell(command);
    }
    Label(state, set);
}

fs::path NewFolder() {
    static int count = 0;
    const fs::path folder = Root() / "out" / std::to_string(count++);
    fs::create_directories(folder);
    return folder;
}

// Outputs of many files stay until the end: deleting thousands of inodes
// between iterations makes the next creations pay for it on ext4, which
// would measure the cleanup instead of the unpacking.
void DropOutput(const FileSet& set, const fs::path& folder) {
    if (set.paths.size() == 1) fs::remove_all(folder);
}

void BM_UnpackQuelt(benchmark::State& state) {
    const FileSet& set = Set(static_cast<int>(state.range(0)));
    const std::string package = Package(set, ".pak");
    if (!fs::exists(package)) quelt::CreatePackege(package, set.paths);
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path folder = NewFolder();
        state.ResumeTiming();
        quelt::Unpack(package, folder.string() + "/");
        state.PauseTiming();
        DropOutput(set, folder);
        state.ResumeTiming();
    }
    Label(state, set);
}

void BM_UnpackTar(benchmark::State& state) {
    const FileSet& set = Set(static_cast<int>(state.range(0)));
    const std::string archive = Package(set, ".tar");
    if (!fs::exists(archive))
        Shell("tar -cf '" + archive + "' -C '" + set.folder.string() + "' -T '" + TarList(set) + "'");
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path folder = NewFolder();
        state.ResumeTiming();
        Shell("tar -xf '" + archive + "' -C '" + folder.string() + "'");
        state.PauseTiming();
        DropOutput(set, folder);
        state.ResumeTiming();
    }
    Label(state, set);
}

// Arguments: 0 = 1,000 small files, 1 = 10,000 small files, 2 = one 256 MiB
// file; each set's four cases run one after another, side by side.
#define QUELT_PACKAGE_CASES(set)                                                                 \
    BENCHMARK(BM_PackQuelt)->Arg(set)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);   \
    BENCHMARK(BM_PackTar)->Arg(set)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);     \
    BENCHMARK(BM_UnpackQuelt)->Arg(set)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5); \
    BENCHMARK(BM_UnpackTar)->Arg(set)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)

QUELT_PACKAGE_CASES(0);
QUELT_PACKAGE_CASES(1);
QUELT_PACKAGE_CASES(2);

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
