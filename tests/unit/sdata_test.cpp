// SPDX-License-Identifier: Zlib
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

#include "QUtils.h"
#include "SData.h"
#include "SpecialFiles.h"

namespace {

using quelt::TData;

TData Bytes(const std::vector<std::uint8_t>& bytes) {
    TData data(static_cast<std::uint32_t>(bytes.size()));
    if (!bytes.empty()) std::memcpy(data.Data(), bytes.data(), bytes.size());
    return data;
}

void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(TData, EmptyObjectIsAtEndAndReadsGiveZero) {
    TData empty;
    EXPECT_EQ(empty.Size(), 0u);
    EXPECT_EQ(empty.Data(), nullptr);
    EXPECT_TRUE(empty.AtEnd());
    EXPECT_EQ(empty.CurrentPtr(), nullptr);
    EXPECT_EQ(empty.ReadByte(), 0);
    EXPECT_EQ(empty.ReadWord(), 0);
    EXPECT_EQ(empty.ReadDWord(), 0u);
    EXPECT_EQ(empty.ReadSingle(), 0.0f);
    EXPECT_EQ(empty.ReadString(), "");
    EXPECT_EQ(empty.Skip(5), 0u);
    EXPECT_EQ(empty.Skip(-5), 0u);
    EXPECT_EQ(empty.Seek(3), 0u);

    TData sized(0);
    EXPECT_EQ(sized.Data(), nullptr);
    EXPECT_TRUE(sized.AtEnd());
}

TEST(TData, TypedReadsAreLittleEndianAndAdvance) {
    TData data = Bytes({0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0xC0, 0x3F});
    EXPECT_EQ(data.ReadByte(), 0x01);
    EXPECT_EQ(data.Position(), 1u);
    EXPECT_EQ(data.ReadWord(), 0x1234);
    EXPECT_EQ(data.Position(), 3u);
    EXPECT_EQ(data.ReadDWord(), 0x12345678u);
    EXPECT_EQ(data.Position(), 7u);
    EXPECT_EQ(data.ReadSingle(), 1.5f);
    EXPECT_TRUE(data.AtEnd());
}

// The byte-order helpers every reader and writer shares; top bits set, where
// a shift of a promoted byte would go wrong.
TEST(ByteOrder, LoadsAndStoresAgreeInBothOrders) {
    struct Case {
        std::uint8_t bytes[4];
        std::uint16_t le16, be16;
        std::uint32_t le32, be32;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x00, 0x00}, 0x0000, 0x0000, 0x00000000u, 0x00000000u},
        {{0x78, 0x56, 0x34, 0x12}, 0x5678, 0x7856, 0x12345678u, 0x78563412u},
        {{0xFF, 0x80, 0x01, 0xFE}, 0x80FF, 0xFF80, 0xFE0180FFu, 0xFF8001FEu},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFF, 0xFFFF, 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(quelt::LoadLE16(c.bytes), c.le16);
        EXPECT_EQ(quelt::LoadBE16(c.bytes), c.be16);
        EXPECT_EQ(quelt::LoadLE32(c.bytes), c.le32);
        EXPECT_EQ(quelt::LoadBE32(c.bytes), c.be32);
        std::uint8_t stored[4] = {};
        quelt::StoreLE32(stored, c.le32);
        EXPECT_EQ(std::memcmp(stored, c.bytes, 4), 0);
        std::vector<std::uint8_t> appended{0xAA};
        quelt::AppendLE16(appended, c.le16);
        quelt::AppendLE32(appended, c.le32);
        EXPECT_EQ(appended, (std::vector<std::uint8_t>{0xAA, c.bytes[0], c.bytes[1], c.bytes[0], c.bytes[1], c.bytes[2],
                                                       c.bytes[3]}));
    }
    const std::uint8_t minusTwo[4] = {0x00, 0x00, 0x00, 0xC0};
    EXPECT_EQ(quelt::LoadLEFloat(minusTwo), -2.0f);
}

TEST(TData, ShortTypedReadLeavesCursorAndReturnsZero) {
    TData data = Bytes({0xAA, 0xBB, 0xCC, 0xDD, 0xEE});
    data.Seek(4);
    EXPECT_EQ(data.ReadWord(), 0);
    EXPECT_EQ(data.Position(), 4u);
    EXPECT_EQ(data.ReadDWord(), 0u);
    EXPECT_EQ(data.ReadSingle(), 0.0f);
    EXPECT_EQ(data.Position(), 4u);
    EXPECT_EQ(data.ReadByte(), 0xEE);  // the last byte is still there
    EXPECT_TRUE(data.AtEnd());
    EXPECT_EQ(data.ReadByte(), 0);
    EXPECT_EQ(data.Position(), 5u);

    data.Seek(2);  // three bytes left: a DWord does not fit, a Word does
    EXPECT_EQ(data.ReadDWord(), 0u);
    EXPECT_EQ(data.Position(), 2u);
    EXPECT_EQ(data.ReadWord(), 0xDDCC);
}

TEST(TData, ReadStringStopsAtZeroOrEnd) {
    TData data = Bytes({'a', 'b', 0, 0, 'c', 'd'});
    EXPECT_EQ(data.ReadString(), "ab");
    EXPECT_EQ(data.Position(), 3u);  // the zero is consumed
    EXPECT_EQ(data.ReadString(), "");
    EXPECT_EQ(data.Position(), 4u);
    EXPECT_EQ(data.ReadString(), "cd");  // no terminator: ends at the data's end
    EXPECT_TRUE(data.AtEnd());
    EXPECT_EQ(data.ReadString(), "");
}

TEST(TData, CurrentPtrFollowsCursorAndIsNullAtEnd) {
    TData data = Bytes({1, 2, 3});
    ASSERT_NE(data.CurrentPtr(), nullptr);
    EXPECT_EQ(data.CurrentPtr(), data.Data());
    data.Skip(2);
    ASSERT_NE(data.CurrentPtr(), nullptr);
    EXPECT_EQ(*data.CurrentPtr(), 3);
    data.Skip(1);
    EXPECT_EQ(data.CurrentPtr(), nullptr);
}

TEST(TData, SeekClampsToSize) {
    TData data = Bytes({1, 2, 3, 4});
    EXPECT_EQ(data.Seek(2), 2u);
    EXPECT_FALSE(data.AtEnd());
    EXPECT_EQ(data.Seek(4), 4u);
    EXPECT_TRUE(data.AtEnd());
    EXPECT_EQ(data.Seek(1000), 4u);
    EXPECT_EQ(data.Position(), 4u);
    EXPECT_TRUE(data.AtEnd());
    EXPECT_EQ(data.Seek(0xFFFFFFFFu), 4u);
}

TEST(TData, SkipUsesUnsignedWrappingArithmetic) {
    TData data = Bytes(std::vector<std::uint8_t>(10));
    EXPECT_EQ(data.Skip(3), 3u);
    EXPECT_EQ(data.Skip(-2), 1u);   // back, still at or above 0
    EXPECT_EQ(data.Skip(-1), 0u);
    EXPECT_EQ(data.Skip(-1), 10u);  // below 0 wraps to a huge value: clamped to Size
    EXPECT_TRUE(data.AtEnd());
    EXPECT_EQ(data.Skip(-10), 0u);
    EXPECT_EQ(data.Skip(100), 10u);
    data.Seek(5);
    EXPECT_EQ(data.Skip(INT32_MAX), 10u);
    data.Seek(5);
    EXPECT_EQ(data.Skip(INT32_MIN), 10u);
    data.Seek(5);
    EXPECT_EQ(data.Skip(0), 5u);
}

TEST(TData, LoadsWholeFile) {
    std::string content("head\0tail\xFF", 10);
    WriteFile("whole.bin", content);
    TData data("whole.bin");
    ASSERT_EQ(data.Size(), content.size());
    EXPECT_EQ(data.Position(), 0u);
    EXPECT_EQ(std::memcmp(data.Data(), content.data(), content.size()), 0);
    EXPECT_EQ(data.ReadString(), "head");
    EXPECT_EQ(data.ReadString(), "tail\xFF");
}

TEST(TData, MissingEmptyOrFolderGivesEmptyObject) {
    EXPECT_TRUE(TData("no-such-file.bin").AtEnd());
    EXPECT_EQ(TData("no-such-file.bin").Size(), 0u);
    WriteFile("empty.bin", "");
    TData empty("empty.bin");
    EXPECT_TRUE(empty.AtEnd());
    EXPECT_EQ(empty.Data(), nullptr);
    std::filesystem::create_directory("a-folder");
    TData folder("a-folder");
    EXPECT_TRUE(folder.AtEnd());
    EXPECT_EQ(folder.Size(), 0u);
}

TEST(TData, EndlessDevicesAndFifosAreRefusedWithoutBlocking) {
    const quelt::test::SpecialFiles special;
    ASSERT_FALSE(special.EndlessOrWaiting().empty());
    std::filesystem::create_directory("a-folder");
    using Outcome = quelt::FileBytes::Outcome;
    std::vector<std::string> names = special.EndlessOrWaiting();
    names.push_back("a-folder");
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(quelt::ReadRegularFile(name, 1u << 20).outcome, Outcome::NotRegular);
        TData data(name);
        EXPECT_TRUE(data.AtEnd());
        EXPECT_EQ(data.Size(), 0u);
    }
}

TEST(TData, FilesLargerThanTheCallersBoundAreNotRead) {
    using Outcome = quelt::FileBytes::Outcome;
    WriteFile("ten.bin", "0123456789");
    EXPECT_EQ(quelt::ReadRegularFile("ten.bin", 9).outcome, Outcome::TooLarge);
    EXPECT_EQ(quelt::ReadRegularFile("ten.bin", 10).bytes.size(), 10u);
    const quelt::FileBytes missing = quelt::ReadRegularFile("no-such-file.bin", 100);
    EXPECT_EQ(missing.outcome, Outcome::NotOpened);
    EXPECT_EQ(missing.openError, ENOENT);
    // A sparse file of 4 GiB takes no space but must still be refused by its size.
    WriteFile("huge.bin", "");
    std::filesystem::resize_file("huge.bin", std::uintmax_t{1} << 32);
    EXPECT_THROW(TData("huge.bin"), quelt::IoError);
    std::filesystem::remove("huge.bin");
}

TEST(TData, SaveToFileWritesAllBytesAndRewinds) {
    TData data = Bytes({'x', 0, 'y', 0xFE});
    data.Seek(3);
    WriteFile("saved.bin", "much longer old content");
    ASSERT_TRUE(data.SaveToFile("saved.bin"));
    EXPECT_EQ(data.Position(), 0u);
    EXPECT_EQ(ReadFile("saved.bin"), std::string("x\0y\xFE", 4));

    TData empty;
    ASSERT_TRUE(empty.SaveToFile("saved-empty.bin"));
    EXPECT_EQ(ReadFile("saved-empty.bin"), "");

    TData reloaded("saved.bin");
    EXPECT_EQ(reloaded.Size(), 4u);
}

TEST(TData, SaveToFileThatCannotBeCreatedReturnsQuietly) {
    TData data = Bytes({1, 2});
    data.Seek(1);
    EXPECT_FALSE(data.SaveToFile("no-such-folder/out.bin"));
    EXPECT_EQ(data.Position(), 1u);  // nothing happened
}

TEST(TData, WriteFailureAfterCreateThrowsIoError) {
    const std::string full = quelt::test::FullDevice();
    if (full.empty()) GTEST_SKIP() << "no device that is always full";
    TData data(1 << 16);
    EXPECT_THROW(data.SaveToFile(full), quelt::IoError);
}

} // namespace
