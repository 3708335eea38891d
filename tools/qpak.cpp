// qpak: creates, lists and extracts package files from the command line.
// It uses the engine's own package code (the walker every export uses) and
// turns its last-error text into messages and exit statuses.
#include <quelt/quelt.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "QPackege.h"
#include "QUtils.h"

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

// Control characters and the backslash written as C escapes, as tar and
// ls do, so that a stored name cannot move the cursor or fake a line.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char* named = byte == '\\' ? "\\\\" : byte == '\n' ? "\\n" : byte == '\t' ? "\\t" : nullptr;
        if (named) {
            out += named;
        } else if (byte < 0x20 || byte == 0x7F) {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%03o", byte);
            out += octal;
        } else {
            out += c;
        }
    }
    return out;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "qpak: %s\n", Escaped(message).c_str());
    return kError;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Runs one command; the engine's input/output failures end it with status 1.
template <typename F>
int Guarded(F&& command) {
    try {
        return command();
    } catch (const quelt::IoError& error) {
        return Fail(error.what());
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
}

// The engine's last-error text, if any; reading it clears it.
std::optional<std::string> TakeEngineError() {
    std::string message;
    if (!quelt::TakeLastError(message)) return std::nullopt;
    return message;
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
    if (const int status = Guarded([&] {
            quelt::CreatePackege(package, files);
            return kOk;
        }))
        return status;
    if (const auto message = TakeEngineError()) return Fail(*message);
    std::set<std::string> stored;
    for (const std::string& file : files) {
        const std::string name = quelt::ExtractName(file);
        if (!stored.insert(name).second)
            std::fprintf(stderr, "qpak: warning: more than one file is stored as %s; only the first can be extracted\n",
                         Quoted(Escaped(name)).c_str());
    }
    return kOk;
}

int List(const std::string& package) {
    return Guarded([&] {
        quelt::VisitEntries(package, [](const quelt::PackageEntry& entry) {
            std::printf("%10u  %s\n", entry.size, Escaped(entry.name).c_str());
        });
        // Not a package, or the whole entries of a damaged one and why.
        const std::optional<std::string> error = TakeEngineError();
        if (std::fflush(stdout) != 0) return Fail("cannot write the listing");
        return error ? Fail(*error) : kOk;
    });
}

// Without DEST the entry goes to the current folder under the last part of
// its name, so that a hostile name cannot reach outside it.
int Extract(const std::string& package, const std::string& name, const std::optional<std::string>& destination) {
    if (destination && destination->empty()) return Fail("the destination is empty");
    return Guarded([&] {
        if (destination)
            quelt::Extract(package, name, *destination);
        else
            quelt::ExtractInto(package, name, ".", quelt::ExtractName(name));
        const auto message = TakeEngineError();
        return message ? Fail(*message) : kOk;
    });
}

int Unpack(const std::string& package, const std::string& folder) {
    return Guarded([&] {
        quelt::Unpack(package, folder);
        const auto message = TakeEngineError();
        return message ? Fail(*message) : kOk;
    });
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
