#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "QLogger.h"
#include "QUtils.h"
#include "FakePlatform.h"
#include "TestFiles.h"

namespace quelt {
namespace {

using test::FileExists;
using test::ReadFile;
using test::WriteFile;

std::string Contents(const std::string& path) {
    const test::Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::remove("log.txt");
        std::remove("other.txt");
        std::remove("kept.txt");
        SetLog("log.txt");
        std::remove("log.txt");
        TimeLog(true);
    }
};

TEST_F(LoggerTest, NothingIsCreatedUntilTheApplicationAsks) {
    Log("lost");
    EXPECT_FALSE(FileExists("log.txt"));
    AddToLog("other.txt", "lost too");
    EXPECT_FALSE(FileExists("other.txt"));
}

TEST_F(LoggerTest, TimeStampedLinesEndWithCrLf) {
    ClearLog();
    Log("ready");
    TimeLog(false);
    Log("");
    Log("plain");
    const std::string text = Contents("log.txt");
    EXPECT_TRUE(std::regex_match(text, std::regex("\\[(0|-?[1-9][0-9]*)\\] ready\r\n\r\nplain\r\n"))) << text;
}

TEST_F(LoggerTest, StampsAreTheEngineClockInSignedMilliseconds) {
    test::FakePlatform platform;
    ClearLog();
    platform.SetMilliseconds(123456);
    Log("ready");
    // The 32-bit millisecond count has wrapped: the stamp goes negative.
    platform.SetMilliseconds((std::int64_t{1} << 32) - 5);
    Log("x");
    EXPECT_EQ(Contents("log.txt"), "[123456] ready\r\n[-5] x\r\n");
}

TEST_F(LoggerTest, SetLogKeepsAnExistingFileAndClearLogEmptiesIt) {
    WriteFile("kept.txt", std::string("old line\r\n"));
    SetLog("kept.txt");
    EXPECT_EQ(Contents("kept.txt"), "old line\r\n");
    TimeLog(false);
    Log("new");
    EXPECT_EQ(Contents("kept.txt"), "old line\r\nnew\r\n");
    ClearLog();
    EXPECT_TRUE(FileExists("kept.txt"));
    EXPECT_EQ(ReadFile("kept.txt").size(), 0u);
}

TEST_F(LoggerTest, SetLogCreatesAMissingFile) {
    SetLog("other.txt");
    EXPECT_TRUE(FileExists("other.txt"));
    EXPECT_EQ(ReadFile("other.txt").size(), 0u);
}

TEST_F(LoggerTest, CreateLogOnAnotherFileDoesNotMoveTheLog) {
    ClearLog();
    CreateLog("other.txt");
    TimeLog(false);
    Log("here");
    AddToLog("other.txt", "there");
    EXPECT_EQ(Contents("log.txt"), "here\r\n");
    EXPECT_EQ(Contents("other.txt"), "there\r\n");
}

TEST_F(LoggerTest, WriteFailureAfterOpeningIsReportedNotSwallowed) {
    EXPECT_THROW(AddToLog("/dev/full", "no room"), IoError);
}

TEST_F(LoggerTest, UnopenableFilesAreSilent) {
    EXPECT_NO_THROW(CreateLog("no/such/folder/log.txt"));
    EXPECT_NO_THROW(SetLog("no/such/folder/log.txt"));
    EXPECT_NO_THROW(Log("dropped"));
    EXPECT_FALSE(FileExists("no/such/folder/log.txt"));
}

} // namespace
} // namespace quelt
