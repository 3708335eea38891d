// SPDX-License-Identifier: Zlib
#include <gtest/gtest.h>

#include <cmath>

#include "MVector.h"
#include "QFrustum.h"

namespace quelt {
namespace {

TMatrix4 Identity() {
    TMatrix4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

// The matrices gluPerspective and gluLookAt build, written out independently.
TMatrix4 Perspective(double fovy, double aspect, double zNear, double zFar) {
    const double f = 1.0 / std::tan(fovy * M_PI / 360.0);
    TMatrix4 m{};
    m.m[0] = static_cast<float>(f / aspect);
    m.m[5] = static_cast<float>(f);
    m.m[10] = static_cast<float>((zFar + zNear) / (zNear - zFar));
    m.m[11] = -1.0f;
    m.m[14] = static_cast<float>(2.0 * zFar * zNear / (zNear - zFar));
    return m;
}

TMatrix4 LookAt(const TVec3D& eye, const TVec3D& centre, const TVec3D& up) {
    const TVec3D f = norm3D(sub3D(centre, eye));
    const TVec3D s = norm3D(cross3D(f, up));
    const TVec3D u = cross3D(s, f);
    TMatrix4 m = Identity();
    m.m[0] = s.x, m.m[4] = s.y, m.m[8] = s.z;
    m.m[1] = u.x, m.m[5] = u.y, m.m[9] = u.z;
    m.m[2] = -f.x, m.m[6] = -f.y, m.m[10] = -f.z;
    m.m[12] = -dot3D(s, eye);
    m.m[13] = -dot3D(u, eye);
    m.m[14] = dot3D(f, eye);
    return m;
}

class FrustumTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateFrustum(&frustum_);
        ASSERT_NE(frustum_, nullptr);
    }
    void TearDown() override { EXPECT_EQ(frustum_->Release(), 0); }
    TFrustum& Frustum() { return *static_cast<TFrustum*>(frustum_); }

    IFrustum* frustum_ = nullptr;
};

TEST_F(FrustumTest, FreshFrustumHasZeroPlanes) {
    const TVec3D origin{0, 0, 0}, half{1, 1, 1};
    EXPECT_FALSE(frustum_->PointIn(&origin));
    EXPECT_TRUE(frustum_->SphereIn(&origin, 1.0f));
    EXPECT_FALSE(frustum_->SphereIn(&origin, 0.0f));
    EXPECT_FALSE(frustum_->BoxIn(&origin, &half));
}

TEST_F(FrustumTest, IdentityMatricesGiveTheUnitCube) {
    const TMatrix4 id = Identity();
    frustum_->ExtractFromMatrices(&id, &id);
    const float expected[6][4] = {{-1, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {0, -1, 0, 1}, {0, 0, -1, 1}, {0, 0, 1, 1}};
    for (int i = 0; i < 6; ++i) {
        const auto& p = Frustum().GetPlane(i);
        EXPECT_EQ(p.a, expected[i][0]) << i;
        EXPECT_EQ(p.b, expected[i][1]) << i;
        EXPECT_EQ(p.c, expected[i][2]) << i;
        EXPECT_EQ(p.d, expected[i][3]) << i;
    }
    const TVec3D origin{0, 0, 0}, onRight{1, 0, 0}, inside{0.99f, 0, 0}, onNear{0, 0, -1};
    EXPECT_TRUE(frustum_->PointIn(&origin));
    EXPECT_FALSE(frustum_->PointIn(&onRight));
    EXPECT_TRUE(frustum_->PointIn(&inside));
    EXPECT_FALSE(frustum_->PointIn(&onNear));
}

TEST_F(FrustumTest, SphereTouchingFromOutsideIsOutside) {
    const TMatrix4 id = Identity();
    frustum_->ExtractFromMatrices(&id, &id);
    const TVec3D centre{3, 0, 0};
    EXPECT_FALSE(frustum_->SphereIn(&centre, 2.0f));
    EXPECT_TRUE(frustum_->SphereIn(&centre, 2.0001f));
    EXPECT_TRUE(frustum_->SphereIn(&centre, 5.0f));
}

TEST_F(FrustumTest, Boxes) {
    const TMatrix4 id = Identity();
    frustum_->ExtractFromMatrices(&id, &id);
    const TVec3D behindNear{0, 0, -5}, small{0.5f, 0.5f, 0.5f};
    EXPECT_FALSE(frustum_->BoxIn(&behindNear, &small));
    const TVec3D origin{0, 0, 0}, huge{10, 10, 10};
    EXPECT_TRUE(frustum_->BoxIn(&origin, &huge));
    const TVec3D straddling{1, 0, 0};
    EXPECT_TRUE(frustum_->BoxIn(&straddling, &small));
    // Outside, but not wholly behind any one plane: still counted visible.
    const TVec3D corner{1.6f, 1.6f, 0}, wide{0.7f, 0.7f, 0.1f};
    EXPECT_TRUE(frustum_->BoxIn(&corner, &wide));
    const TVec3D farRight{5, 0, 0};
    EXPECT_FALSE(frustum_->BoxIn(&farRight, &small));
}

TEST_F(FrustumTest, PerspectiveAndLookAtClassifyKnownPoints) {
    const TMatrix4 projection = Perspective(90, 1024.0 / 768.0, 0.1, 100);
    const TMatrix4 view = LookAt({0, 0, 10}, {0, 0, 0}, {0, 1, 0});
    frustum_->ExtractFromMatrices(&projection, &view);
    for (int i = 0; i < 6; ++i) {
        const auto& p = Frustum().GetPlane(i);
        EXPECT_NEAR(len3D({p.a, p.b, p.c}), 1.0f, 1e-6f) << i;
    }
    const TVec3D cases[][1] = {{{0, 0, 0}}, {{0, 0, 9.85f}}, {{0, 0, -89}}};
    for (const auto& c : cases) EXPECT_TRUE(frustum_->PointIn(&c[0]));
    const TVec3D behind{0, 0, 9.95f}, tooFar{0, 0, -91}, left{-20, 0, 0}, above{0, 11, 0};
    EXPECT_FALSE(frustum_->PointIn(&behind));
    EXPECT_FALSE(frustum_->PointIn(&tooFar));
    EXPECT_FALSE(frustum_->PointIn(&left));
    EXPECT_FALSE(frustum_->PointIn(&above));
    // At distance 10 with a 90-degree vertical field the top edge is y = 10.
    const TVec3D justInside{0, 9.9f, 0}, justOutside{0, 10.1f, 0};
    EXPECT_TRUE(frustum_->PointIn(&justInside));
    EXPECT_FALSE(frustum_->PointIn(&justOutside));
    EXPECT_EQ(Frustum().GetPlane(TFrustum::kNear).c, -1.0f);
}

TEST_F(FrustumTest, QueryAnswersForTheBaseAndItsOwnIdentifier) {
    void* object = nullptr;
    EXPECT_EQ(frustum_->QueryInterface(&kIIDUnknown, &object), Q_OK);
    EXPECT_EQ(object, frustum_);
    EXPECT_EQ(frustum_->QueryInterface(&kIIDNone, &object), Q_OK);
    EXPECT_EQ(frustum_->Release(), 2);
    EXPECT_EQ(frustum_->Release(), 1);
    const QGUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(frustum_->QueryInterface(&other, &object), Q_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

} // namespace
} // namespace quelt
