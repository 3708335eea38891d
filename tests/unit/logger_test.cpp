// SPDX-License-Identifier: Zlib
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
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
    // A file size limit stands in for a full disk: the write fails with EFBIG.
    WriteFile("kept.txt", std::string());
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 4;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(AddToLog("kept.txt", "no room for this"), IoError);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
}

// Opening a FIFO for writing waits for a reader, and a reader could then be
// fed the log: neither may happen, whichever call meets it.
TEST_F(LoggerTest, WhatIsNotARegularFileIsRefusedWithoutWaiting) {
    const struct {
        const char* what;
        std::function<void()> call;
        const char* path;
    } cases[] = {
        {"qSetLog", [] { SetLog("fifo"); }, "fifo"},
        {"qCreateLog", [] { CreateLog("fifo"); }, "fifo"},
        {"qAddToLog", [] { AddToLog("fifo", "line"); }, "fifo"},
        {"qLog to the default log.txt",
         [] {
             SetLog("log.txt");
             std::remove("log.txt");
             mkfifo("log.txt", 0600);
             Log("line");
         },
         "log.txt"},
        {"qClearLog", [] { ClearLog(); }, "log.txt"},
        {"a folder", [] { SetLog("folder"); }, "folder"},
    };
    std::remove("fifo");
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    mkdir("folder", 0700);
    for (bool withReader : {false, true}) {
        const int reader = withReader ? open("fifo", O_RDONLY | O_NONBLOCK) : -1;
        for (const auto& c : cases) {
            std::string reason;
            TakeLastError(reason);
            c.call();
            ASSERT_TRUE(TakeLastError(reason)) << c.what;
            EXPECT_EQ(reason, "Cannot open log \"" + std::string(c.path) + "\": not a regular file") << c.what;
        }
        if (reader >= 0) {
            char byte;
            EXPECT_LE(read(reader, &byte, 1), 0) << "the reader was fed the log";
            close(reader);
        }
    }
    std::remove("fifo");
    std::remove("log.txt");
    rmdir("folder");
}

TEST_F(LoggerTest, UnopenableFilesAreSilent) {
    EXPECT_NO_THROW(CreateLog("no/such/folder/log.txt"));
    EXPECT_NO_THROW(SetLog("no/such/folder/log.txt"));
    EXPECT_NO_THROW(Log("dropped"));
    EXPECT_FALSE(FileExists("no/such/folder/log.txt"));
}

} // namespace
} // namespace quelt
