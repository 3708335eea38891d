// SPDX-License-Identifier: Zlib
// Drives the qpak program as a user would: arguments in, status and text out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;
using quelt::test::Bytes;
using quelt::test::FileExists;
using quelt::test::ReadFile;
using quelt::test::WriteFile;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    long peakKiB = 0;
};

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class QpakTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quelt-qpak-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directory(root_ / "work");
        work_ = root_ / "work";
    }
    void TearDown() override { fs::remove_all(root_); }

    // Runs qpak in the work folder; output is captured outside it unless
    // `output` names where the standard output goes.
    Outcome Run(const std::vector<std::string>& args, const std::string& output = "") {
        const std::string outPath = output.empty() ? (root_ / "stdout").string() : output;
        const std::string errPath = (root_ / "stderr").string();
        const pid_t child = fork();
        if (child == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | (output.empty() ? O_TRUNC : 0), 0600);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(work_.c_str()) != 0) _exit(127);
            std::vector<char*> argv{const_cast<char*>(QUELT_BIN_DIR "/qpak")};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(126);
        }
        Outcome outcome;
        int status = 0;
        rusage usage{};
        if (child < 0 || wait4(child, &status, 0, &usage) != child) return outcome;
        outcome.peakKiB = usage.ru_maxrss;
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (output.empty()) outcome.out = Text(ReadFile(outPath));
        outcome.err = Text(ReadFile(errPath));
        return outcome;
    }

    std::string In(const std::string& name) const { return (work_ / name).string(); }
    std::set<std::string> FilesUnderRoot() const {
        std::set<std::string> files;
        for (const auto& item : fs::recursive_directory_iterator(root_))
            if (item.is_regular_file()) files.insert(fs::relative(item.path(), root_).string());
        files.erase("stdout");
        files.erase("stderr");
        return files;
    }
    void MakePackageOfAbc() {
        fs::create_directory(In("src"));
        WriteFile(In("src/a.txt"), "abc");
        WriteFile(In("b.bin"), Bytes{});
        ASSERT_EQ(Run({"create", "p.pak", "src/a.txt", "b.bin"}).status, 0);
    }

    fs::path root_;
    fs::path work_;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(QpakTest, HelpAndUsageErrors) {
    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"create", "list", "extract", "unpack"}) EXPECT_TRUE(Contains(help.out, command));

    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"create"}, {"create", "p.pak"}, {"list"}, {"list", "a", "b"}, {"list", "-x"},
             {"--bogus"}, {"extract", "p.pak"}, {"extract", "p", "n", "d", "x"}, {"unpack"}, {"unpack", "p", "d", "x"}}) {
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.status, 2) << testing::PrintToString(args);
        EXPECT_TRUE(Contains(outcome.err, "Usage")) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_FALSE(FileExists(In("p.pak")));
}

// "--" ends the options, so that names starting with "-" can be given; help
// and version texts that cannot be written are errors.
TEST_F(QpakTest, OptionsEndAtDoubleDashAndFailedWritesCount) {
    WriteFile(In("-dash"), "d");
    WriteFile(In("a.txt"), "abc");
    const struct {
        std::vector<std::string> args;
        const char* output;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{"create", "--", "p.pak", "-dash", "a.txt"}, "", 0, "", ""},
        {{"list", "--", "p.pak"}, "", 0, "         1  -dash\n         3  a.txt\n", ""},
        {{"--help"}, "/dev/full", 1, "", "No space left on device"},
        {{"--version"}, "/dev/full", 1, "", "No space left on device"},
        {{"--version"}, "", 0, "qpak ", ""},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Run(c.args, c.output);
        EXPECT_EQ(outcome.status, c.status) << testing::PrintToString(c.args) << outcome.err;
        EXPECT_TRUE(Contains(outcome.out, c.out)) << outcome.out;
        EXPECT_TRUE(Contains(outcome.err, c.err)) << outcome.err;
    }
}

TEST_F(QpakTest, CreateListExtractAndUnpack) {
    MakePackageOfAbc();
    EXPECT_EQ(Text(ReadFile(In("p.pak"))), std::string("QP\x02\0\0\0a.txt\0\x03\0\0\0abcb.bin\0\0\0\0\0", 29));

    const Outcome list = Run({"list", "p.pak"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "         3  a.txt\n         0  b.bin\n");
    // A cut-short copy lists its whole entries only.
    Bytes cut = ReadFile(In("p.pak"));
    cut.pop_back();
    WriteFile(In("cut.pak"), cut);
    const Outcome cutList = Run({"list", "cut.pak"});
    EXPECT_EQ(cutList.status, 1);
    EXPECT_EQ(cutList.out, "         3  a.txt\n");
    EXPECT_TRUE(Contains(cutList.err, "1 of 2 entries are whole")) << cutList.err;
    fs::create_directories(In("cut"));
    EXPECT_EQ(Run({"unpack", "cut.pak", "cut"}).status, 1);
    EXPECT_EQ(Text(ReadFile(In("cut/a.txt"))), "abc");

    // Without DEST (or DIR) an entry lands in the current folder, as with tar.
    const Outcome extract = Run({"extract", "p.pak", "a.txt"});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(Text(ReadFile(In("a.txt"))), "abc");
    EXPECT_EQ(Run({"extract", "p.pak", "a.txt", "src/copy.txt"}).status, 0);
    EXPECT_EQ(Text(ReadFile(In("src/copy.txt"))), "abc");

    // DIR with or without its trailing slash.
    fs::create_directories(In("out/two"));
    EXPECT_EQ(Run({"unpack", "p.pak", "out"}).status, 0);
    EXPECT_EQ(Run({"unpack", "p.pak", "out/two/"}).status, 0);
    for (const char* folder : {"out/", "out/two/"}) {
        EXPECT_EQ(Text(ReadFile(In(std::string(folder) + "a.txt"))), "abc");
        EXPECT_TRUE(FileExists(In(std::string(folder) + "b.bin")));
    }
    fs::remove(In("b.bin"));
    EXPECT_EQ(Run({"unpack", "p.pak"}).status, 0);
    EXPECT_TRUE(FileExists(In("b.bin")));
}

TEST_F(QpakTest, EmptyPackageAndRepeatedNames) {
    WriteFile(In("empty.pak"), Bytes{'Q', 'P', 0, 0, 0, 0});
    const Outcome list = Run({"list", "empty.pak"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "");

    fs::create_directories(In("x"));
    fs::create_directories(In("y"));
    WriteFile(In("x/same.dat"), "first");
    WriteFile(In("y/same.dat"), "second");
    const Outcome create = Run({"create", "p.pak", "x/same.dat", "y/same.dat"});
    EXPECT_EQ(create.status, 0);
    EXPECT_TRUE(Contains(create.err, "same.dat")) << create.err;
}

TEST_F(QpakTest, MissingAndForeignPackagesFail) {
    WriteFile(In("foreign.pak"), "PK\x03\x04 not ours");
    WriteFile(In("empty.pak"), Bytes{});
    for (const char* package : {"missing.pak", "foreign.pak", "empty.pak"}) {
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"list", package}, {"extract", package, "a.txt"}, {"unpack", package}}) {
            const Outcome outcome = Run(args);
            EXPECT_EQ(outcome.status, 1) << package << " " << args[0];
            EXPECT_TRUE(Contains(outcome.err, package)) << outcome.err;
            EXPECT_EQ(outcome.out, "");
        }
    }
    EXPECT_EQ(FilesUnderRoot(), (std::set<std::string>{"work/foreign.pak", "work/empty.pak"}));
}

TEST_F(QpakTest, MissingEntryAndUnwritableDestinationsFail) {
    MakePackageOfAbc();
    const Outcome missing = Run({"extract", "p.pak", "nope.txt", "nope.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Contains(missing.err, "nope.txt"));
    EXPECT_FALSE(FileExists(In("nope.txt")));

    const Outcome noFolder = Run({"extract", "p.pak", "a.txt", "no/such/a.txt"});
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_TRUE(Contains(noFolder.err, "no/such/a.txt")) << noFolder.err;

    EXPECT_EQ(Run({"unpack", "p.pak", "no/such"}).status, 1);
    const Outcome notFolder = Run({"unpack", "p.pak", "p.pak"});
    EXPECT_EQ(notFolder.status, 1);
    EXPECT_TRUE(Contains(notFolder.err, "not a folder")) << notFolder.err;

    fs::create_directories(In("out/a.txt")); // a folder where a file should go
    const Outcome blocked = Run({"unpack", "p.pak", "out"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(Contains(blocked.err, "out/a.txt")) << blocked.err;
    EXPECT_TRUE(FileExists(In("out/b.bin")));
}

TEST_F(QpakTest, CreateFailsForBadSourcesAndPackagePaths) {
    WriteFile(In("a.txt"), "abc");
    const Outcome missing = Run({"create", "p.pak", "a.txt", "ghost.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Contains(missing.err, "ghost.txt"));
    EXPECT_FALSE(FileExists(In("p.pak")));
    WriteFile(In("p.pak"), "old");
    EXPECT_EQ(Run({"create", "p.pak", "a.txt", "ghost.txt"}).status, 1);
    EXPECT_EQ(Text(ReadFile(In("p.pak"))), "old");
    fs::remove(In("p.pak"));

    fs::create_directories(In("dir"));
    EXPECT_EQ(Run({"create", "p.pak", "dir"}).status, 1);
    EXPECT_FALSE(FileExists(In("p.pak")));

    const Outcome nowhere = Run({"create", "no/such/p.pak", "a.txt"});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_TRUE(Contains(nowhere.err, "no/such/p.pak"));

    const Outcome self = Run({"create", "a.txt", "a.txt"});
    EXPECT_EQ(self.status, 1);
    EXPECT_EQ(Text(ReadFile(In("a.txt"))), "abc");
}

TEST_F(QpakTest, HostileNamesNeverLeaveTheTarget) {
    Bytes package{'Q', 'P', 2, 0, 0, 0};
    for (const std::string& name : {std::string("../escape.txt"), std::string("ok.txt")}) {
        package.insert(package.end(), name.begin(), name.end());
        package.insert(package.end(), {0, 1, 0, 0, 0, 'x'});
    }
    WriteFile(In("evil.pak"), package);
    fs::create_directories(In("out"));

    const Outcome unpack = Run({"unpack", "evil.pak", "out"});
    EXPECT_EQ(unpack.status, 1);
    EXPECT_TRUE(Contains(unpack.err, "../escape.txt")) << unpack.err;
    EXPECT_EQ(Text(ReadFile(In("out/ok.txt"))), "x");

    // A bare extract keeps only the last part of the name.
    EXPECT_EQ(Run({"extract", "evil.pak", "../escape.txt"}).status, 0);
    EXPECT_EQ(FilesUnderRoot(), (std::set<std::string>{"work/evil.pak", "work/out/ok.txt", "work/escape.txt"}));
}

// Names are printed with control characters escaped, so a name cannot fake
// listing lines or reach the terminal as a command.
TEST_F(QpakTest, ListEscapesControlCharacters) {
    const std::vector<std::pair<std::string, std::string>> names{
        {"a\nb", "a\\nb"}, {"\x1b[31mred", "\\033[31mred"}, {"t\tab", "t\\tab"}, {"back\\slash", "back\\\\slash"},
        {"\x7f\x01", "\\177\\001"}, {"plain \xd0\xaf", "plain \xd0\xaf"},
        // C1 controls as bytes and in UTF-8; Latin-1 letters and other UTF-8 pass.
        {"c1\x9b" "2J", "c1\\2332J"}, {"u\xc2\x9b" "2J", "u\\302\\2332J"}, {"caf\xe9 \xe2\x80\x94", "caf\xe9 \xe2\x80\x94"},
        // Direction overrides, isolates and marks.
        {"txt.\xe2\x80\xae" "exe", "txt.\\342\\200\\256exe"}, {"\xe2\x81\xa6x\xe2\x81\xa9", "\\342\\201\\246x\\342\\201\\251"},
        {"\xe2\x80\x8f", "\\342\\200\\217"}};
    Bytes package{'Q', 'P', static_cast<std::uint8_t>(names.size()), 0, 0, 0};
    std::string expected;
    for (const auto& [raw, shown] : names) {
        package.insert(package.end(), raw.begin(), raw.end());
        package.insert(package.end(), {0, 0, 0, 0, 0});
        expected += "         0  " + shown + "\n";
    }
    WriteFile(In("odd.pak"), package);
    const Outcome list = Run({"list", "odd.pak"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, expected);
}

// Sparse packages whose first entry is huge: listing seeks over it and
// extracting the last entry reads only what it needs, below and above 4 GiB.
TEST_F(QpakTest, HugePackagesStreamWithSmallMemory) {
    for (const std::uint32_t bigSize : {1u << 30, 0xFFFFFFF0u}) {
        SCOPED_TRACE(bigSize);
        const std::string package = In("huge.pak");
        fs::remove(package);
        Bytes head{'Q', 'P', 2, 0, 0, 0, 'b', 'i', 'g', 0};
        for (int shift = 0; shift < 32; shift += 8) head.push_back(static_cast<std::uint8_t>(bigSize >> shift));
        WriteFile(package, head);
        const std::string tail("tail.txt\0\x03\0\0\0xyz", 16);
        fs::resize_file(package, head.size() + bigSize);
        {
            std::ofstream out(package, std::ios::binary | std::ios::app);
            out << tail;
        }
        const Outcome list = Run({"list", "huge.pak"});
        EXPECT_EQ(list.status, 0) << list.err;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%10u  big\n         3  tail.txt\n", bigSize);
        EXPECT_EQ(list.out, expected);
        const Outcome extract = Run({"extract", "huge.pak", "tail.txt"});
        EXPECT_EQ(extract.status, 0) << extract.err;
        EXPECT_EQ(Text(ReadFile(In("tail.txt"))), "xyz");
        EXPECT_LT(std::max(list.peakKiB, extract.peakKiB), 256 * 1024);
        fs::remove(package);
    }
}

} // namespace
