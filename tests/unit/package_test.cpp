// SPDX-License-Identifier: Zlib
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <quelt/quelt.h>

#include "QPackege.h"
#include "QUtils.h"
#include "TestFiles.h"

namespace quelt {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::FileExists;
using test::PutText;
using test::PutU32;
using test::ReadFile;
using test::WriteFile;

std::string TakeError() {
    std::string message;
    return TakeLastError(message) ? message : std::string();
}

// Each test works in a fresh folder that is also the working directory, so
// "a package without a folder" means this folder and nothing leaks outside.
class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "quelt-package-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::current_path(root_);
        TakeError();
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(root_);
    }
    static void MakeFolder(const std::string& path) { fs::create_directories(path); }
    // Every regular file below the test folder, relative to it.
    std::set<std::string> FilesHere() const {
        std::set<std::string> files;
        for (const auto& item : fs::recursive_directory_iterator(root_))
            if (item.is_regular_file()) files.insert(fs::relative(item.path(), root_).string());
        return files;
    }

    fs::path previous_;
    fs::path root_;
};

Bytes Entry(const std::string& name, const Bytes& content) {
    Bytes out;
    PutText(out, name);
    out.push_back(0);
    PutU32(out, static_cast<std::uint32_t>(content.size()));
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Package(std::uint32_t count, const std::vector<Bytes>& entries) {
    Bytes out{'Q', 'P'};
    PutU32(out, count);
    for (const Bytes& entry : entries) out.insert(out.end(), entry.begin(), entry.end());
    return out;
}

Bytes BytesOf(const TData& data) { return Bytes(data.Data(), data.Data() + data.Size()); }

// The last error of a call, or the text of the IoError it threw.
template <typename F>
std::string ErrorOf(F&& call) {
    try {
        call();
    } catch (const IoError& error) {
        return error.what();
    }
    return TakeError();
}

// Files larger than `bytes` cannot be written while it lives, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit small{bytes, previous_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, SIG_DFL);
    }

private:
    rlimit previous_{};
};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

const Bytes kAbc{'a', 'b', 'c'};

// ---- Format ----

TEST_F(PackageTest, TwoFilesGiveTheDocumentedBytesWithFoldersDropped) {
    MakeFolder("src");
    WriteFile("src/a.txt", "abc");
    WriteFile("src/b.bin", Bytes{});
    CreatePackege("p.pak", {"src/a.txt", fs::absolute("src/b.bin").string()});
    const Bytes expected{0x51, 0x50, 0x02, 0x00, 0x00, 0x00, 0x61, 0x2E, 0x74, 0x78, 0x74, 0x00, 0x03, 0x00, 0x00,
                         0x00, 0x61, 0x62, 0x63, 0x62, 0x2E, 0x62, 0x69, 0x6E, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(ReadFile("p.pak"), expected);
    EXPECT_EQ(TakeError(), "");
    EXPECT_EQ(Content("p.pak"), (std::vector<std::string>{"a.txt", "b.bin"}));
}

TEST_F(PackageTest, EmptyListGivesSixBytesAndExistingPackageIsTruncated) {
    WriteFile("p.pak", std::string(100, 'x'));
    CreatePackege("p.pak", {});
    EXPECT_EQ(ReadFile("p.pak"), (Bytes{0x51, 0x50, 0, 0, 0, 0}));
    EXPECT_EQ(Content("p.pak"), std::vector<std::string>{});
}

TEST_F(PackageTest, UnreadableSourcesBecomeEmptyEntriesAndAreReported) {
    MakeFolder("folder");
    ASSERT_EQ(mkfifo("pipe", 0600), 0); // opening it for reading would block forever
    WriteFile("a.txt", "abc");
    CreatePackege("p.pak", {"missing.txt", "folder", "pipe", "a.txt"});
    EXPECT_EQ(ReadFile("p.pak"), Package(4, {Entry("missing.txt", {}), Entry("folder", {}), Entry("pipe", {}),
                                             Entry("a.txt", kAbc)}));
    const std::string error = TakeError();
    for (const char* part : {"Stored 3 unreadable sources as empty entries", "\"missing.txt\"", "\"folder\"", "\"pipe\""})
        EXPECT_NE(error.find(part), std::string::npos) << error;
}

// A pack that fails leaves the old package as it was, and nothing beside it.
TEST_F(PackageTest, FailedPacksKeepTheOldPackage) {
    WriteFile("a.txt", "abc");
    WriteFile("big.bin", Bytes(8192, 'b'));
    const struct {
        const char* source;
        rlim_t fileLimit;
        const char* error;
    } cases[] = {
        {"big.bin", 4096, "p.pak"},                   // a full disk
        {"/proc/self/mem", RLIM_INFINITY, "/proc/self/mem"}, // a source that cannot be read
    };
    for (const auto& c : cases) {
        WriteFile("p.pak", "old package");
        std::string error;
        {
            const FileSizeLimit limit(c.fileLimit);
            error = ErrorOf([&] { CreatePackege("p.pak", {"a.txt", c.source}); });
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(ReadFile("p.pak"), Bytes({'o', 'l', 'd', ' ', 'p', 'a', 'c', 'k', 'a', 'g', 'e'})) << c.source;
        EXPECT_EQ(FilesHere(), (std::set<std::string>{"a.txt", "big.bin", "p.pak"}));
    }
}

// The replaced package keeps its mode and the link at its name; a read-only
// one is kept; a file whose size says 0 (/proc) is stored whole.
TEST_F(PackageTest, ReplacedPackageKeepsModeAndLinkAndSourcesAreReadToTheirEnd) {
    WriteFile("a.txt", "abc");
    WriteFile("p.pak", "old");
    ASSERT_EQ(chmod("p.pak", 0640), 0);
    fs::create_symlink("p.pak", "link.pak");
    CreatePackege("link.pak", {"a.txt", "/proc/self/cmdline"});
    EXPECT_EQ(TakeError(), "");
    EXPECT_TRUE(fs::is_symlink("link.pak"));
    EXPECT_EQ(ModeOf("p.pak"), 0640u);
    const auto stored = FindEntry("p.pak", "cmdline");
    ASSERT_TRUE(stored);
    EXPECT_EQ(BytesOf(*stored), ReadFile("/proc/self/cmdline"));
    EXPECT_GT(stored->Size(), 0u);

    WriteFile("ro.pak", "old");
    ASSERT_EQ(chmod("ro.pak", 0444), 0);
    CreatePackege("ro.pak", {"a.txt"});
    EXPECT_NE(TakeError().find("ro.pak"), std::string::npos);
    EXPECT_EQ(ReadFile("ro.pak"), Bytes({'o', 'l', 'd'}));
}

// The package is a FIFO, so the packer waits, halfway through the source, for
// the test to read on: the source grows or shrinks right then.
TEST_F(PackageTest, SourcesThatChangeWhilePackedAreRefused) {
    for (const bool grows : {true, false}) {
        SCOPED_TRACE(grows ? "grows" : "shrinks");
        WriteFile("src.bin", Bytes(1 << 20, 's'));
        fs::remove("p.pak");
        ASSERT_EQ(mkfifo("p.pak", 0600), 0);
        std::string error;
        std::thread packer([&] { error = ErrorOf([] { CreatePackege("p.pak", {"src.bin"}); }); });
        const int fifo = open("p.pak", O_RDONLY);
        ASSERT_GE(fifo, 0);
        // Header, name and size, then content: the source has been read.
        char buffer[1 << 16];
        for (std::size_t got = 0; got < 6 + 8 + 4 + 100;) got += static_cast<std::size_t>(read(fifo, buffer, 1));
        if (grows)
            std::ofstream("src.bin", std::ios::binary | std::ios::app) << "more";
        else
            fs::resize_file("src.bin", 1000);
        while (read(fifo, buffer, sizeof buffer) > 0) continue;
        packer.join();
        close(fifo);
        EXPECT_NE(error.find("\"src.bin\": it changed while it was being read"), std::string::npos) << error;
    }
}

TEST_F(PackageTest, PackageThatIsOneOfItsSourcesIsRefusedAndTheSourceKept) {
    WriteFile("a.pak", "precious");
    CreatePackege("./a.pak", {"other.txt", "a.pak"});
    EXPECT_EQ(ReadFile("a.pak"), Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    EXPECT_NE(TakeError(), "");
}

TEST_F(PackageTest, PackageThatCannotBeCreatedIsReportedNotThrown) {
    WriteFile("a.txt", "abc");
    EXPECT_NO_THROW(CreatePackege("no/such/folder/p.pak", {"a.txt"}));
    EXPECT_NE(TakeError().find("no/such/folder/p.pak"), std::string::npos);
}

// ---- Reading: not a package, lookups ----

TEST_F(PackageTest, MissingEmptyForeignAndFolderAreNotPackages) {
    WriteFile("empty.pak", Bytes{});
    WriteFile("foreign.pak", Bytes{'P', 'Q', 0, 0, 0, 0});
    WriteFile("half.pak", Bytes{'Q'});
    MakeFolder("dir.pak");
    for (const char* name : {"missing.pak", "empty.pak", "foreign.pak", "half.pak", "dir.pak"}) {
        EXPECT_FALSE(Content(name)) << name;
        EXPECT_NE(TakeError(), "") << name;
        EXPECT_FALSE(FindEntry(name, "a.txt")) << name;
        Unpack(name, "");
    }
    EXPECT_EQ(FilesHere(), (std::set<std::string>{"empty.pak", "foreign.pak", "half.pak"}));
}

TEST_F(PackageTest, MagicWithoutCountIsADamagedEmptyPackage) {
    WriteFile("qp.pak", Bytes{'Q', 'P', 7});
    EXPECT_EQ(Content("qp.pak"), std::vector<std::string>{});
    EXPECT_NE(TakeError().find("damaged"), std::string::npos);
}

TEST_F(PackageTest, LookupsAreExactAndTheFirstOfTwoSameNamesWins) {
    MakeFolder("x");
    MakeFolder("y");
    WriteFile("x/same.dat", "first");
    WriteFile("y/same.dat", "second!");
    CreatePackege("p.pak", {"x/same.dat", "y/same.dat"});
    EXPECT_EQ(Content("p.pak"), (std::vector<std::string>{"same.dat", "same.dat"}));

    const auto found = FindEntry("p.pak", "same.dat");
    ASSERT_TRUE(found);
    EXPECT_EQ(BytesOf(*found), Bytes({'f', 'i', 'r', 's', 't'}));
    EXPECT_EQ(found->Position(), 0u);
    EXPECT_FALSE(FindEntry("p.pak", "Same.dat"));
    EXPECT_FALSE(FindEntry("p.pak", "x/same.dat"));

    MakeFolder("out");
    Unpack("p.pak", "out/");
    EXPECT_EQ(ReadFile("out/same.dat"), Bytes({'f', 'i', 'r', 's', 't'}));
    Extract("p.pak", "same.dat", "one.dat");
    EXPECT_EQ(ReadFile("one.dat"), Bytes({'f', 'i', 'r', 's', 't'}));
}

TEST_F(PackageTest, OnlyTheFirstEntryOfANameIsWrittenWhateverTheFolderHeld) {
    std::vector<Bytes> entries;
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"a", "1"}, {"b", "2"}, {"a", "3"}, {"c", "4"}, {"b", "5"}, {"c", "6"}})
        entries.push_back(Entry(name, Bytes(text.begin(), text.end())));
    WriteFile("p.pak", Package(6, entries));
    for (const std::vector<std::string>& held : std::vector<std::vector<std::string>>{{}, {"a"}, {"b"}, {"c"}, {"a", "b", "c"}}) {
        fs::remove_all("out");
        MakeFolder("out");
        for (const std::string& name : held) WriteFile("out/" + name, "old");
        Unpack("p.pak", "out/");
        EXPECT_EQ(ReadFile("out/a"), Bytes{'1'}) << held.size();
        EXPECT_EQ(ReadFile("out/b"), Bytes{'2'}) << held.size();
        EXPECT_EQ(ReadFile("out/c"), Bytes{'4'}) << held.size();
    }
    EXPECT_EQ(TakeError(), "");
}

// Names in folders repeat under other spellings too, whether the repeat is
// met while the names are only listed or once they are looked up.
TEST_F(PackageTest, TheFirstEntryOfANameInAFolderIsWrittenWhateverItsSpelling) {
    const std::vector<std::pair<std::string, std::string>> entries{
        {"d/x", "1"}, {"y", "2"}, {"d\\x", "3"}, {"./y", "4"}, {"d//x", "5"}, {"e/z", "6"}, {"e/./z", "7"}};
    std::vector<Bytes> stored;
    for (const auto& [name, text] : entries) stored.push_back(Entry(name, Bytes(text.begin(), text.end())));
    WriteFile("p.pak", Package(static_cast<std::uint32_t>(stored.size()), stored));
    for (const bool yHeld : {false, true}) {
        fs::remove_all("out");
        MakeFolder("out/d");
        MakeFolder("out/e");
        if (yHeld) WriteFile("out/y", "old");
        Unpack("p.pak", "out");
        EXPECT_EQ(ReadFile("out/d/x"), Bytes{'1'}) << yHeld;
        EXPECT_EQ(ReadFile("out/y"), Bytes{'2'}) << yHeld;
        EXPECT_EQ(ReadFile("out/e/z"), Bytes{'6'}) << yHeld;
        EXPECT_EQ(TakeError(), "");
    }
}

// What unpacking leaves in a folder that already holds files, and what it
// reports: every entry is tried, and every kind of problem is named.
TEST_F(PackageTest, UnpackOutcomes) {
    const Bytes big(8192, 'b');
    const struct {
        const char* what;
        std::vector<Bytes> entries;
        std::uint32_t extraCount; // promised entries that are not there
        std::vector<std::pair<std::string, mode_t>> held; // holding "old"
        rlim_t fileLimit;
        std::vector<std::tuple<std::string, std::optional<std::string>, mode_t>> after; // mode 0: any
        std::vector<std::string> reported;
    } cases[] = {
        {"a file with one link is written in place", {Entry("keep", {'n', 'e', 'w'})}, 0, {{"keep", 0600}},
         RLIM_INFINITY, {{"keep", "new", 0600}}, {}},
        {"a read-only file stays", {Entry("ro", {'n'}), Entry("next", {'x'})}, 0, {{"ro", 0444}}, RLIM_INFINITY,
         {{"ro", "old", 0444}, {"next", "x", 0}}, {"Cannot write 1 file: \"out/ro\""}},
        {"a and ./a name one file", {Entry("a", {'1'}), Entry("./a", {'2'}), Entry(".//a", {'3'})}, 0, {{"a", 0644}},
         RLIM_INFINITY, {{"a", "1", 0}}, {}},
        {"after a write error the next entries are tried", {Entry("big", big), Entry("held", big), Entry("small", {'s'})},
         0, {{"held", 0644}}, 4096, {{"big", std::nullopt, 0}, {"held", std::nullopt, 0}, {"small", "s", 0}},
         {"Cannot write 2 files: \"out/big\" (File too large), \"out/held\""}},
        {"every kind of problem is named",
         {Entry("../x", {'x'}), Entry("/abs", {'y'}), Entry("big", big), Entry("ok", {'k'})}, 1, {}, 4096,
         {{"ok", "k", 0}, {"big", std::nullopt, 0}},
         {"damaged: 4 of 5", "Skipped 2 entries: \"../x\"", "\"/abs\"", "Cannot write 1 file: \"out/big\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all("out");
        MakeFolder("out");
        for (const auto& [name, mode] : c.held) {
            WriteFile("out/" + name, "old");
            ASSERT_EQ(chmod(("out/" + name).c_str(), mode), 0);
        }
        WriteFile("p.pak", Package(static_cast<std::uint32_t>(c.entries.size()) + c.extraCount, c.entries));
        std::string error;
        {
            const FileSizeLimit limit(c.fileLimit);
            error = ErrorOf([] { Unpack("p.pak", "out"); });
        }
        for (const auto& [name, content, mode] : c.after) {
            const std::string path = "out/" + name;
            const Bytes held = ReadFile(path);
            EXPECT_EQ(FileExists(path) ? std::optional(std::string(held.begin(), held.end())) : std::nullopt, content);
            EXPECT_TRUE(mode == 0 || ModeOf(path) == mode) << name << " " << std::oct << ModeOf(path);
        }
        if (c.reported.empty()) {
            EXPECT_EQ(error, "");
        }
        for (const std::string& part : c.reported) EXPECT_NE(error.find(part), std::string::npos) << error;
    }
}

// ---- Extract and unpack destinations ----

TEST_F(PackageTest, EmptyDestinationMeansThePackagesFolder) {
    MakeFolder("data");
    WriteFile("a.txt", "abc");
    CreatePackege("data/pack.pak", {"a.txt"});
    fs::remove("a.txt");
    Extract("data/pack.pak", "a.txt", "");
    EXPECT_EQ(ReadFile("data/a.txt"), kAbc);

    // Without a folder the package's folder is the working directory.
    CreatePackege("pack.pak", {"data/a.txt"});
    Extract("pack.pak", "a.txt", "");
    EXPECT_EQ(ReadFile("a.txt"), kAbc);
    EXPECT_FALSE(FileExists("pack.paka.txt"));

    fs::remove("a.txt");
    Unpack("pack.pak", "");
    EXPECT_EQ(ReadFile("a.txt"), kAbc);
}

TEST_F(PackageTest, DestinationFolderIsAFolderWithOrWithoutItsSeparator) {
    WriteFile("a.txt", "abc");
    CreatePackege("p.pak", {"a.txt"});
    MakeFolder("out");
    MakeFolder("win");
    Unpack("p.pak", "out");
    Unpack("p.pak", "win\\");
    EXPECT_EQ(ReadFile("out/a.txt"), kAbc);
    EXPECT_EQ(ReadFile("win/a.txt"), kAbc);
    Unpack("p.pak", "out/pre-");
    EXPECT_NE(TakeError().find("out/pre-"), std::string::npos);
    EXPECT_FALSE(FileExists("out/pre-a.txt"));
}

TEST_F(PackageTest, EntryNotFoundCreatesNoFile) {
    WriteFile("a.txt", "abc");
    CreatePackege("p.pak", {"a.txt"});
    WriteFile("keep.txt", "old");
    Extract("p.pak", "b.txt", "new.txt");
    Extract("p.pak", "b.txt", "keep.txt");
    Extract("p.pak", "b.txt", "");
    Extract("nothing.pak", "a.txt", "new.txt");
    EXPECT_FALSE(FileExists("new.txt"));
    EXPECT_FALSE(FileExists("b.txt"));
    EXPECT_EQ(ReadFile("keep.txt"), Bytes({'o', 'l', 'd'}));
    EXPECT_NE(TakeError(), "");
}

TEST_F(PackageTest, DestinationThatCannotBeCreatedIsReportedAndUnpackGoesOn) {
    WriteFile("a.txt", "abc");
    WriteFile("b.txt", "bb");
    CreatePackege("p.pak", {"a.txt", "b.txt"});
    MakeFolder("out");
    MakeFolder("out/a.txt"); // a folder where the first file should go
    EXPECT_NO_THROW(Extract("p.pak", "a.txt", "no/such/dir/a.txt"));
    EXPECT_NE(TakeError().find("no/such/dir/a.txt"), std::string::npos);
    EXPECT_NO_THROW(Unpack("p.pak", "out/"));
    EXPECT_NE(TakeError().find("out/a.txt"), std::string::npos);
    EXPECT_EQ(ReadFile("out/b.txt"), Bytes({'b', 'b'}));
}

TEST_F(PackageTest, ThePackageItselfAsATarget) {
    WriteFile("a.txt", "abc");
    WriteFile("p.pak", "inner");
    MakeFolder("src");
    fs::rename("p.pak", "src/p.pak");
    CreatePackege("p.pak", {"a.txt", "src/p.pak"});
    const Bytes package = ReadFile("p.pak");

    // Unpacking beside the package must not cut it short under its own feet.
    fs::remove("a.txt");
    Unpack("p.pak", "");
    EXPECT_EQ(ReadFile("a.txt"), kAbc);
    EXPECT_EQ(ReadFile("p.pak"), package);
    EXPECT_NE(TakeError().find("p.pak"), std::string::npos);

    // Asked for explicitly, an entry replaces the package whole.
    Extract("p.pak", "p.pak", "./p.pak");
    EXPECT_EQ(ReadFile("p.pak"), Bytes({'i', 'n', 'n', 'e', 'r'}));
}

// ---- Hostile packages ----

TEST(PackageNames, SafeNamesStayInsideTheTargetFolder) {
    for (const char* name : {"a.txt", "..a", "a..", "...", "sub/a.txt", "a\\b", ".hidden", "C:x"})
        EXPECT_TRUE(IsSafeEntryName(name)) << name;
    for (const char* name : {"", "..", "../a", "a/../../b", "a/..", "/etc/passwd", "\\x", "..\\a", "a\\..\\..\\b"})
        EXPECT_FALSE(IsSafeEntryName(name)) << name;
}

TEST(PackageNames, WindowsFileNamesNameOneFileOfTheirOwn) {
    for (const char* part : {"a.txt", "CONSOLE", "con1", "COM0", "COM10", "LPT", "NULL.x", "a b", ".hidden", "x.CON"})
        EXPECT_TRUE(IsWindowsFileName(part)) << part;
    for (const char* part : {"", "CON", "con.txt", "Nul.tar.gz", "aux ", "AUX .c", "PRN", "com1", "LPT9.log",
                             "CONIN$", "conout$.x", "C:x", "a:stream", "a.", "a ", "...", "a*", "a?", "a|b", "a\"x",
                             "a<b", "a>b", "tab\there"})
        EXPECT_FALSE(IsWindowsFileName(part)) << part;
}

TEST_F(PackageTest, UnpackSkipsTraversalNamesAndWritesTheRest) {
    MakeFolder("deep/inner/out");
    const std::string absolute = (root_ / "absolute.txt").string();
    WriteFile("deep/inner/evil.pak",
              Package(7, {Entry("../up.txt", {'u'}), Entry(absolute, {'a'}), Entry("x/../../up2.txt", {'x'}),
                          Entry("..\\win.txt", {'w'}), Entry("", {'e'}), Entry("..", {'d'}), Entry("ok.txt", kAbc)}));
    Unpack("deep/inner/evil.pak", "deep/inner/out/");
    Unpack("deep/inner/evil.pak", "");
    for (const char* name : {"../up.txt", "..\\win.txt", ""}) Extract("deep/inner/evil.pak", name, "");
    Extract("deep/inner/evil.pak", absolute, "");
    EXPECT_EQ(FilesHere(), (std::set<std::string>{"deep/inner/evil.pak", "deep/inner/out/ok.txt", "deep/inner/ok.txt"}));
    EXPECT_NE(TakeError(), "");
    // An explicit destination is the caller's own choice of path.
    Extract("deep/inner/evil.pak", "../up.txt", "chosen.txt");
    EXPECT_EQ(ReadFile("chosen.txt"), Bytes{'u'});
}

// Every destination a caller may pass, joined with names that are harmless
// alone: each file written lies inside the folder the destination names.
TEST_F(PackageTest, JoinedPathsNeverLeaveTheDestinationFolder) {
    const fs::path cwd = root_ / "top/mid/cwd";
    MakeFolder((cwd / "a").string());
    MakeFolder((cwd / "p").string());
    fs::current_path(cwd);
    const std::vector<std::string> names{"./x", "././y", ".", "./", "z", "/abs", "sub/./w"};
    std::vector<Bytes> entries;
    for (const std::string& name : names) entries.push_back(Entry(name, kAbc));
    WriteFile("p/p.pak", Package(static_cast<std::uint32_t>(names.size()), entries));
    const std::string abs = cwd.string();
    std::vector<std::string> destinations;
    for (const std::string& folder : {std::string("."), std::string(".."), std::string("a/."), std::string("a/.."),
                                      abs + "/.", abs + "/..", abs + "/a/..", std::string("a"), abs})
        for (const char* end : {"", "/", "\\"}) destinations.push_back(folder + end);
    destinations.push_back("");

    for (const std::string& destination : destinations) {
        SCOPED_TRACE("destination '" + destination + "'");
        std::string folder = destination.empty() ? "p" : destination;
        std::replace(folder.begin(), folder.end(), '\\', '/');
        const fs::path allowed = fs::weakly_canonical(cwd / folder);
        const std::set<std::string> before = FilesHere();
        Unpack("p/p.pak", destination);
        const std::string error = TakeError();
        for (const std::string& file : FilesHere()) {
            if (before.count(file)) continue;
            const fs::path written = fs::weakly_canonical(root_ / file);
            const auto rest = written.lexically_relative(allowed);
            EXPECT_TRUE(!rest.empty() && *rest.begin() != "..") << written << " outside " << allowed;
            fs::remove(written);
        }
        EXPECT_NE(error, "");
    }
}

// Whatever an entry's name holds in the target folder is replaced, never
// written through.
TEST_F(PackageTest, EntriesReplaceLinksAndSpecialFilesAtTheirNames) {
    MakeFolder("outside");
    MakeFolder("out");
    WriteFile("outside/victim", "keep");
    const std::vector<std::string> names{"sym", "dangling", "hard", "fifo", "plain", "folderlink/x"};
    std::vector<Bytes> entries;
    for (const std::string& name : names) entries.push_back(Entry(name, kAbc));
    WriteFile("p.pak", Package(static_cast<std::uint32_t>(names.size()), entries));
    const auto plant = [&] {
        fs::remove_all("out");
        MakeFolder("out");
        fs::create_symlink("../outside/victim", "out/sym");
        fs::create_symlink("../outside/new", "out/dangling");
        fs::create_hard_link("outside/victim", "out/hard");
        ASSERT_EQ(mkfifo("out/fifo", 0600), 0);
        WriteFile("out/plain", "old");
        fs::create_directory_symlink("../outside", "out/folderlink");
    };
    alarm(60); // writing into the FIFO would wait for a reader forever
    plant();
    Unpack("p.pak", "out/");
    for (const char* name : {"sym", "dangling", "hard", "fifo", "plain"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(std::string("out/") + name))) << name;
        EXPECT_EQ(ReadFile(std::string("out/") + name), kAbc) << name;
    }
    EXPECT_NE(TakeError().find("folderlink/x"), std::string::npos);
    plant();
    fs::copy_file("p.pak", "out/p.pak");
    Extract("out/p.pak", "sym", "");
    EXPECT_EQ(ReadFile("out/sym"), kAbc);
    alarm(0);
    EXPECT_EQ(ReadFile("outside/victim"), Bytes({'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(FileExists("outside/new"));
    EXPECT_FALSE(FileExists("outside/x"));
}

// A three-entry package cut at every length: only whole entries are listed,
// found and written, and nothing is read or written past the data.
TEST_F(PackageTest, TruncatedPackagesKeepOnlyWholeEntriesAtEveryOffset) {
    const std::vector<std::string> names{"one.bin", "two", "three.dat"};
    const std::vector<Bytes> contents{{0, 1, 0, 2}, {}, {'z', 0, 0, 'z', 9}};
    std::vector<Bytes> entries;
    std::vector<std::size_t> ends;
    std::size_t end = 6;
    for (std::size_t i = 0; i < names.size(); ++i) {
        entries.push_back(Entry(names[i], contents[i]));
        end += entries.back().size();
        ends.push_back(end);
    }
    const Bytes whole = Package(3, entries);
    ASSERT_EQ(whole.size(), ends.back());

    for (std::size_t length = 0; length <= whole.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        WriteFile("cut.pak", cut);
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < names.size() && ends[i] <= length; ++i) expected.push_back(names[i]);

        const auto listed = Content("cut.pak");
        if (length < 2) {
            EXPECT_FALSE(listed);
            continue;
        }
        ASSERT_TRUE(listed);
        EXPECT_EQ(*listed, expected);
        EXPECT_EQ(TakeError().find("damaged") != std::string::npos, length != whole.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto found = FindEntry("cut.pak", names[i]);
            EXPECT_EQ(static_cast<bool>(found), i < expected.size()) << names[i];
            if (found) {
                EXPECT_EQ(BytesOf(*found), contents[i]);
            }
        }
        std::vector<PackageEntry> visited;
        ASSERT_TRUE(VisitEntries("cut.pak", [&](const PackageEntry& entry) { visited.push_back(entry); }));
        ASSERT_EQ(visited.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(visited[i].name, names[i]);
            EXPECT_EQ(visited[i].size, contents[i].size());
            EXPECT_EQ(visited[i].offset, ends[i] - contents[i].size());
        }
        fs::remove_all("out");
        MakeFolder("out");
        Unpack("cut.pak", "out/");
        EXPECT_EQ(TakeError().find("damaged") != std::string::npos, length != whole.size());
        std::set<std::string> written;
        for (const auto& item : fs::directory_iterator("out")) written.insert(item.path().filename().string());
        EXPECT_EQ(written, std::set<std::string>(expected.begin(), expected.end()));
    }
}

TEST_F(PackageTest, DamageIsReportedWithTheWholeEntriesKept) {
    const Bytes one = Entry("one", kAbc);
    Bytes garbage = Package(1, {one});
    PutText(garbage, "tail");
    const struct {
        Bytes package;
        std::vector<std::string> names;
        const char* error;
    } cases[] = {
        {Package(3, {one, Entry("two", {})}), {"one", "two"}, "2 of 3 entries are whole"},
        {garbage, {"one"}, "4 bytes"},
        {Package(1, {one}), {"one"}, ""},
    };
    for (const auto& c : cases) {
        WriteFile("p.pak", c.package);
        EXPECT_EQ(Content("p.pak"), c.names);
        const std::string error = TakeError();
        EXPECT_EQ(error.find("damaged") != std::string::npos, *c.error != 0) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        fs::remove_all("out");
        MakeFolder("out");
        Unpack("p.pak", "out/");
        EXPECT_NE(TakeError().find(c.error), std::string::npos);
        EXPECT_EQ(ReadFile("out/one"), kAbc);
    }
}

TEST_F(PackageTest, HostileCountsAndSizesStayWithinTheData) {
    // A count of 4 billion over one entry lists one entry.
    WriteFile("many.pak", Package(0xFFFFFFFFu, {Entry("a", {'1'})}));
    EXPECT_EQ(Content("many.pak"), std::vector<std::string>{"a"});

    // Sizes that wrap a 32-bit position or run past the end are not entries.
    for (std::uint32_t size : {0xFFFFFFFFu, 0xFFFFFFFAu, 0x80000000u, 4u}) {
        Bytes bytes = Package(2, {Entry("a", {'1'})});
        PutText(bytes, "b");
        bytes.push_back(0);
        PutU32(bytes, size);
        PutText(bytes, "xyz");
        WriteFile("p.pak", bytes);
        EXPECT_EQ(Content("p.pak"), std::vector<std::string>{"a"}) << size;
        EXPECT_FALSE(FindEntry("p.pak", "b")) << size;
    }

    // A name with no zero byte before the end.
    WriteFile("open.pak", Package(1, {Bytes{'n', 'a', 'm', 'e'}}));
    EXPECT_EQ(Content("open.pak"), std::vector<std::string>{});
}

// ---- Round trips ----

TEST_F(PackageTest, BinaryAndEmptyFilesRoundTripUnchanged) {
    Bytes binary;
    for (int i = 0; i < 70000; ++i) binary.push_back(static_cast<std::uint8_t>((i * 7919) >> (i % 5)));
    binary[0] = 0;
    binary[binary.size() - 1] = 0;
    const Bytes zeros(1000, 0);
    MakeFolder("src");
    WriteFile("src/binary.bin", binary);
    WriteFile("src/zeros.bin", zeros);
    WriteFile("src/empty.bin", Bytes{});
    CreatePackege("p.pak", {"src/binary.bin", "src/empty.bin", "src/zeros.bin"});
    EXPECT_EQ(ReadFile("p.pak").size(), 6 + (11 + 4 + binary.size()) + (10 + 4) + (10 + 4 + zeros.size()));

    MakeFolder("out");
    Unpack("p.pak", "out/");
    EXPECT_EQ(ReadFile("out/binary.bin"), binary);
    EXPECT_EQ(ReadFile("out/zeros.bin"), zeros);
    ASSERT_TRUE(FileExists("out/empty.bin"));
    EXPECT_EQ(fs::file_size("out/empty.bin"), 0u);

    Extract("p.pak", "empty.bin", "again.bin");
    ASSERT_TRUE(FileExists("again.bin"));
    EXPECT_EQ(fs::file_size("again.bin"), 0u);
    EXPECT_EQ(TakeError(), "");
}

// Entries that start and end at every kind of place in the package's read
// buffer, and sizes on both sides of its length, come out whole.
TEST_F(PackageTest, EntriesAcrossReadBufferEdgesRoundTrip) {
    std::vector<Bytes> entries;
    std::vector<Bytes> contents;
    std::uint32_t seed = 1;
    for (const std::size_t size : {1u, 4095u, 65535u, 65536u, 65537u, 30000u, 40000u, 7u, 65525u, 131072u,
                                   262143u, 262144u, 262145u, 200000u, 70000u, 3u}) {
        Bytes content(size);
        for (std::uint8_t& byte : content) byte = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
        entries.push_back(Entry("e" + std::to_string(contents.size()), content));
        contents.push_back(std::move(content));
    }
    WriteFile("p.pak", Package(static_cast<std::uint32_t>(entries.size()), entries));
    MakeFolder("out");
    Unpack("p.pak", "out/");
    for (std::size_t i = 0; i < contents.size(); ++i) {
        const std::string name = "e" + std::to_string(i);
        EXPECT_EQ(ReadFile("out/" + name), contents[i]) << name;
        const auto found = FindEntry("p.pak", name);
        ASSERT_TRUE(found) << name;
        EXPECT_EQ(BytesOf(*found), contents[i]) << name;
    }
    EXPECT_EQ(TakeError(), "");
}

// ---- The exports, loaded as an application loads them ----

class PackageExports : public PackageTest {
protected:
    void SetUp() override {
        PackageTest::SetUp();
        library_ = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (library_) dlclose(library_);
        PackageTest::TearDown();
    }
    template <typename F>
    F Get(const char* name) {
        auto function = reinterpret_cast<F>(dlsym(library_, name));
        EXPECT_NE(function, nullptr) << name;
        return function;
    }
    std::string LibraryError() {
        char* text = nullptr;
        const bool had = Get<decltype(&qGetLastError)>("qGetLastError")(&text) != 0;
        std::string message = text ? text : "";
        std::free(text);
        return had ? message : std::string();
    }

    void* library_ = nullptr;
};

TEST_F(PackageExports, ContentFillsTheCallersArrayAndKeepsItForANonPackage) {
    auto create = Get<decltype(&qCreatePackege)>("qCreatePackege");
    auto content = Get<decltype(&qContent)>("qContent");
    WriteFile("a.txt", "abc");
    WriteFile("b.bin", Bytes{});
    const char* const files[] = {"a.txt", "b.bin"};
    create("p.pak", files, 2);

    TArrayString names{nullptr, 0};
    ASSERT_EQ(content("p.pak", &names), 2);
    ASSERT_EQ(names.count, 2);
    EXPECT_STREQ(names.items[0], "a.txt");
    EXPECT_STREQ(names.items[1], "b.bin");
    char** kept = names.items;

    EXPECT_EQ(content("missing.pak", &names), 0);
    EXPECT_EQ(names.items, kept);
    EXPECT_EQ(names.count, 2);
    EXPECT_NE(LibraryError().find("missing.pak"), std::string::npos);

    create("empty.pak", nullptr, 0);
    EXPECT_EQ(content("empty.pak", &names), 0);
    EXPECT_EQ(names.count, 0);
    EXPECT_EQ(names.items, nullptr);
}

TEST_F(PackageExports, WriteErrorsReachTheLastErrorInsteadOfEndingTheProcess) {
    auto create = Get<decltype(&qCreatePackege)>("qCreatePackege");
    auto extract = Get<decltype(&qExtract)>("qExtract");
    auto unpack = Get<decltype(&qUnpack)>("qUnpack");
    WriteFile("a.txt", "abc");
    const char* const files[] = {"a.txt"};
    create("/dev/full", files, 1);
    EXPECT_NE(LibraryError().find("/dev/full"), std::string::npos);
    create("p.pak", files, 1);
    extract("p.pak", "a.txt", "/dev/full");
    EXPECT_NE(LibraryError().find("/dev/full"), std::string::npos);
    // Unpacking past the file size limit.
    WriteFile("big.pak", Package(1, {Entry("big", Bytes(8192, 'b'))}));
    {
        const FileSizeLimit limit(4096);
        unpack("big.pak", "");
    }
    EXPECT_NE(LibraryError().find("Cannot write 1 file: \"big\""), std::string::npos);
    extract(nullptr, nullptr, nullptr);
    unpack(nullptr, nullptr);
    create(nullptr, nullptr, 3);
    EXPECT_NE(LibraryError(), "");
}

} // namespace
} // namespace quelt
