// SPDX-License-Identifier: Zlib
// BMP and TGA files are built byte by byte here, so every expectation comes
// from the file layout rather than from the readers themselves.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include "QTexture.h"
#include "QUtils.h"
#include "SData.h"
#include "TBmpLoader.h"
#include "TestFiles.h"
#include "TPixelOrder.h"
#include "TTextureLib.h"
#include "TTgaLoader.h"
#include <quelt/quelt.h>

namespace {

using quelt::LoadBmp;
using quelt::LoadTga;
using quelt::TData;
using quelt::TTexture;
using Bytes = std::vector<std::uint8_t>;

// Fresh allocations come filled with non-zero bytes, so a reader that leaves
// part of an image unwritten cannot pass the "rest is zero" checks by luck.
const int kPerturbMalloc = mallopt(M_PERTURB, 0x5A);

// An image as the readers should produce it: top row first, RGB(A) bytes.
struct Image {
    int width = 0;
    int height = 0;
    int components = 0;
    Bytes pixels;
    const std::uint8_t* Pixel(int x, int y) const { return &pixels[(std::size_t(y) * width + x) * components]; }
};

Image RandomImage(int width, int height, int components, unsigned seed) {
    std::mt19937 random(seed);
    Image image{width, height, components, Bytes(std::size_t(width) * height * components)};
    for (auto& b : image.pixels) b = static_cast<std::uint8_t>(random());
    return image;
}

void Put16(Bytes& out, std::size_t at, std::uint16_t v) {
    out[at] = v & 0xFF;
    out[at + 1] = v >> 8;
}

void Put32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = (v >> (8 * i)) & 0xFF;
}

TData Data(const Bytes& bytes) {
    TData data(static_cast<std::uint32_t>(bytes.size()));
    if (!bytes.empty()) std::memcpy(data.Data(), bytes.data(), bytes.size());
    return data;
}

struct BmpHeader {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint16_t signature = 0x4D42;
    std::uint32_t infoSize = 40;
    std::uint16_t planes = 1;
    std::uint32_t dataOffset = 54;
};

Bytes BmpHeaderBytes(const BmpHeader& h) {
    Bytes out(54, 0);
    Put16(out, 0, h.signature);
    Put32(out, 10, h.dataOffset);
    Put32(out, 14, h.infoSize);
    Put32(out, 18, static_cast<std::uint32_t>(h.width));
    Put32(out, 22, static_cast<std::uint32_t>(h.height));
    Put16(out, 26, h.planes);
    Put16(out, 28, h.bits);
    Put32(out, 30, h.compression);
    return out;
}

// Rows bottom to top, BGR(A), 24-bit rows padded to 4 bytes with 0xEE so a
// reader that takes padding for pixels shows it.
Bytes Bmp(const Image& image) {
    BmpHeader header;
    header.width = image.width;
    header.height = image.height;
    header.bits = static_cast<std::uint16_t>(image.components * 8);
    Bytes out = BmpHeaderBytes(header);
    for (int y = image.height - 1; y >= 0; --y) {
        std::size_t rowStart = out.size();
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.Pixel(x, y);
            out.insert(out.end(), {p[2], p[1], p[0]});
            if (image.components == 4) out.push_back(p[3]);
        }
        while ((out.size() - rowStart) % 4 != 0) out.push_back(0xEE);
    }
    return out;
}

void ExpectImage(const TTexture* texture, const Image& expected) {
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Width(), expected.width);
    EXPECT_EQ(texture->Height(), expected.height);
    EXPECT_EQ(texture->Components(), expected.components);
    ASSERT_EQ(texture->PixelBytes(), expected.pixels.size());
    if (!expected.pixels.empty()) {
        EXPECT_EQ(Bytes(texture->Pixels(), texture->Pixels() + texture->PixelBytes()), expected.pixels);
    }
}

std::unique_ptr<TTexture> DecodeBmp(const Bytes& file) {
    TData data = Data(file);
    return LoadBmp(data);
}

std::unique_ptr<TTexture> DecodeTga(const Bytes& file) {
    TData data = Data(file);
    return LoadTga(data);
}

// ---- TTexture ----

TEST(TTexture, FormatFollowsComponents) {
    EXPECT_EQ(TTexture(1, 1, 1).Format(), 0x1906u);
    EXPECT_EQ(TTexture(1, 1, 3).Format(), 0x1907u);
    EXPECT_EQ(TTexture(1, 1, 4).Format(), 0x1908u);
    EXPECT_EQ(TTexture(1, 1, 2).Format(), 0xFFFFFFFFu);
    EXPECT_EQ(TTexture(1, 1, 0).Format(), 0xFFFFFFFFu);
    TTexture texture(3, 2, 4);
    EXPECT_EQ(texture.PixelBytes(), 24u);
    EXPECT_EQ(texture.RowBytes(), 12u);
    EXPECT_THROW(TTexture(-1, 2, 3), std::invalid_argument);
}

// ---- BMP ----

TEST(BmpReader, Decodes24BitRowsWithPaddingForWidthsOneToFive) {
    for (int width = 1; width <= 5; ++width) {
        SCOPED_TRACE(width);
        const Image image = RandomImage(width, 3, 3, 10 + width);
        const Bytes file = Bmp(image);
        TData data = Data(file);
        const auto texture = LoadBmp(data);
        ExpectImage(texture.get(), image);
        const std::uint32_t stride = (width * 3 + 3) / 4 * 4;
        EXPECT_EQ(data.Position(), 54 + 3 * stride);  // padding consumed row by row
    }
}

TEST(BmpReader, Decodes32BitWithAlphaAndNoPadding) {
    const Image image = RandomImage(3, 4, 4, 7);
    TData data = Data(Bmp(image));
    const auto texture = LoadBmp(data);
    ExpectImage(texture.get(), image);
    EXPECT_EQ(texture->Format(), 0x1908u);
    EXPECT_EQ(data.Position(), 54u + 3 * 4 * 4);
}

TEST(BmpReader, KnownPixelBytesLandTopRowFirstInRgbOrder) {
    BmpHeader header;
    header.width = 1;
    header.height = 2;
    Bytes file = BmpHeaderBytes(header);
    // Stored bottom row first: blue, green, red, pad.
    file.insert(file.end(), {0x01, 0x02, 0x03, 0x00, 0x11, 0x12, 0x13, 0x00});
    const auto texture = DecodeBmp(file);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(Bytes(texture->Pixels(), texture->Pixels() + 6), (Bytes{0x13, 0x12, 0x11, 0x03, 0x02, 0x01}));
}

TEST(BmpReader, PixelDataOffsetIsHonouredWhenItLiesInsideTheFile) {
    const Image image = RandomImage(2, 2, 3, 3);
    const Bytes plain = Bmp(image);
    Bytes gap(plain.begin(), plain.begin() + 54);
    gap.insert(gap.end(), 6, 0x55);  // bytes between the headers and the pixels
    gap.insert(gap.end(), plain.begin() + 54, plain.end());
    // {offset field, file}: a usable offset is followed, anything else means 54.
    const std::pair<std::uint32_t, Bytes> cases[] = {
        {60, gap}, {54, plain}, {0, plain}, {20, plain}, {0xFFFFFFFF, plain},
        {static_cast<std::uint32_t>(plain.size()), plain}};
    for (auto [offset, file] : cases) {
        Put32(file, 10, offset);
        ExpectImage(DecodeBmp(file).get(), image);
    }
}

TEST(BmpReader, TopDownFilesKeepTheirRowOrder) {
    const Image image = RandomImage(3, 4, 3, 8);
    Bytes file = Bmp(image);
    Put32(file, 22, static_cast<std::uint32_t>(-4));
    const std::size_t stride = 12;
    Bytes flipped(file.begin(), file.begin() + 54);
    for (int r = 3; r >= 0; --r) flipped.insert(flipped.end(), file.begin() + 54 + r * stride, file.begin() + 54 + (r + 1) * stride);
    ExpectImage(DecodeBmp(flipped).get(), image);
}

TEST(BmpReader, RejectsHeadersOutsideTheListedValues) {
    auto reject = [](BmpHeader header, const char* why) {
        Bytes file = BmpHeaderBytes(header);
        file.resize(file.size() + 64, 0x40);
        EXPECT_EQ(DecodeBmp(file), nullptr) << why;
    };
    BmpHeader h;
    h.signature = 0x4D41;     reject(h, "signature");
    h = {}; h.infoSize = 12;  reject(h, "core header");
    h = {}; h.infoSize = 64;  reject(h, "OS/2 header");
    h = {}; h.planes = 0;     reject(h, "planes 0");
    h = {}; h.planes = 2;     reject(h, "planes 2");
    h = {}; h.bits = 16;      reject(h, "16-bit");
    h = {}; h.bits = 0;       reject(h, "0 bits");
    h = {}; h.bits = 32; h.compression = 3; reject(h, "bit fields other than the byte order");
    h = {}; h.bits = 24; h.compression = 3; reject(h, "24-bit bit fields");
    h = {}; h.bits = 8;       reject(h, "palette past the end");
    h = {}; h.compression = 4; reject(h, "jpeg");
}

TEST(BmpReader, RunLengthStaysRefused) {
    for (std::uint32_t compression : {1u, 2u}) {
        for (std::uint16_t bits : {4, 8, 24, 32}) {
            BmpHeader h;
            h.bits = bits;
            h.compression = compression;
            Bytes file = BmpHeaderBytes(h);
            file.resize(file.size() + 1100, 0);
            EXPECT_EQ(DecodeBmp(file), nullptr) << "compression " << compression << ", " << bits << " bits";
        }
    }
}

TEST(BmpReader, PaletteIndicesPastThePaletteAreBlack) {
    BmpHeader h;
    h.width = 3;
    h.bits = 4;
    h.dataOffset = 54 + 8;
    Bytes file = BmpHeaderBytes(h);
    Put32(file, 46, 2);  // two colours
    file.insert(file.end(), {10, 20, 30, 0, 40, 50, 60, 0, 0x10, 0xF0, 0, 0});
    ExpectImage(DecodeBmp(file).get(), Image{3, 1, 3, {60, 50, 40, 30, 20, 10, 0, 0, 0}});
}

TEST(BmpReader, RejectsShortHeadersNegativeSizesAndHugeClaims) {
    Bytes file = Bmp(RandomImage(2, 2, 3, 4));
    EXPECT_EQ(DecodeBmp(Bytes(file.begin(), file.begin() + 53)), nullptr);
    EXPECT_EQ(DecodeBmp(Bytes(file.begin(), file.begin() + 20)), nullptr);
    EXPECT_EQ(DecodeBmp(Bytes{}), nullptr);

    for (auto [w, h] : {std::pair{-2, 2}, {INT32_MIN, 1}, {1, INT32_MIN}}) {
        BmpHeader header;
        header.width = w;
        header.height = h;
        Bytes bytes = BmpHeaderBytes(header);
        bytes.resize(bytes.size() + 64, 1);
        EXPECT_EQ(DecodeBmp(bytes), nullptr) << w << " x " << h;
    }
    // Width x height x 4 overflows 32 and nearly 64 bits: rejected before allocating.
    BmpHeader huge;
    huge.width = INT32_MAX;
    huge.height = INT32_MAX;
    huge.bits = 32;
    EXPECT_EQ(DecodeBmp(BmpHeaderBytes(huge)), nullptr);
    huge.width = 65536;
    huge.height = 65536;
    EXPECT_EQ(DecodeBmp(BmpHeaderBytes(huge)), nullptr);
}

TEST(BmpReader, ZeroSizedImageDecodesToNoPixels) {
    BmpHeader h;
    h.width = 0;
    h.height = 7;
    const auto texture = DecodeBmp(BmpHeaderBytes(h));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->PixelBytes(), 0u);
}

TEST(BmpReader, TruncatedDataKeepsCompletePixelsAndZeroesTheRest) {
    const Image image = RandomImage(3, 3, 3, 5);  // stride 12
    Bytes file = Bmp(image);
    // Keep the bottom row whole and two bytes of the middle row's first pixel.
    file.resize(54 + 12 + 2);
    TData data = Data(file);
    const auto texture = LoadBmp(data);
    ASSERT_NE(texture, nullptr);
    Image expected = image;
    std::fill(expected.pixels.begin(), expected.pixels.begin() + 2 * 9, 0);  // top two rows
    ExpectImage(texture.get(), expected);
    EXPECT_LE(data.Position(), data.Size());

    file.resize(54);  // headers only
    const auto blank = DecodeBmp(file);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(Bytes(blank->Pixels(), blank->Pixels() + blank->PixelBytes()), Bytes(27, 0));
}

TEST(BmpReader, MissingPaddingOnLastRowStillDecodesEverything) {
    const Image image = RandomImage(1, 2, 3, 6);
    Bytes file = Bmp(image);
    file.pop_back();  // some writers drop the final row's padding
    ExpectImage(DecodeBmp(file).get(), image);
}

// ---- TGA ----

struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t type = 2;
    std::uint16_t width = 1;
    std::uint16_t height = 1;
    std::uint8_t depth = 32;
    std::uint8_t descriptor = 0x08;
};

Bytes TgaHeaderBytes(const TgaHeader& h) {
    Bytes out(18, 0);
    out[0] = h.idLength;
    out[1] = 0;
    out[2] = h.type;
    Put16(out, 12, h.width);
    Put16(out, 14, h.height);
    out[16] = h.depth;
    out[17] = h.descriptor;
    out.resize(18 + h.idLength, 0x77);
    return out;
}

void AppendBgra(Bytes& out, const std::uint8_t* rgba) { out.insert(out.end(), {rgba[2], rgba[1], rgba[0], rgba[3]}); }

// The image's pixels in the order the file stores them.
std::vector<const std::uint8_t*> FileOrder(const Image& image, bool topToBottom) {
    std::vector<const std::uint8_t*> order;
    for (int r = 0; r < image.height; ++r) {
        const int y = topToBottom ? r : image.height - 1 - r;
        for (int x = 0; x < image.width; ++x) order.push_back(image.Pixel(x, y));
    }
    return order;
}

Bytes PlainTga(const Image& image, std::uint8_t descriptor, std::uint8_t type = 2, std::uint8_t idLength = 0) {
    TgaHeader h;
    h.type = type;
    h.width = static_cast<std::uint16_t>(image.width);
    h.height = static_cast<std::uint16_t>(image.height);
    h.descriptor = descriptor;
    h.idLength = idLength;
    Bytes out = TgaHeaderBytes(h);
    for (const std::uint8_t* p : FileOrder(image, descriptor & 0x20)) AppendBgra(out, p);
    return out;
}

TEST(TgaReader, BothRowOrdersDecodeToIdenticalPixels) {
    const Image image = RandomImage(5, 4, 4, 20);
    const auto bottomUp = DecodeTga(PlainTga(image, 0x08));
    const auto topDown = DecodeTga(PlainTga(image, 0x28));
    ExpectImage(bottomUp.get(), image);
    ExpectImage(topDown.get(), image);
    // The two files differ in byte order, not in what they hold.
    EXPECT_NE(PlainTga(image, 0x08), PlainTga(image, 0x28));
}

TEST(TgaReader, RightToLeftColumnsAreMirrored) {
    const Image image = RandomImage(5, 3, 4, 22);
    for (std::uint8_t descriptor : {0x08, 0x28}) {
        Bytes file = PlainTga(image, descriptor);
        for (std::size_t row = 0; row < 3; ++row) {  // store each row's pixels in reverse
            auto* first = reinterpret_cast<std::array<std::uint8_t, 4>*>(&file[18 + row * 20]);
            std::reverse(first, first + 5);
        }
        file[17] |= 0x10;
        ExpectImage(DecodeTga(file).get(), image);
        file[2] = 10;  // the same pixels as one run-length packet
        file.insert(file.begin() + 18, 14);
        ExpectImage(DecodeTga(file).get(), image);
    }
}

TEST(TgaReader, KnownBytesSwapToRgba) {
    TgaHeader h;
    h.width = 2;
    h.descriptor = 0x28;
    Bytes file = TgaHeaderBytes(h);
    file.insert(file.end(), {0x10, 0x20, 0x30, 0x40, 0xA1, 0xB2, 0xC3, 0xD4});
    const auto texture = DecodeTga(file);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Format(), 0x1908u);
    EXPECT_EQ(Bytes(texture->Pixels(), texture->Pixels() + 8),
              (Bytes{0x30, 0x20, 0x10, 0x40, 0xC3, 0xB2, 0xA1, 0xD4}));
}

TEST(TgaReader, AllSixTypesAcceptedAndTheIdFieldSkipped) {
    const Image image = RandomImage(3, 2, 4, 21);
    for (std::uint8_t type : {1, 2, 3}) ExpectImage(DecodeTga(PlainTga(image, 0x08, type, 9)).get(), image);
    // A run-length file whose packets are all raw single pixels.
    for (std::uint8_t type : {9, 10, 11}) {
        TgaHeader h;
        h.type = type;
        h.width = 3;
        h.height = 2;
        h.idLength = 4;
        Bytes file = TgaHeaderBytes(h);
        for (const std::uint8_t* p : FileOrder(image, false)) {
            file.push_back(0x00);
            AppendBgra(file, p);
        }
        ExpectImage(DecodeTga(file).get(), image);
    }
}

TEST(TgaReader, RejectsOtherTypesAndDepths) {
    for (std::uint8_t type : {0, 4, 8, 12, 32, 255}) {
        TgaHeader h;
        h.type = type;
        Bytes file = TgaHeaderBytes(h);
        file.resize(file.size() + 8, 1);
        EXPECT_EQ(DecodeTga(file), nullptr) << int(type);
    }
    // {type, depth}: 24 bits only as true colour, 8 bits only as grey.
    for (auto [type, depth] : {std::pair<std::uint8_t, std::uint8_t>{2, 0}, {2, 8}, {2, 15}, {2, 16}, {2, 31},
                               {2, 33}, {2, 64}, {1, 8}, {9, 8}, {1, 24}, {3, 24}, {11, 24}, {3, 16}}) {
        TgaHeader h;
        h.type = type;
        h.depth = depth;
        Bytes file = TgaHeaderBytes(h);
        file.resize(file.size() + 8, 1);
        EXPECT_EQ(DecodeTga(file), nullptr) << int(type) << ", " << int(depth);
    }
}

// Builds a run-length file from packets and the pixels they stand for, of
// the header's depth: 32, 24 (alpha 255) or 8 (grey, red taken as it).
struct RunLengthFile {
    Bytes bytes;
    std::vector<std::array<std::uint8_t, 4>> pixels;  // RGBA, file order
    std::uint8_t depth;

    explicit RunLengthFile(const TgaHeader& header) : bytes(TgaHeaderBytes(header)), depth(header.depth) {}
    // Appends one stored pixel; returns it decoded.
    std::array<std::uint8_t, 4> Store(std::array<std::uint8_t, 4> rgba) {
        if (depth == 8) {
            bytes.push_back(rgba[0]);
            return {rgba[0], rgba[0], rgba[0], 255};
        }
        AppendBgra(bytes, rgba.data());
        if (depth == 32) return rgba;
        bytes.pop_back();
        return {rgba[0], rgba[1], rgba[2], 255};
    }
    void Run(std::uint8_t header, std::array<std::uint8_t, 4> rgba) {
        bytes.push_back(header);
        const auto decoded = Store(rgba);
        for (int i = 0; i < (header & 0x7F) + 1; ++i) pixels.push_back(decoded);
    }
    void Raw(std::uint8_t header, std::mt19937& random) {
        bytes.push_back(header);
        for (int i = 0; i < (header & 0x7F) + 1; ++i) {
            std::array<std::uint8_t, 4> p{};
            for (auto& b : p) b = static_cast<std::uint8_t>(random());
            pixels.push_back(Store(p));
        }
    }
    // Packets of every length, runs and stored pixels mixed, up to `total` pixels.
    void Mixed(std::size_t total, std::mt19937& random) {
        while (pixels.size() < total) {
            const auto header = static_cast<std::uint8_t>(random() % 2 ? random() % 9 : random() % 128);
            if (random() % 2)
                Raw(header, random);
            else
                Run(header | 0x80, {std::uint8_t(random()), std::uint8_t(random()), 7, 200});
        }
    }
    // The expected decoded image, placing file-order pixels by row order.
    Image Expected(int width, int height, bool topToBottom) const {
        Image image{width, height, 4, Bytes(std::size_t(width) * height * 4, 0)};
        for (std::size_t k = 0; k < pixels.size() && k < std::size_t(width) * height; ++k) {
            const int fileRow = static_cast<int>(k / width);
            const int y = topToBottom ? fileRow : height - 1 - fileRow;
            std::memcpy(&image.pixels[(std::size_t(y) * width + k % width) * 4], pixels[k].data(), 4);
        }
        return image;
    }
};

TEST(TgaReader, PacketHeadersAtTheirLimitsAndPacketsAcrossRows) {
    // 100 x 3 = 300 pixels: 1 + 128 + 1 + 128 + 2 + 40, several packets crossing rows.
    for (std::uint8_t descriptor : {0x08, 0x28}) {
        SCOPED_TRACE(int(descriptor));
        TgaHeader h;
        h.type = 10;
        h.width = 100;
        h.height = 3;
        h.descriptor = descriptor;
        RunLengthFile file(h);
        std::mt19937 random(30);
        file.Run(0x80, {1, 2, 3, 4});        // one pixel
        file.Run(0xFF, {5, 6, 7, 8});        // 128 copies, into the second row
        file.Raw(0x00, random);              // one stored pixel
        file.Raw(0x7F, random);              // 128 stored pixels, into the third row
        file.Run(0x81, {9, 10, 11, 12});
        file.Run(0xA7, {13, 14, 15, 16});    // 40 copies, ends the image exactly
        ASSERT_EQ(file.pixels.size(), 300u);
        TData data = Data(file.bytes);
        const auto texture = LoadTga(data);
        ExpectImage(texture.get(), file.Expected(100, 3, descriptor & 0x20));
        EXPECT_EQ(data.Position(), file.bytes.size());
    }
}

// Many packets of every length, runs and stored pixels mixed, some across
// rows, in files long enough for the reader's whole-store loop, at each
// depth; also cut short, at every distance from the end up to 40 bytes (where
// that loop hands over to packets one by one) and at a few other places.
TEST(TgaReader, ManyPacketsOfEveryLength) {
    std::mt19937 random(31);
    struct Case {
        std::uint8_t type, depth, descriptor;
    };
    const Case kCases[] = {{10, 32, 0x08}, {10, 32, 0x28}, {10, 24, 0x08}, {10, 24, 0x28}, {11, 8, 0x28}};
    for (const auto& [type, depth, descriptor] : kCases) {
        TgaHeader h;
        h.type = type;
        h.depth = depth;
        h.width = 61;
        h.height = 40;
        h.descriptor = descriptor;
        RunLengthFile file(h);
        file.Mixed(61u * 40, random);
        std::vector<std::size_t> cuts{0, 700, file.bytes.size() / 2};
        for (std::size_t cut = 1; cut <= 40; ++cut) cuts.push_back(cut);
        for (std::size_t cut : cuts) {
            SCOPED_TRACE(std::to_string(depth) + " bits, " + std::to_string(descriptor) + " less " +
                         std::to_string(cut));
            RunLengthFile shorter = file;
            shorter.bytes.resize(file.bytes.size() - cut);
            const Image whole = file.Expected(61, 40, descriptor & 0x20);
            TData data = Data(shorter.bytes);
            const auto texture = LoadTga(data);
            ASSERT_NE(texture, nullptr);
            if (cut == 0) ExpectImage(texture.get(), whole);
            // The slower pixel paths, without the loop of whole stores, give the same bytes and stop at
            // the same place.
            for (int path = 0; path < static_cast<int>(quelt::BestPixelPath()); ++path) {
                quelt::LimitPixelPath(static_cast<quelt::PixelPath>(path));
                TData again = Data(shorter.bytes);
                const auto slower = LoadTga(again);
                quelt::LimitPixelPath(quelt::PixelPath::kAvx2);
                ASSERT_NE(slower, nullptr);
                EXPECT_EQ(std::memcmp(slower->Pixels(), texture->Pixels(), texture->PixelBytes()), 0) << "path " << path;
                EXPECT_EQ(again.Position(), data.Position()) << "path " << path;
            }
            // A cut file keeps a prefix of the pixels in file order, the rest black.
            const Bytes got(texture->Pixels(), texture->Pixels() + texture->PixelBytes());
            std::size_t kept = 0;
            for (; kept < file.pixels.size() && kept < 61u * 40; ++kept) {
                const std::size_t row = kept / 61, y = descriptor & 0x20 ? row : 39 - row;
                if (std::memcmp(&got[(y * 61 + kept % 61) * 4], file.pixels[kept].data(), 4) != 0) break;
            }
            for (std::size_t k = kept; k < 61u * 40; ++k) {
                const std::size_t row = k / 61, y = descriptor & 0x20 ? row : 39 - row;
                const std::uint8_t* at = &got[(y * 61 + k % 61) * 4];
                ASSERT_TRUE(at[0] == 0 && at[1] == 0 && at[2] == 0 && at[3] == 0) << "pixel " << k;
            }
            // The last packets cut: at most 2 stored pixels in 9 bytes, else a whole run.
            if (cut == 9) {
                EXPECT_GE(kept + 128, 61u * 40);
            }
        }
    }
}

TEST(TgaReader, RunPastTheImageIsCutAtItsEnd) {
    TgaHeader h;
    h.type = 10;
    h.width = 2;
    h.height = 2;
    RunLengthFile file(h);
    file.Run(0xFF, {200, 100, 50, 25});  // 128 pixels for a 4-pixel image
    file.bytes.insert(file.bytes.end(), {0xFF, 1, 1, 1, 1});  // and more after it
    TData data = Data(file.bytes);
    const auto texture = LoadTga(data);
    ExpectImage(texture.get(), file.Expected(2, 2, false));
    EXPECT_EQ(data.Position(), 18u + 5);  // stops reading once the image is full

    std::mt19937 random(40);
    RunLengthFile raw(h);
    raw.Raw(0x7F, random);  // 128 stored pixels for a 4-pixel image
    ExpectImage(DecodeTga(raw.bytes).get(), raw.Expected(2, 2, false));
}

TEST(TgaReader, RunLengthStreamEndingEarlyKeepsWhatWasDecoded) {
    TgaHeader h;
    h.type = 10;
    h.width = 4;
    h.height = 2;
    std::mt19937 random(41);
    RunLengthFile file(h);
    file.Run(0x82, {9, 8, 7, 6});
    file.Raw(0x01, random);
    const Image expected = file.Expected(4, 2, false);  // 5 pixels, the rest zero

    ExpectImage(DecodeTga(file.bytes).get(), expected);  // no more packets
    Bytes header = file.bytes;
    header.push_back(0x85);  // a run header with no pixel after it
    ExpectImage(DecodeTga(header).get(), expected);
    Bytes partRun = header;
    partRun.insert(partRun.end(), {1, 2, 3});  // three of its four bytes
    ExpectImage(DecodeTga(partRun).get(), expected);
    Bytes partRaw = file.bytes;
    partRaw.insert(partRaw.end(), {0x02, 1, 2, 3, 4, 5, 6});  // raw packet: 1 whole pixel of 3
    Image withOne = expected;
    const std::uint8_t rgba[4] = {3, 2, 1, 4};
    std::memcpy(&withOne.pixels[(std::size_t(0) * 4 + 1) * 4], rgba, 4);  // pixel 5: file row 1 = image row 0
    ExpectImage(DecodeTga(partRaw).get(), withOne);
}

TEST(TgaReader, PlainDataEndingEarlyKeepsCompletePixels) {
    const Image image = RandomImage(3, 2, 4, 42);
    Bytes file = PlainTga(image, 0x28);
    file.resize(18 + 4 * 4 + 3);  // four whole pixels and part of a fifth
    Image expected = image;
    std::fill(expected.pixels.begin() + 16, expected.pixels.end(), 0);
    ExpectImage(DecodeTga(file).get(), expected);
}

TEST(TgaReader, ShortOrHostileHeaders) {
    const Bytes file = PlainTga(RandomImage(2, 2, 4, 43), 0x08);
    EXPECT_EQ(DecodeTga(Bytes(file.begin(), file.begin() + 17)), nullptr);
    EXPECT_EQ(DecodeTga(Bytes{}), nullptr);

    // The ID field runs past the end: the image decodes to zeros.
    TgaHeader h;
    h.width = 2;
    h.height = 2;
    Bytes longId = TgaHeaderBytes(h);
    longId[0] = 200;
    longId.resize(40, 0x33);
    const auto blank = DecodeTga(longId);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(Bytes(blank->Pixels(), blank->Pixels() + 16), Bytes(16, 0));

    // 65535 x 65535 claimed by a tiny file: rejected before allocating 16 GiB.
    h.width = 65535;
    h.height = 65535;
    EXPECT_EQ(DecodeTga(TgaHeaderBytes(h)), nullptr);
    h.type = 10;
    Bytes rle = TgaHeaderBytes(h);
    rle.insert(rle.end(), {0xFF, 1, 2, 3, 4});
    EXPECT_EQ(DecodeTga(rle), nullptr);

    h.width = 0;
    h.height = 7; // sides stay within the largest texture
    const auto empty = DecodeTga(TgaHeaderBytes(h));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->PixelBytes(), 0u);
}

TEST(TgaReader, DensestRunLengthFileIsNotRejected) {
    // 2048 x 2048 of 128-pixel runs: the best ratio the format allows.
    TgaHeader h;
    h.type = 10;
    h.width = 2048;
    h.height = 2048;
    Bytes file = TgaHeaderBytes(h);
    for (int i = 0; i < 2048 * 2048 / 128; ++i) file.insert(file.end(), {0xFF, 1, 2, 3, 4});
    const auto texture = DecodeTga(file);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Pixels()[0], 3);
    EXPECT_EQ(texture->Pixels()[texture->PixelBytes() - 1], 4);
}

// Images past quelt::kBypassCacheBytes take the streaming stores, with odd
// widths so rows start at every alignment.
TEST(ImageReaders, LargeImagesDecodeExactly) {
    const Image rgb = RandomImage(2051, 1400, 3, 60);
    const Image rgba = RandomImage(1031, 2100, 4, 61);
    ASSERT_GE(rgb.pixels.size(), quelt::kBypassCacheBytes);
    ASSERT_GE(rgba.pixels.size(), quelt::kBypassCacheBytes);
    ExpectImage(DecodeBmp(Bmp(rgb)).get(), rgb);
    ExpectImage(DecodeBmp(Bmp(rgba)).get(), rgba);
    ExpectImage(DecodeTga(PlainTga(rgba, 0x28)).get(), rgba);
    std::mt19937 random(62);
    for (std::uint8_t depth : {32, 24}) {
        TgaHeader h;
        h.type = 10;
        h.depth = depth;
        h.width = 2051;
        h.height = 1400;
        RunLengthFile file(h);
        file.Mixed(2051u * 1400, random);
        ExpectImage(DecodeTga(file.bytes).get(), file.Expected(2051, 1400, false));
    }
}

// ---- Files as users have them: written by ImageMagick and Pillow, each
// compared with the same program's own decode (raw RGBA bytes) ----

constexpr int kFileWidth = 37;  // odd, so 24-bit and palette rows are padded
constexpr int kFileHeight = 23;

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Pillow runs under the system interpreter, where Debian installs it.
bool Python(const std::string& script) { return Shell("/usr/bin/python3 -c '" + script + "'"); }

// The program's own decode of `name`, as RGBA bytes in name + ".rgba".
bool PillowDecode(const std::string& name) {
    return Python("from PIL import Image; open(\"" + name + ".rgba\", \"wb\").write(Image.open(\"" + name +
                  "\").convert(\"RGBA\").tobytes())");
}
bool MagickDecode(const std::string& name) { return Shell("convert " + name + " -depth 8 rgba:" + name + ".rgba"); }

const char* kPillowScript = R"(
import random, struct
from PIL import Image
random.seed(5)
w, h = 37, 23
def photo(mode):
    # gradients with noise, so writers keep true colour
    bands = len(mode)
    data = bytes((x * 7 + y * 11 * (c + 1) + random.randrange(24)) % 256
                 for y in range(h) for x in range(w) for c in range(bands))
    return Image.frombytes(mode, (w, h), data)
def save(image, name, **options):
    image.save(name, **options)
    back = Image.open(name)
    if back.mode in ("I", "I;16"):  # 16-bit grey: the high byte of each sample
        grey = bytes(v >> 8 for v in back.getdata())
        back = Image.frombytes("L", back.size, grey)
    open(name + ".rgba", "wb").write(back.convert("RGBA").tobytes())
rgba = photo("RGBA")
save(photo("RGB"), "pil_rgb.png")
save(rgba, "pil_rgba.png")
save(photo("L"), "pil_grey.png")
save(photo("LA"), "pil_grey_alpha.png")
save(rgba.convert("1"), "pil_bilevel.png")
save(rgba.convert("RGB").quantize(200), "pil_palette.png")
save(rgba.quantize(64), "pil_palette_alpha.png")
grey16 = Image.new("I;16", (w, h))
grey16.putdata([(x * 1789 + y * 2311 + random.randrange(300)) % 65536 for y in range(h) for x in range(w)])
save(grey16, "pil_grey16.png")
save(photo("RGB"), "pil_baseline.jpg", quality=90)
save(photo("RGB"), "pil_progressive.jpeg", progressive=True)
save(photo("L"), "pil_grey.jpg")
save(photo("CMYK"), "pil_cmyk.jpg")
save(photo("RGB"), "pil_rgb.tga")
save(photo("RGBA"), "pil_rgba_rle.tga", compression="tga_rle")
save(photo("L"), "pil_grey.tga")
save(photo("RGB"), "pil_top_down.tga", orientation=1)
save(photo("RGB"), "pil_rgb.bmp")
# A palette BMP whose offset field (54) points into its palette, as some writers leave it.
save(rgba.convert("RGB").quantize(252), "pil_offset54.bmp")
bmp = bytearray(open("pil_offset54.bmp", "rb").read())
bmp[10:14] = struct.pack("<I", 54)
open("pil_offset54.bmp", "wb").write(bmp)
# Side chunks larger inflated than the whole file: text and a colour profile.
from PIL import PngImagePlugin
text = PngImagePlugin.PngInfo()
text.add_text("Comment", "long " * 20000, zip=True)
save(photo("RGB"), "pil_ztxt.png", pnginfo=text)
save(rgba, "pil_icc.png", icc_profile=bytes(range(256)) * 50)
# The same small files claiming a million (PNG, with a valid checksum) or
# 65535 (JPEG, its largest) pixels each way.
import struct, zlib
png = open("pil_rgb.png", "rb").read()
header = b"IHDR" + struct.pack(">II", 1000000, 1000000) + png[24:29]
open("huge.png", "wb").write(png[:12] + header + struct.pack(">I", zlib.crc32(header)) + png[33:])
jpeg = bytearray(open("pil_baseline.jpg", "rb").read())
frame = jpeg.index(b"\xff\xc0")
jpeg[frame + 5:frame + 9] = struct.pack(">HH", 65535, 65535)
open("huge.jpg", "wb").write(jpeg)
)";

// {file, how ImageMagick writes it from the 24-bit or RGBA source}. The TGA
// files are compared with Pillow's decode: ImageMagick 6 stores its rows in
// the opposite order to what descriptor bit 5 says, and reads them back the
// same way, so only its round trip agrees with itself.
const std::pair<const char*, const char*> kMagickFiles[] = {
    {"im_v5.bmp", "rgb.ppm BMP:"},               // 124-byte header, pixels at 138
    {"im_v3.bmp", "rgb.ppm BMP3:"},
    {"im_alpha_v5.bmp", "rgba.png BMP:"},        // 32-bit, byte-order bit fields
    {"im_alpha_v3.bmp", "rgba.png BMP3:"},
    {"im_palette8.bmp", "rgb.ppm -colors 200 -type Palette -compress None BMP3:"},
    {"im_palette4.bmp", "rgb.ppm -colors 16 -compress None BMP3:"},
    {"im_palette1.bmp", "rgb.ppm -colors 2 -type Bilevel -compress None BMP3:"},
    {"im_palette4_v5.bmp", "rgb.ppm -colors 16 -compress None BMP:"},
    {"im_rgb.tga", "rgb.ppm "},
    {"im_rgb_rle.tga", "rgb.ppm -compress RLE "},
    {"im_rgba.tga", "rgba.png "},
    {"im_rgba_rle.tga", "rgba.png -compress RLE "},
    {"im_top_left.tga", "rgba.png -orient TopLeft "},
    {"im_grey.tga", "rgb.ppm -type Grayscale "},
    {"im_grey_rle.tga", "rgb.ppm -type Grayscale -compress RLE "},
    {"im_interlaced.png", "rgba.png -interlace PNG "},
    {"im_rgb48.png", "rgb.ppm -depth 16 PNG48:"},
};

std::string Extension(const std::string& name) { return name.substr(name.rfind('.') + 1); }

std::unique_ptr<TTexture> DecodeFile(const std::string& name, const Bytes& file) {
    TData data = Data(file);
    return quelt::DecodeImage(Extension(name), data);
}

// Where two RGBA buffers first differ, for a readable failure.
std::string FirstDifference(const Bytes& got, const Bytes& expected) {
    const auto at = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    if (at.first == got.end() && at.second == expected.end()) return "";
    const std::size_t index = std::size_t(at.first - got.begin());
    return "byte " + std::to_string(index) + " (pixel " + std::to_string(index / 4) + ") of " +
           std::to_string(got.size()) + " vs " + std::to_string(expected.size());
}

Bytes AsRgba(const TTexture& texture) {
    Bytes rgba;
    for (std::size_t i = 0; i < texture.PixelBytes(); i += texture.Components()) {
        rgba.insert(rgba.end(), texture.Pixels() + i, texture.Pixels() + i + 3);
        rgba.push_back(texture.Components() == 4 ? texture.Pixels()[i + 3] : 255);
    }
    return rgba;
}

// Decodes the file and its damaged copies: the whole file must match the
// writer's own decode; a cut or scrambled copy must not crash, and a cut
// compressed file gives nothing rather than a half-decoded picture.
void ExpectFileDecodesLikeItsWriter(const std::string& name) {
    SCOPED_TRACE(name);
    const Bytes file = quelt::test::ReadFile(name);
    const Bytes expected = quelt::test::ReadFile(name + ".rgba");
    ASSERT_FALSE(file.empty());
    ASSERT_EQ(expected.size(), std::size_t(kFileWidth) * kFileHeight * 4);
    const auto texture = DecodeFile(name, file);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Width(), kFileWidth);
    EXPECT_EQ(texture->Height(), kFileHeight);
    EXPECT_EQ(FirstDifference(AsRgba(*texture), expected), "");

    const bool compressed = Extension(name) == "png" || Extension(name)[0] == 'j';
    for (std::size_t keep : {file.size() / 2, std::size_t(30)}) {
        const auto cut = DecodeFile(name, Bytes(file.begin(), file.begin() + keep));
        if (compressed) {
            EXPECT_EQ(cut, nullptr) << keep;
        } else if (cut) {
            EXPECT_EQ(cut->Width(), kFileWidth);
        }
    }
    // Only the end marker is cut: the whole picture or nothing.
    const auto lastByteCut = DecodeFile(name, Bytes(file.begin(), file.end() - 1));
    if (lastByteCut && compressed) {
        EXPECT_EQ(FirstDifference(AsRgba(*lastByteCut), expected), "");
    }
    std::mt19937 random(1);
    for (int round = 0; round < 20; ++round) {
        Bytes scrambled = file;
        for (int i = 0; i < 4; ++i) scrambled[random() % scrambled.size()] = static_cast<std::uint8_t>(random());
        DecodeFile(name, scrambled);
    }
}

TEST(ImageFiles, WrittenByPillow) {
    if (!Python("import PIL")) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    ASSERT_TRUE(Python(kPillowScript));
    for (const char* name :
         {"pil_rgb.png",      "pil_rgba.png",          "pil_grey.png",     "pil_grey_alpha.png", "pil_bilevel.png",
          "pil_palette.png",  "pil_palette_alpha.png", "pil_grey16.png",   "pil_baseline.jpg",   "pil_progressive.jpeg",
          "pil_grey.jpg",     "pil_cmyk.jpg",          "pil_rgb.tga",      "pil_rgba_rle.tga",   "pil_grey.tga",
          "pil_top_down.tga", "pil_rgb.bmp",           "pil_offset54.bmp", "pil_ztxt.png",       "pil_icc.png"})
        ExpectFileDecodesLikeItsWriter(name);
    // Refused from the header, before terabytes or gigabytes are allocated for them.
    for (const char* name : {"huge.png", "huge.jpg"})
        EXPECT_EQ(DecodeFile(name, quelt::test::ReadFile(name)), nullptr) << name;
}

TEST(ImageFiles, WrittenByImageMagick) {
    if (!Shell("convert -version")) GTEST_SKIP() << "ImageMagick (convert) is not installed";
    const std::string size = std::to_string(kFileWidth) + "x" + std::to_string(kFileHeight);
    ASSERT_TRUE(Shell("convert -seed 3 -size " + size + " plasma:fractal -depth 8 rgb.ppm"));
    ASSERT_TRUE(Shell("convert rgb.ppm \\( -size " + size + " gradient: \\) -alpha off -compose copy_opacity "
                    "-composite rgba.png"));
    for (const auto& [name, how] : kMagickFiles) {
        ASSERT_TRUE(Shell(std::string("convert ") + how + name)) << name;
        ASSERT_TRUE(Extension(name) == "tga" ? PillowDecode(name) : MagickDecode(name)) << name;
        ExpectFileDecodesLikeItsWriter(name);
    }
    // The 12-byte header of the oldest layout stays refused.
    ASSERT_TRUE(Shell("convert rgb.ppm BMP2:im_v2.bmp"));
    EXPECT_EQ(DecodeFile("im_v2.bmp", quelt::test::ReadFile("im_v2.bmp")), nullptr);
}

// Files that cost far more than their size, each read or refused as a whole
// from its header: refusals name the file and the bound.
TEST(ImageFiles, BombsAndLargeValidFiles) {
    if (!Python("import PIL") || !Shell("cjpeg -version")) GTEST_SKIP() << "needs Pillow and cjpeg";
    ASSERT_TRUE(Python(R"(
import struct, zlib
from PIL import Image
Image.new("1", (4096, 4096)).save("blank4096.png")
png = open("blank4096.png", "rb").read()
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
def claim(side, name, padding=b""):
    header = chunk(b"IHDR", struct.pack(">II", side, side) + png[24:29])
    open(name, "wb").write(png[:8] + header + padding + png[33:])
claim(16384, "bomb16384.png", chunk(b"prIv", bytes(131072)))
claim(65535, "claim65535.png")
)"));
    for (int side : {4096, 8192}) {
        const std::string s = std::to_string(side);
        ASSERT_TRUE(Shell("{ printf \"P6 " + s + " " + s + " 255\\n\"; head -c " + std::to_string(3LL * side * side) +
                          " /dev/zero | tr \"\\000\" \"\\200\"; } | cjpeg -arithmetic -outfile flat" + s + ".jpg"));
    }
    struct Row {
        const char* name;
        int side;           // 0: refused
        std::uint8_t value; // every byte of the image
        const char* reason;
    };
    const Row rows[] = {
        {"blank4096.png", 4096, 0, ""},
        {"flat4096.jpg", 4096, 128, ""},
        {"flat8192.jpg", 8192, 128, ""},
        {"bomb16384.png", 0, 0,
         "\"bomb16384.png\": PNG: image 16384 \u00D7 16384 needs 768 MiB, more than the 256 MiB"},
        {"claim65535.png", 0, 0,
         "\"claim65535.png\": PNG: image 65535 \u00D7 65535 is larger than the largest texture"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_LT(quelt::test::ReadFile(row.name).size(), 140u << 10);
        const auto texture = quelt::LoadImage(row.name);
        std::string reason;
        quelt::TakeLastError(reason);
        EXPECT_EQ(reason.substr(0, std::strlen(row.reason)), row.reason);
        if (row.side == 0) {
            EXPECT_EQ(texture, nullptr);
            continue;
        }
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->Width(), row.side);
        EXPECT_EQ(texture->Height(), row.side);
        const std::uint8_t* pixels = texture->Pixels();
        EXPECT_TRUE(
            std::all_of(pixels, pixels + texture->PixelBytes(), [&](std::uint8_t v) { return v == row.value; }));
    }
}

// Damage after the image data refuses the file as damage before it does.
TEST(ImageFiles, DamagedPngTails) {
    if (!Python("import PIL")) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    ASSERT_TRUE(Python(R"(
import struct
from PIL import Image
Image.new("RGB", (37, 23), (10, 200, 30)).save("tail.png")
png = open("tail.png", "rb").read()
parts, at = [], 8
while at < len(png):
    parts.append(png[at:at + 12 + struct.unpack(">I", png[at:at + 4])[0]])
    at += len(parts[-1])
def write(name, chunks):
    open(name, "wb").write(png[:8] + b"".join(chunks))
def damaged(chunk):
    return chunk[:-1] + bytes([chunk[-1] ^ 1])
last = max(i for i, c in enumerate(parts) if c[4:8] == b"IDAT")
write("tail_idat_crc.png", parts[:last] + [damaged(parts[last])] + parts[last + 1:])
write("tail_iend_crc.png", parts[:-1] + [damaged(parts[-1])])
write("tail_no_iend.png", parts[:-1])
open("tail_cut_iend.png", "wb").write(png[:-3])
)"));
    ASSERT_NE(quelt::LoadImage("tail.png"), nullptr);
    const std::pair<const char*, const char*> rows[] = {
        {"tail_idat_crc.png", "PNG: bad checksum in IDAT"},
        {"tail_iend_crc.png", "PNG: bad checksum in IEND"},
        {"tail_no_iend.png", "PNG: truncated file (no IEND chunk)"},
        {"tail_cut_iend.png", "PNG: truncated file (IEND is cut short)"},
    };
    for (const auto& [name, reason] : rows) {
        EXPECT_EQ(quelt::LoadImage(name), nullptr) << name;
        std::string got;
        quelt::TakeLastError(got);
        EXPECT_EQ(got, "\"" + std::string(name) + "\": " + reason);
    }
}

// JPEGs as cameras and other tools write them, each compared with djpeg's
// decode, turned by ImageMagick as the EXIF orientation says.
TEST(ImageFiles, JpegAsCamerasWriteIt) {
    if (!Shell("cjpeg -version")) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    ASSERT_TRUE(Shell("convert -seed 3 -size 37x23 plasma:fractal -depth 8 cam.ppm"));
    ASSERT_TRUE(Shell("cjpeg -outfile cam.jpg cam.ppm && cjpeg -sample 4x2,1x1,1x1 -outfile cam410.jpg cam.ppm"));
    ASSERT_TRUE(Shell("convert cam.ppm -colorspace CMYK -sampling-factor 2x2,1x1,1x1,1x1 cam_cmyk.jpg"));
    // The EXIF segment a camera puts first: one entry, the orientation, in either byte order.
    ASSERT_TRUE(Python(R"(
import struct
jpeg = open("cam.jpg", "rb").read()
for n in range(1, 9):
    order = ">" if n % 2 else "<"
    tiff = (b"MM" if n % 2 else b"II") + struct.pack(order + "HIH", 42, 8, 1)
    tiff += struct.pack(order + "HHIHH", 0x0112, 3, 1, n, 0) + struct.pack(order + "I", 0)
    exif = b"Exif\0\0" + tiff
    open("cam%d.jpg" % n, "wb").write(jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(exif) + 2) + exif + jpeg[2:])
)"));
    struct Row {
        std::string stem;
        const char* turn; // ImageMagick's options for the orientation
        bool sideways;
    };
    const Row rows[] = {{"cam1", "", false},           {"cam2", "-flop", false},      {"cam3", "-rotate 180", false},
                        {"cam4", "-flip", false},      {"cam5", "-transpose", true},  {"cam6", "-rotate 90", true},
                        {"cam7", "-transverse", true}, {"cam8", "-rotate 270", true}, {"cam410", "", false},
                        {"cam_cmyk", "", false}};
    for (const auto& [stem, turn, sideways] : rows) {
        SCOPED_TRACE(stem);
        const std::string name = stem + ".jpg";
        ASSERT_TRUE(Shell("djpeg -pnm -outfile " + stem + ".djpeg.ppm " + name + " && convert " + stem + ".djpeg.ppm " +
                          turn + " -depth 8 rgba:" + name + ".rgba"));
        const auto texture = quelt::LoadImage(name);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->Width(), sideways ? 23 : 37);
        EXPECT_EQ(FirstDifference(AsRgba(*texture), quelt::test::ReadFile(name + ".rgba")), "");
    }
}

// ---- The texture exports, loaded as an application loads them (no window) ----

class TextureExports : public ::testing::Test {
protected:
    void SetUp() override {
        library_ = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (library_) dlclose(library_);
    }
    template <typename F>
    F Bind(const char* name) {
        void* symbol = dlsym(library_, name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<F>(symbol);
    }
    void* library_ = nullptr;
};

TEST_F(TextureExports, BadArgumentsGiveNeutralResults) {
    auto load = Bind<decltype(&qLoadTexture)>("qLoadTexture");
    auto cube = Bind<decltype(&qCreateCubeMap)>("qCreateCubeMap");
    auto norm = Bind<decltype(&qCreateNormCubeMap)>("qCreateNormCubeMap");
    ASSERT_TRUE(load && cube && norm);

    const Bytes file = Bmp(RandomImage(2, 2, 3, 50));
    std::ofstream("export.bmp", std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                        static_cast<std::streamsize>(file.size()));
    EXPECT_EQ(load(0x0DE1, 0, "export.bmp"), 1);  // decoded; the upload has no context to go to
    EXPECT_EQ(load(0x0DE1, 0, "export.BMP"), 0);
    EXPECT_EQ(load(0x0DE1, 0, nullptr), 0);

    const char* names[6] = {"export.bmp", "export.bmp", "export.bmp", "export.bmp", "export.bmp", "export.bmp"};
    EXPECT_EQ(cube(0, names, 5), 0u);
    EXPECT_EQ(cube(0, names, -1), 0u);
    EXPECT_EQ(cube(0, nullptr, 6), 0u);
    const char* withNull[6] = {"export.bmp", nullptr, "export.bmp", "export.bmp", "export.bmp", "export.bmp"};
    EXPECT_EQ(cube(0, withNull, 6), 0u);
    EXPECT_EQ(norm(-1, 0), 0u);
    EXPECT_EQ(norm(INT32_MIN, 1), 0u);
}

} // namespace
