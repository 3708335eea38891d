// SPDX-License-Identifier: Zlib
// Every conversion path the processor runs (scalar, SSE2, SSSE3, AVX2) on the
// same pixels, at lengths around each path's step and at unaligned targets,
// with and without streaming stores: each must give the plain reordering and
// write nothing past the image.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "TPixelOrder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using quelt::PixelPath;

struct Conversion {
    const char* name;
    int in;   // bytes a stored pixel
    int out;  // bytes a decoded pixel
    void (*convert)(const std::uint8_t*, std::uint8_t*, std::size_t, bool bypassCache);
    // Where each output byte of a pixel comes from: a stored byte, or -1 for 255.
    int source[4];
};

const Conversion kConversions[] = {
    {"BgraToRgba", 4, 4, [](auto s, auto d, auto n, bool b) { quelt::BgraToRgba(s, d, n, b); }, {2, 1, 0, 3}},
    {"BgrToRgb", 3, 3, [](auto s, auto d, auto n, bool b) { quelt::BgrToRgb(s, d, n, b); }, {2, 1, 0}},
    {"BgrToRgba", 3, 4, [](auto s, auto d, auto n, bool b) { quelt::BgrToRgba(s, d, n, b); }, {2, 1, 0, -1}},
    {"GreyToRgb", 1, 3, [](auto s, auto d, auto n, bool) { quelt::GreyToRgb(s, d, n); }, {0, 0, 0}},
    {"GreyToRgba", 1, 4, [](auto s, auto d, auto n, bool) { quelt::GreyToRgba(s, d, n); }, {0, 0, 0, -1}},
};

Bytes Expected(const Conversion& c, const std::uint8_t* src, std::size_t pixels) {
    Bytes out;
    for (std::size_t i = 0; i < pixels; ++i)
        for (int k = 0; k < c.out; ++k) out.push_back(c.source[k] < 0 ? 255 : src[i * c.in + c.source[k]]);
    return out;
}

const char* Name(PixelPath path) {
    static const char* const names[] = {"scalar", "SSE2", "SSSE3", "AVX2"};
    return names[static_cast<int>(path)];
}

class PixelPaths : public ::testing::Test {
protected:
    void TearDown() override { quelt::LimitPixelPath(PixelPath::kAvx2); }
};

TEST_F(PixelPaths, EveryPathGivesTheSameBytes) {
    std::mt19937 random(7);
    Bytes stored(4 * 2100 + 64);
    for (auto& b : stored) b = static_cast<std::uint8_t>(random());
    constexpr std::uint8_t kGuard = 0xA5;
    int paths = 0;
    for (int p = 0; p <= static_cast<int>(quelt::BestPixelPath()); ++p, ++paths) {
        const auto path = static_cast<PixelPath>(p);
        quelt::LimitPixelPath(path);
        for (const Conversion& c : kConversions)
            for (std::size_t pixels : {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 15, 16, 17, 31, 33, 48, 100, 2048, 2053})
                for (std::size_t offset : {0, 1, 4, 12, 20})
                    for (bool bypass : {false, true}) {
                        SCOPED_TRACE(std::string(Name(path)) + " " + c.name + " " + std::to_string(pixels) +
                                     " pixels at +" + std::to_string(offset) + (bypass ? " streamed" : ""));
                        const std::uint8_t* src = stored.data() + offset % 3;
                        // 64-byte aligned storage, so `offset` alone sets the target's alignment.
                        std::vector<std::uint64_t> storage((pixels * c.out + offset + 64 + 8) / 8 + 8);
                        auto* base = reinterpret_cast<std::uint8_t*>(storage.data());
                        base += (64 - reinterpret_cast<std::uintptr_t>(base) % 64) % 64;
                        std::fill(base, base + offset + pixels * c.out + 8, kGuard);
                        c.convert(src, base + offset, pixels, bypass);
                        ASSERT_EQ(Bytes(base + offset, base + offset + pixels * c.out), Expected(c, src, pixels));
                        for (int k = 0; k < 8; ++k) ASSERT_EQ(base[offset + pixels * c.out + k], kGuard);
                        for (std::size_t k = 0; k < offset; ++k) ASSERT_EQ(base[k], kGuard);
                    }
    }
    RecordProperty("paths", paths);
#if defined(__x86_64__)
    EXPECT_GE(paths, 2) << "x86-64 always has SSE2";
#endif
}

} // namespace
