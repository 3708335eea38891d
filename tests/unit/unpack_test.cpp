// SPDX-License-Identifier: Zlib
// What unpacking and the readers do with names the system at hand treats
// specially: nothing is written outside the target folder or to a device.
// Windows takes some names for a device, a drive, a stream or another file
// (trailing dots, case), so there those entries are skipped; POSIX names are
// only bytes. Runs on both systems (scripts/test-windows).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "QLogger.h"
#include "QPackege.h"
#include "QUtils.h"
#include "SData.h"
#include "TestFiles.h"

namespace quelt::test {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool kWindows = true;
const char* const kDevice = "NUL";
#else
constexpr bool kWindows = false;
const char* const kDevice = "/dev/null";
#endif

std::string TakeError() {
    std::string message;
    return TakeLastError(message) ? message : std::string();
}

// Name and content of every file under `folder`, "/" between parts.
std::map<std::string, std::string> FilesUnder(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) {
            const Bytes bytes = ReadFile(entry.path().string());
            files[entry.path().lexically_relative(folder).generic_string()] = std::string(bytes.begin(), bytes.end());
        }
    return files;
}

TEST(Unpack, SkipsWhatTheSystemWouldTakeForAnotherFileOrADevice) {
    fs::remove_all("unpack");
    fs::create_directories("unpack/out/sub");
    const std::vector<std::string> names = {"CON",      "nul.txt",    "C:x.txt", "a.txt:stream", "dot.",    "space ",
                                            "sub/LPT1", "sub\\Aux.c", "ok.txt",  "OK.TXT",       "sub/fine"};
    Bytes package;
    PutText(package, "QP");
    PutU32(package, static_cast<std::uint32_t>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        package.insert(package.end(), names[i].begin(), names[i].end());
        PutU8(package, 0);
        PutU32(package, 1);
        PutU8(package, static_cast<std::uint8_t>('a' + i));
    }
    WriteFile("unpack/p.qp", package);
    Unpack("unpack/p.qp", "unpack/out");
    const std::string error = TakeError();

    // The first of names differing only in case wins where case does not count.
    const std::map<std::string, std::string> windows = {{"ok.txt", "i"}, {"sub/fine", "k"}};
    const std::map<std::string, std::string> posix = {{"CON", "a"},          {"nul.txt", "b"},   {"C:x.txt", "c"},
                                                      {"a.txt:stream", "d"}, {"dot.", "e"},      {"space ", "f"},
                                                      {"sub/LPT1", "g"},     {"sub/Aux.c", "h"}, {"ok.txt", "i"},
                                                      {"OK.TXT", "j"},       {"sub/fine", "k"}};
    EXPECT_EQ(FilesUnder("unpack/out"), kWindows ? windows : posix);
    EXPECT_EQ(FilesUnder("unpack").size(), FilesUnder("unpack/out").size() + 1); // the package alone beside it
    if (kWindows) {
        EXPECT_NE(error.find("Skipped 8 entries"), std::string::npos) << error;
    }
}

TEST(Readers, RefuseADevice) {
    EXPECT_EQ(ReadRegularFile(kDevice, 1 << 20).outcome, FileBytes::Outcome::NotRegular);
    EXPECT_FALSE(Content(kDevice));
    EXPECT_NE(TakeError().find("not a regular file"), std::string::npos);
    CreateLog(kDevice);
    EXPECT_NE(TakeError().find("not a regular file"), std::string::npos);
}

} // namespace
} // namespace quelt::test
