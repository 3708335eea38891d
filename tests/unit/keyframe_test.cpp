// SPDX-License-Identifier: Zlib
// The .qmm reader without a display: fields, per-frame normals, frame
// selection, animation lookup, and short or hostile files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>

#include "QKeyFrameModel.h"
#include "Quelt.h"
#include "ShowcaseQmm.h"

using showcase::TKeyFrameModel;
using showcase_test::QmmBytes;
using showcase_test::QmmFile;

namespace {

class KeyFrameModel : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(showcase::BindQuelt(QUELT_LIBRARY_PATH)); }
};

// V = 3, F = 2, one triangle, "idle" over both frames.
QmmFile TwoFrameTriangle() {
    QmmFile m;
    m.vertexCount = 3;
    m.frames = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}};
    m.texCoords = {{0, 0}, {1, 0}, {0, 1}};
    m.faces = {{0, 1, 2}};
    m.animations = {{"idle", 0, 1}};
    return m;
}

void ExpectEmpty(const TKeyFrameModel& model) {
    EXPECT_FALSE(model.Loaded);
    EXPECT_EQ(model.VertexCount, 0);
    EXPECT_EQ(model.FaceCount, 0);
    EXPECT_EQ(model.FrameCount, 0);
    EXPECT_EQ(model.AnimationCount, 0);
    EXPECT_TRUE(model.Positions.empty());
    EXPECT_TRUE(model.Normals.empty());
    EXPECT_TRUE(model.TexCoords.empty());
    EXPECT_TRUE(model.Faces.empty());
    EXPECT_TRUE(model.Animations.empty());
}

void ExpectVec(const TVec3D& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-6f);
    EXPECT_NEAR(v.y, y, 1e-6f);
    EXPECT_NEAR(v.z, z, 1e-6f);
}

} // namespace

TEST_F(KeyFrameModel, ReadsEveryFieldInFileOrder) {
    QmmFile file = TwoFrameTriangle();
    file.animations.push_back({"wave", 1, 1});
    ASSERT_TRUE(showcase_test::WriteQmm(file, "model.qmm"));
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("model.qmm"));
    EXPECT_TRUE(model.Loaded);
    EXPECT_EQ(model.VertexCount, 3);
    EXPECT_EQ(model.FaceCount, 1);
    EXPECT_EQ(model.FrameCount, 2);
    EXPECT_EQ(model.AnimationCount, 2);
    ASSERT_EQ(model.Positions.size(), 6u);
    ExpectVec(model.Positions[4], 0, 1, 0);  // frame 1, vertex 1
    ASSERT_EQ(model.TexCoords.size(), 3u);
    EXPECT_EQ(model.TexCoords[2].y, 1.0f);
    ASSERT_EQ(model.Faces.size(), 1u);
    EXPECT_EQ(model.Faces[0], (showcase::TTriangle{0, 1, 2}));
    ASSERT_EQ(model.Animations.size(), 2u);
    EXPECT_EQ(model.Animations[1].Name, "wave");
    EXPECT_EQ(model.Animations[1].FirstFrame, 1);
    // No context in this test: the model stays on the immediate path.
    EXPECT_FALSE(model.Uploaded);

    // Bytes after the last record are not read.
    QmmBytes longer = showcase_test::Encode(file);
    longer.bytes.insert(longer.bytes.end(), 100, 'x');
    ASSERT_TRUE(longer.Save("longer.qmm"));
    TKeyFrameModel other;
    EXPECT_TRUE(other.Load("longer.qmm"));
}

TEST_F(KeyFrameModel, NormalsAreAreaWeightedPerFrame) {
    QmmFile file;
    file.vertexCount = 4;
    // Frame 0: a large triangle facing +z and a smaller one facing +y share vertices 0 and 1.
    const std::vector<TVec3D> frame0 = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 1}};
    // Frame 1: the same shape mirrored in z, so the +z face now faces -z.
    const std::vector<TVec3D> frame1 = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, -1}};
    file.frames = {frame0, frame1};
    file.texCoords.assign(4, TVec2D{0, 0});
    file.faces = {{0, 1, 2}, {0, 3, 1}};
    file.animations = {{"idle", 0, 1}};
    ASSERT_TRUE(showcase_test::WriteQmm(file, "normals.qmm"));
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("normals.qmm"));
    // (0, 0, 4) from the first triangle plus (0, 2, 0) from the second.
    const float s = 1.0f / std::sqrt(20.0f);
    ExpectVec(model.Normals[0], 0, 2 * s, 4 * s);
    ExpectVec(model.Normals[1], 0, 2 * s, 4 * s);
    ExpectVec(model.Normals[2], 0, 0, 1);
    ExpectVec(model.Normals[3], 0, 1, 0);
    // Frame 1: (0, 0, 4) and (0, -2, 0).
    ExpectVec(model.Normals[4], 0, -2 * s, 4 * s);
    ExpectVec(model.Normals[7], 0, -1, 0);

    // The unit triangle gives (0, 0, 1) at all three corners; an unused vertex keeps zero.
    QmmFile unit = TwoFrameTriangle();
    unit.vertexCount = 4;
    unit.frames = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}}};
    unit.texCoords.push_back({0, 0});
    unit.animations = {{"idle", 0, 0}};
    ASSERT_TRUE(showcase_test::WriteQmm(unit, "unit.qmm"));
    ASSERT_TRUE(model.Load("unit.qmm"));
    for (int v = 0; v < 3; ++v) ExpectVec(model.Normals[std::size_t(v)], 0, 0, 1);
    ExpectVec(model.Normals[3], 0, 0, 0);
}

TEST_F(KeyFrameModel, DrawnFrameAlwaysLiesInsideTheStoredFrames) {
    QmmFile file = TwoFrameTriangle();
    file.frames.push_back(file.frames[0]);  // F = 3
    file.animations = {{"idle", 0, 1}, {"still", 2, 2}, {"beyond", 1, 5}, {"backwards", 2, 1}, {"negative", -2, -1}};
    ASSERT_TRUE(showcase_test::WriteQmm(file, "frames.qmm"));
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("frames.qmm"));

    EXPECT_EQ(model.DrawnFrame(0, 0), 0);
    EXPECT_EQ(model.DrawnFrame(0, 1), 1);
    EXPECT_EQ(model.DrawnFrame(0, 2), 0);
    EXPECT_EQ(model.DrawnFrame(0, 3), 1);
    // Negative frames count back from the end of the range.
    EXPECT_EQ(model.DrawnFrame(0, -1), 1);
    EXPECT_EQ(model.DrawnFrame(0, -2), 0);
    EXPECT_EQ(model.DrawnFrame(0, INT_MIN), 0);
    EXPECT_EQ(model.DrawnFrame(0, INT_MAX), 1);
    // A single-frame animation draws its frame whatever the argument.
    for (int32_t frame : {0, 1, -1, 7, INT_MIN, INT_MAX}) EXPECT_EQ(model.DrawnFrame(1, frame), 2) << frame;
    // Ranges that leave the stored frames draw nothing there instead of reading past them.
    EXPECT_EQ(model.DrawnFrame(2, 0), 1);
    EXPECT_EQ(model.DrawnFrame(2, 1), 2);
    EXPECT_EQ(model.DrawnFrame(2, 2), -1);
    EXPECT_EQ(model.DrawnFrame(3, 0), -1);
    EXPECT_EQ(model.DrawnFrame(4, 0), -1);
    // Unknown animation indices.
    EXPECT_EQ(model.DrawnFrame(-1, 0), -1);
    EXPECT_EQ(model.DrawnFrame(5, 0), -1);
    // Drawing without a context must not crash for any of these.
    for (int32_t a = -1; a <= 5; ++a) model.Draw(a, -1);
}

TEST_F(KeyFrameModel, NegativeFramesKeepTheirStoredFrame) {
    QmmFile file = TwoFrameTriangle();
    file.frames.resize(32, file.frames[0]);
    file.animations = {{"idle", 0, 15}, {"wave", 16, 31}, {"one", 5, 5}};
    ASSERT_TRUE(showcase_test::WriteQmm(file, "negative.qmm"));
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("negative.qmm"));
    const struct {
        int32_t animation, frame, drawn;
    } cases[] = {
        // first + (frame rem length), the remainder signed like the frame, where that is stored...
        {1, -1, 15}, {1, -16, 16}, {1, -17, 15}, {1, 17, 17}, {2, -1, 5},
        // ...and taken into the range only where it is not.
        {0, -1, 15}, {0, -5, 11}, {0, INT_MIN, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(model.DrawnFrame(c.animation, c.frame), c.drawn) << c.animation << ", " << c.frame;
}

TEST_F(KeyFrameModel, OnlyRegularFilesAreRead) {
    ASSERT_TRUE(mkfifo("pipe.qmm", 0600) == 0 || errno == EEXIST);
    // A device that never ends, a FIFO with no writer, a folder: refused at
    // once, never read until memory runs out or a writer comes.
    for (const char* name : {"/dev/zero", "pipe.qmm", "."}) {
        alarm(20);
        TKeyFrameModel model;
        EXPECT_FALSE(model.Load(name)) << name;
        ExpectEmpty(model);
        alarm(0);
    }
}

TEST_F(KeyFrameModel, FindAnimationIsExactAndFirstWins) {
    QmmFile file = TwoFrameTriangle();
    file.animations = {{"idle", 0, 0}, {"Walk", 1, 1}, {"idle", 1, 1}, {"", 0, 1}};
    ASSERT_TRUE(showcase_test::WriteQmm(file, "names.qmm"));
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("names.qmm"));
    EXPECT_EQ(model.FindAnimation("idle"), 0);
    EXPECT_EQ(model.FindAnimation("Walk"), 1);
    EXPECT_EQ(model.FindAnimation("walk"), -1);
    EXPECT_EQ(model.FindAnimation("IDLE"), -1);
    EXPECT_EQ(model.FindAnimation(""), 3);
    EXPECT_EQ(model.FindAnimation("idle "), -1);
}

TEST_F(KeyFrameModel, EveryShortFileIsRejectedAndLeavesNothingHalfLoaded) {
    const QmmBytes full = showcase_test::Encode(TwoFrameTriangle());
    for (std::size_t length = 0; length < full.bytes.size(); ++length) {
        QmmBytes prefix;
        prefix.bytes.assign(full.bytes.begin(), full.bytes.begin() + std::ptrdiff_t(length));
        ASSERT_TRUE(prefix.Save("short.qmm"));
        TKeyFrameModel model;
        EXPECT_FALSE(model.Load("short.qmm")) << length << " bytes";
        ExpectEmpty(model);
    }
    // A model that held data before a failed load is left empty, not mixed.
    ASSERT_TRUE(full.Save("full.qmm"));
    QmmBytes cut;
    cut.bytes.assign(full.bytes.begin(), full.bytes.end() - 1);
    ASSERT_TRUE(cut.Save("cut.qmm"));
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("full.qmm"));
    EXPECT_FALSE(model.Load("cut.qmm"));
    ExpectEmpty(model);
    EXPECT_FALSE(model.Load("no such file.qmm"));
    ExpectEmpty(model);
    model.Draw(0, 0);
    EXPECT_TRUE(model.Load("full.qmm"));
}

TEST_F(KeyFrameModel, HostileHeadersAndIndicesAreRejected) {
    struct Case {
        const char* what;
        int32_t vertices, faces, animations, frames;
    };
    const Case cases[] = {
        {"negative vertex count", -1, 0, 0, 1},
        {"negative face count", 3, -1, 0, 1},
        {"negative animation count", 3, 0, -1, 1},
        {"negative frame count", 3, 0, 0, -1},
        {"huge vertex count", INT_MAX, 0, 0, 1},
        {"huge frame count", 3, 0, 0, INT_MAX},
        {"huge vertices times frames", 0x10000, 0, 0, 0x10000},
        {"huge face count", 0, INT_MAX, 0, 0},
        {"huge animation count", 0, 0, INT_MAX, 0},
        // Counts whose byte total wraps 64 bits to 1, which would pass a
        // plain 64-bit check and ask for an impossible allocation.
        {"byte total wrapping 64 bits", INT_MAX, 715827882, 1, 715827882},
    };
    for (const Case& c : cases) {
        QmmBytes bytes;
        bytes.Header(c.vertices, c.faces, c.animations, c.frames);
        bytes.bytes.resize(bytes.bytes.size() + 256, 0);
        ASSERT_TRUE(bytes.Save("hostile.qmm"));
        TKeyFrameModel model;
        EXPECT_FALSE(model.Load("hostile.qmm")) << c.what;
        ExpectEmpty(model);
    }

    for (int32_t index : {3, -1, INT_MAX}) {
        QmmFile file = TwoFrameTriangle();
        file.faces = {{0, 1, index}};
        ASSERT_TRUE(showcase_test::WriteQmm(file, "index.qmm"));
        TKeyFrameModel model;
        EXPECT_FALSE(model.Load("index.qmm")) << "face index " << index;
        ExpectEmpty(model);
    }

    // A name length that runs past the end of the file.
    QmmBytes name = showcase_test::Encode(TwoFrameTriangle());
    name.bytes.resize(name.bytes.size() - 12);  // drop "idle" and both frame numbers
    name.bytes.back() = static_cast<char>(200);
    name.bytes.insert(name.bytes.end(), 20, 'n');
    ASSERT_TRUE(name.Save("name.qmm"));
    TKeyFrameModel model;
    EXPECT_FALSE(model.Load("name.qmm"));

    // Empty but well-formed: loads, with nothing to draw.
    QmmBytes empty;
    empty.Header(0, 0, 0, 0);
    ASSERT_TRUE(empty.Save("empty.qmm"));
    EXPECT_TRUE(model.Load("empty.qmm"));
    EXPECT_EQ(model.FindAnimation("idle"), -1);
    model.Draw(0, 0);
}

TEST_F(KeyFrameModel, ClearReleasesTheData) {
    ASSERT_TRUE(showcase_test::WriteQmm(TwoFrameTriangle(), "clear.qmm"));
    TKeyFrameModel model;
    ASSERT_TRUE(model.Load("clear.qmm"));
    model.Clear();
    ExpectEmpty(model);
    EXPECT_EQ(model.FindAnimation("idle"), -1);
    model.Draw(0, 0);
    model.Clear();  // twice is harmless
    ASSERT_TRUE(model.Load("clear.qmm"));
    EXPECT_EQ(model.FindAnimation("idle"), 0);
}
