// SPDX-License-Identifier: Zlib
// qpak: creates, lists and extracts package files from the command line.
// It uses the engine's own package code (the walker every export uses) and
// turns its last-error text into messages and exit statuses.
#include <quelt/quelt.h>

#include <algorithm>
#include <cerrno>
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
    "  create   packs the FILEs into PACKAGE, replacing it once the new one is\n"
    "           whole (if anything fails, the old one stays); each file is stored\n"
    "           under its name without folders, in the order given\n"
    "  list     prints the size in bytes and the name of each entry, in order\n"
    "  extract  writes the first entry called NAME to DEST (default: a file of\n"
    "           that name in the current folder)\n"
    "  unpack   writes every entry into the folder DIR (default: the current\n"
    "           folder); names that would leave it are skipped and reported\n"
    "\n"
    "Options may come anywhere before \"--\", which ends them: a name that starts\n"
    "with \"-\" goes after it.\n"
    "Exit status: 0 on success, 1 on an error, 2 on a usage error.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "qpak: %s\n%s", problem, kUsageText);
    return kUsage;
}

// The length of the valid UTF-8 sequence at `text[at]` and its code point;
// 0 when the bytes there are not one.
std::size_t Utf8At(const std::string& text, std::size_t at, char32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// Characters a terminal acts on rather than shows: C1 controls and the marks,
// overrides and isolates that reorder the text around them.
bool IsHidden(char32_t code) {
    return (code >= 0x80 && code <= 0x9F) || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

void AppendOctal(std::string& out, unsigned char byte) {
    char octal[5];
    std::snprintf(octal, sizeof octal, "\\%03o", byte);
    out += octal;
}

// Control characters (C0, DEL, C1 as a byte or in UTF-8), text direction
// controls and the backslash written as C escapes, byte by byte, as tar and
// ls do, so that a stored name cannot move the cursor, fake a line or show
// its text in another order. Other bytes pass as they are.
std::string Escaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char32_t code = byte;
        const std::size_t utf8 = byte < 0x80 ? 1 : Utf8At(text, i, code); // 0: a byte alone
        const std::size_t length = std::max<std::size_t>(utf8, 1);
        const char* named = byte == '\\' ? "\\\\" : byte == '\n' ? "\\n" : byte == '\t' ? "\\t" : nullptr;
        if (named) {
            out += named;
        } else if (byte < 0x20 || byte == 0x7F || (utf8 == 0 && byte <= 0x9F) || (utf8 > 1 && IsHidden(code))) {
            for (std::size_t k = 0; k < length; ++k) AppendOctal(out, static_cast<unsigned char>(text[i + k]));
        } else {
            out.append(text, i, length);
        }
        i += length;
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
    // asking for that file wants to hear about it, and to keep the old package.
    if (const int status = Guarded([&] {
            quelt::CreatePackege(package, files, quelt::UnreadableSources::kRefuse);
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

// Prints the help or version text; a failed write (a full disk) is an error.
int Print(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) == EOF || std::fflush(stdout) != 0)
        return Fail(std::string("cannot write to the standard output: ") + std::strerror(errno));
    return kOk;
}

} // namespace

int main(int argc, char** argv) {
    // Options may come anywhere before "--"; everything after it is an operand.
    std::vector<std::string> args;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options || arg.size() < 2 || arg[0] != '-') {
            args.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--help" || arg == "-h") {
            return Print(kUsageText);
        } else if (arg == "--version") {
            return Print("qpak " + std::to_string(QUELT_VERSION_MAJOR) + "." + std::to_string(QUELT_VERSION_MINOR) + "." +
                         std::to_string(QUELT_VERSION_PATCH) + "\n");
        } else {
            return Usage(("unknown option '" + Escaped(arg) + "' (put \"--\" before a name that starts with \"-\")").c_str());
        }
    }
    if (args.empty()) return Usage("no command given");
    const std::string& command = args[0];
    if (command == "help") return Print(kUsageText);
    const std::size_t operands = args.size() - 1;
    if (command == "create") {
        if (operands < 2) return Usage("create needs a PACKAGE and at least one FILE");
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
    return Usage(("unknown command '" + Escaped(command) + "'").c_str());
}
