// qpak: creates, lists and extracts package files from the command line.
// Everything it does to a package goes through libQuelt.so's exports; the
// tool adds the checks a command-line user expects and turns the library's
// last-error text into messages and exit statuses.
#include <quelt/quelt.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kError = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "Usage: qpak create PACKAGE FILE...\n"
    "       qpak list PACKAGE\n"
    "       qpak extract PACKAGE NAME [DEST]\n"
    "       qpak unpack PACKAGE [DIR]\n"
    "       qpak --help | --version\n"
    "\n"
    "  create   packs the FILEs into PACKAGE, replacing it if it exists; each file\n"
    "           is stored under its name without folders, in the order given\n"
    "  list     prints the size in bytes and the name of each entry, in order\n"
    "  extract  writes the first entry called NAME to DEST (default: a file of\n"
    "           that name in the current folder)\n"
    "  unpack   writes every entry into the folder DIR (default: the current\n"
    "           folder); names that would leave it are skipped and reported\n"
    "\n"
    "Exit status: 0 on success, 1 on an error, 2 on a usage error.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "qpak: %s\n%s", problem, kUsageText);
    return kUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "qpak: %s\n", message.c_str());
    return kError;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The library's last-error text, if any; reading it clears it.
std::optional<std::string> TakeLibraryError() {
    char* text = nullptr;
    const bool had = qGetLastError(&text) != 0;
    std::string message = text ? text : "";
    std::free(text);
    if (!had) return std::nullopt;
    return message;
}

std::string LibraryName(const char* path) {
    char* text = nullptr;
    qExtractName(path, &text);
    std::string name = text ? text : "";
    std::free(text);
    return name;
}

// Owns what qContent hands out.
struct NameList {
    TArrayString array{nullptr, 0};
    ~NameList() {
        for (int32_t i = 0; i < array.count; ++i) std::free(array.items[i]);
        std::free(array.items);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int32_t i = 0; i < array.count; ++i) names.emplace_back(array.items[i] ? array.items[i] : "");
        return names;
    }
};

// The package's names, or the library's reason why it is not one.
bool ReadNames(const std::string& package, std::vector<std::string>& names, std::string& error) {
    TakeLibraryError();
    NameList list;
    qContent(package.c_str(), &list.array);
    if (const auto message = TakeLibraryError()) {
        error = *message;
        return false;
    }
    names = list.Names();
    return true;
}

// The content sizes, in order; the library lists names only. Walks the same
// way the library does (whole entries only, stopping at the first that does
// not fit) and seeks over content, so a huge package lists quickly.
std::vector<std::uint32_t> ReadSizes(const std::string& package) {
    std::vector<std::uint32_t> sizes;
    std::ifstream in(package, std::ios::binary | std::ios::ate);
    if (!in) return sizes;
    const auto total = static_cast<std::uint64_t>(in.tellg());
    in.seekg(0);
    auto le32 = [&](std::uint32_t& value) {
        unsigned char b[4];
        if (!in.read(reinterpret_cast<char*>(b), 4)) return false;
        value = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
        return true;
    };
    std::uint32_t count = 0;
    if (total < 6 || !in.seekg(2) || !le32(count)) return sizes;
    for (std::uint32_t i = 0; i < count; ++i) {
        int c = 0;
        while ((c = in.get()) > 0) {
        }
        std::uint32_t size = 0;
        if (c != 0 || !le32(size)) break;
        const auto at = static_cast<std::uint64_t>(in.tellg());
        if (size > total - at) break;
        sizes.push_back(size);
        in.seekg(static_cast<std::streamoff>(at + size));
    }
    return sizes;
}

int Create(const std::string& package, const std::vector<std::string>& files) {
    // The library would store an unreadable file as an empty entry; a user
    // asking for that file wants to hear about it instead.
    for (const std::string& file : files) {
        struct stat info {};
        if (stat(file.c_str(), &info) != 0) return Fail("cannot read " + Quoted(file) + ": " + std::strerror(errno));
        if (!S_ISREG(info.st_mode)) return Fail("cannot pack " + Quoted(file) + ": not a regular file");
        if (static_cast<std::uint64_t>(info.st_size) > UINT32_MAX)
            return Fail("cannot pack " + Quoted(file) + ": a package entry holds less than 4 GiB");
        std::FILE* probe = std::fopen(file.c_str(), "rb");
        if (!probe) return Fail("cannot read " + Quoted(file) + ": " + std::strerror(errno));
        std::fclose(probe);
    }
    std::vector<const char*> pointers;
    for (const std::string& file : files) pointers.push_back(file.c_str());
    TakeLibraryError();
    qCreatePackege(package.c_str(), pointers.data(), static_cast<int32_t>(pointers.size()));
    if (const auto message = TakeLibraryError()) return Fail(*message);
    std::set<std::string> stored;
    for (const std::string& file : files) {
        const std::string name = LibraryName(file.c_str());
        if (!stored.insert(name).second)
            std::fprintf(stderr, "qpak: warning: more than one file is stored as %s; only the first can be extracted\n",
                         Quoted(name).c_str());
    }
    return kOk;
}

int List(const std::string& package) {
    std::vector<std::string> names;
    std::string error;
    if (!ReadNames(package, names, error)) return Fail(error);
    const std::vector<std::uint32_t> sizes = ReadSizes(package);
    if (sizes.size() != names.size()) return Fail(Quoted(package) + " changed while it was being read");
    for (std::size_t i = 0; i < names.size(); ++i) std::printf("%10u  %s\n", sizes[i], names[i].c_str());
    return std::fflush(stdout) == 0 ? kOk : Fail("cannot write the listing");
}

int Extract(const std::string& package, const std::string& name, const std::optional<std::string>& destination) {
    std::vector<std::string> names;
    std::string error;
    if (!ReadNames(package, names, error)) return Fail(error);
    bool found = false;
    for (const std::string& stored : names) found = found || stored == name;
    if (!found) return Fail("no entry " + Quoted(name) + " in " + Quoted(package));
    // Only the last part of a stored name, so that a hostile name cannot
    // reach outside the current folder.
    const std::string target = destination ? *destination : "./" + LibraryName(name.c_str());
    if (target.empty()) return Fail("the destination is empty");
    TakeLibraryError();
    qExtract(package.c_str(), name.c_str(), target.c_str());
    if (const auto message = TakeLibraryError()) return Fail(*message);
    return kOk;
}

int Unpack(const std::string& package, const std::string& folder) {
    std::vector<std::string> names;
    std::string error;
    if (!ReadNames(package, names, error)) return Fail(error);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) return Fail("cannot use folder " + Quoted(folder) + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) return Fail(Quoted(folder) + " is not a folder");
    // The library appends names to the folder as given.
    const std::string target = folder.back() == '/' ? folder : folder + "/";
    TakeLibraryError();
    qUnpack(package.c_str(), target.c_str());
    if (const auto message = TakeLibraryError()) return Fail(*message);
    return kOk;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsageText, stdout);
        return kOk;
    }
    if (command == "--version") {
        std::printf("qpak %d.%d.%d\n", QUELT_VERSION_MAJOR, QUELT_VERSION_MINOR, QUELT_VERSION_PATCH);
        return kOk;
    }
    const std::size_t operands = args.size() - 1;
    if (command == "create") {
        if (operands < 1) return Usage("create needs a PACKAGE");
        return Create(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    }
    if (command == "list") {
        if (operands != 1) return Usage("list takes one PACKAGE");
        return List(args[1]);
    }
    if (command == "extract") {
        if (operands != 2 && operands != 3) return Usage("extract takes PACKAGE NAME [DEST]");
        return Extract(args[1], args[2], operands == 3 ? std::optional<std::string>(args[3]) : std::nullopt);
    }
    if (command == "unpack") {
        if (operands != 1 && operands != 2) return Usage("unpack takes PACKAGE [DIR]");
        const std::string folder = operands == 2 ? args[2] : ".";
        if (folder.empty()) return Usage("the DIR is empty");
        return Unpack(args[1], folder);
    }
    return Usage(("unknown command '" + command + "'").c_str());
}
