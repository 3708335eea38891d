// SPDX-License-Identifier: Zlib
// The demo's generated assets: what Showcase relies on in each file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "QKeyFrameModel.h"
#include "QVolume.h"
#include "Quelt.h"

using showcase::TKeyFrameModel;

namespace {

const std::string kBin = QUELT_BIN_DIR;

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

uint32_t Little(const std::vector<unsigned char>& b, std::size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | b[at + std::size_t(i)];
    return v;
}

class Assets : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(showcase::BindQuelt(QUELT_LIBRARY_PATH)); }
};

} // namespace

TEST_F(Assets, CharacterIsClosedAnimatedAndTextured) {
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load(kBin + "/Morrek.qmm"));
    EXPECT_GE(model.FaceCount, 2000);
    EXPECT_LE(model.FaceCount, 10000);
    EXPECT_LE(model.VertexCount, 65536) << "indices must survive the 16-bit index buffer";

    // Idle is the first frame alone, the pose the shadow volume is built from.
    const int32_t idle = model.FindAnimation("idle");
    ASSERT_GE(idle, 0);
    EXPECT_EQ(model.DrawnFrame(idle, -1), 0);
    EXPECT_EQ(model.Animations[std::size_t(idle)].LastFrame, model.Animations[std::size_t(idle)].FirstFrame);
    ASSERT_GE(model.AnimationCount, 2);
    for (const showcase::TAnimation& a : model.Animations) {
        EXPECT_FALSE(a.Name.empty());
        EXPECT_GE(a.FirstFrame, 0);
        EXPECT_LT(a.LastFrame, model.FrameCount);
    }

    // Visible motion across the wave frames, in model units (the demo scales by 0.01).
    const int32_t wave = model.FindAnimation("wave");
    ASSERT_GE(wave, 0);
    const showcase::TAnimation& range = model.Animations[std::size_t(wave)];
    float largest = 0;
    const std::size_t v = std::size_t(model.VertexCount);
    for (int32_t f = range.FirstFrame + 1; f <= range.LastFrame; ++f)
        for (std::size_t i = 0; i < v; ++i)
            largest = std::max(largest, showcase::dist3D(&model.Positions[i + std::size_t(range.FirstFrame) * v],
                                                         &model.Positions[i + std::size_t(f) * v]));
    EXPECT_GT(largest, 10.0f);

    // Standing on y = 0 and lower than the light's circle at height 200.
    float low = 1e9f, high = -1e9f;
    for (std::size_t i = 0; i < v; ++i) {
        low = std::min(low, model.Positions[i].y);
        high = std::max(high, model.Positions[i].y);
    }
    EXPECT_NEAR(low, 0, 1);
    EXPECT_GT(high, 120);
    EXPECT_LT(high, 200);

    for (const TVec2D& uv : model.TexCoords) {
        EXPECT_GE(uv.x, 0);
        EXPECT_LE(uv.x, 1);
        EXPECT_GE(uv.y, 0);
        EXPECT_LE(uv.y, 1);
    }

    // Closed once welded: every edge belongs to exactly two triangles.
    showcase::TVolume volume(model);
    EXPECT_EQ(volume.Edges.size() * 2, std::size_t(model.FaceCount) * 3);
    for (const showcase::TVolumeEdge& e : volume.Edges) EXPECT_NE(e.ReversedA, e.ReversedB) << "consistent winding";
}

TEST_F(Assets, LandscapeIsOneFrameUnderTheCharactersFeet) {
    TKeyFrameModel land;
    ASSERT_TRUE(land.Load(kBin + "/LandScape.qmm"));
    ASSERT_GE(land.AnimationCount, 1);
    EXPECT_EQ(land.Animations[0].FirstFrame, 0);
    EXPECT_EQ(land.Animations[0].LastFrame, 0);
    EXPECT_EQ(land.FrameCount, 1);
    EXPECT_LE(land.VertexCount, 65536);

    // Under the demo's landscape transform (translate y by -20, scale 10, 7, 10)
    // the ground near the origin lies at the character's feet, and the field
    // reaches far beyond the character's shadow.
    float nearest = 1e9f, groundY = 0, extent = 0;
    for (const TVec3D& p : land.Positions) {
        const float distance = std::hypot(p.x * 10, p.z * 10);
        if (distance < nearest) {
            nearest = distance;
            groundY = p.y * 7 - 20;
        }
        extent = std::max(extent, std::min(std::fabs(p.x), std::fabs(p.z)) * 10);
    }
    EXPECT_LT(nearest, 200);
    EXPECT_NEAR(groundY, 0, 5);
    EXPECT_GT(extent, 3000);
}

TEST_F(Assets, TexturesHaveTheFormatsTheReadersTake) {
    const auto tga = ReadBytes(kBin + "/Morrek.tga");
    ASSERT_GT(tga.size(), 18u);
    EXPECT_EQ(tga[2], 10) << "run-length encoded true colour";
    EXPECT_EQ(tga[16], 32);
    const uint32_t width = Little(tga, 12, 2), height = Little(tga, 14, 2);
    EXPECT_GE(width, 128u);
    EXPECT_LT(tga.size(), 18 + width * height * 4) << "the encoding compresses";
    // Decoding the packets yields exactly width x height pixels with many colours.
    std::size_t at = 18 + tga[0], pixels = 0;
    std::vector<uint32_t> colours;
    while (pixels < width * height && at < tga.size()) {
        const unsigned header = tga[at++];
        const std::size_t count = (header & 0x7F) + 1;
        const std::size_t stored = header & 0x80 ? 1 : count;
        ASSERT_LE(at + stored * 4, tga.size());
        for (std::size_t i = 0; i < stored; ++i) colours.push_back(Little(tga, at + i * 4, 4));
        at += stored * 4;
        pixels += count;
    }
    EXPECT_EQ(pixels, std::size_t(width) * height);
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 100);

    const auto bmp = ReadBytes(kBin + "/Land.bmp");
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Little(bmp, 14, 4), 40u);
    EXPECT_EQ(Little(bmp, 28, 2), 24u);
    EXPECT_EQ(Little(bmp, 30, 4), 0u);
    const uint32_t w = Little(bmp, 18, 4), h = Little(bmp, 22, 4);
    EXPECT_EQ(bmp.size(), 54 + (w * 3 + 3) / 4 * 4 * h);
}
