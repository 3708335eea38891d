// SPDX-License-Identifier: Zlib
// Projection, primitives, texture environments and the camera, checked on a
// real context: matrices read back, vertex streams captured in feedback mode,
// pixels read back.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <gtest/gtest.h>
#include <quelt/quelt.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <vector>

#include "GLFeedback.h"
#include "GLTestWindow.h"
#include "QDraw2D.h"
#include "QDraw3D.h"
#include "QWin.h"

namespace {

using quelt::test::GLWindowTest;
using Mat = std::array<double, 16>; // column-major
using Vec = std::array<double, 3>;

constexpr double kPi = 3.14159265358979323846;

Mat Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Mat Multiply(const Mat& a, const Mat& b) {
    Mat r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k) r[c * 4 + row] += a[k * 4 + row] * b[c * 4 + k];
    return r;
}

Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec Unit(const Vec& v) {
    const double l = std::sqrt(Dot(v, v));
    return {v[0] / l, v[1] / l, v[2] / l};
}

// The textbook view matrix: rows side, up, -forward, then the eye moved to the origin.
Mat LookAt(const Vec& eye, const Vec& centre, const Vec& upHint) {
    const Vec f = Unit({centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]});
    const Vec s = Unit(Cross(f, upHint));
    const Vec u = Cross(s, f);
    Mat m = Identity();
    for (int i = 0; i < 3; ++i) {
        m[i * 4 + 0] = s[i];
        m[i * 4 + 1] = u[i];
        m[i * 4 + 2] = -f[i];
    }
    m[12] = -Dot(s, eye);
    m[13] = -Dot(u, eye);
    m[14] = Dot(f, eye);
    return m;
}

// Right-handed rotation of v by `radians` about the unit axis (Rodrigues).
Vec Rotate(const Vec& v, const Vec& axis, double radians) {
    const double c = std::cos(radians), s = std::sin(radians);
    const Vec k = Unit(axis);
    const Vec kv = Cross(k, v);
    const double kd = Dot(k, v);
    Vec r{};
    for (int i = 0; i < 3; ++i) r[i] = v[i] * c + kv[i] * s + k[i] * kd * (1 - c);
    return r;
}

Mat ReadMatrix(GLenum which) {
    GLfloat m[16];
    glGetFloatv(which, m);
    Mat r{};
    for (int i = 0; i < 16; ++i) r[i] = m[i];
    return r;
}

void ExpectMatrixNear(const Mat& expected, const Mat& actual, double tolerance = 1e-5) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(expected[i], actual[i], tolerance * std::max(1.0, std::fabs(expected[i]))) << "element " << i;
}

GLint Integer(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

class Draw3DTest : public GLWindowTest {
protected:
    void SetUp() override {
        GLWindowTest::SetUp();
        glViewport(0, 0, 1024, 768);
    }
};

TEST_F(Draw3DTest, Set3DLoadsAPerspectiveForTheLogicalScreenAndKeepsTheModelView) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    const Mat modelView = ReadMatrix(GL_MODELVIEW_MATRIX);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslatef(5, 5, 5); // replaced, not multiplied onto
    glMatrixMode(GL_TEXTURE);

    quelt::Set3D(90, 0.1f, 100);

    EXPECT_EQ(GL_MODELVIEW, Integer(GL_MATRIX_MODE));
    const double n = double(0.1f), f = 100.0;
    const double cot = 1.0 / std::tan(90.0 / 2 * kPi / 180);
    Mat expected{};
    expected[0] = cot / (1024.0 / 768.0);
    expected[5] = cot;
    expected[10] = (f + n) / (n - f);
    expected[11] = -1;
    expected[14] = 2 * f * n / (n - f);
    ExpectMatrixNear(expected, ReadMatrix(GL_PROJECTION_MATRIX));
    ExpectMatrixNear(modelView, ReadMatrix(GL_MODELVIEW_MATRIX));
}

// qSet3D's aspect and qSet2D's pixels follow the logical screen; a program
// of 1280 x 720 on a window of that size draws a sphere as a circle.
TEST_F(Draw3DTest, ProjectionsFollowTheLogicalScreenAndKeepSpheresRound) {
    struct Restore {
        ~Restore() { quelt::SetScreenSize(quelt::kScreenWidth, quelt::kScreenHeight); }
    } restore;
    for (const auto& [width, height] : {std::pair{1024, 768}, std::pair{1280, 720}, std::pair{720, 1280}}) {
        ASSERT_TRUE(quelt::SetScreenSize(width, height));
        quelt::Set3D(90, 0.1f, 100);
        const Mat perspective = ReadMatrix(GL_PROJECTION_MATRIX);
        EXPECT_NEAR(perspective[5] / perspective[0], double(width) / height, 1e-5) << width << "x" << height;
        quelt::Set2D();
        const Mat pixels = ReadMatrix(GL_PROJECTION_MATRIX);
        EXPECT_NEAR(pixels[0], 2.0 / width, 1e-7);
        EXPECT_NEAR(pixels[5], -2.0 / height, 1e-7);
    }
    ASSERT_TRUE(quelt::SetScreenSize(1280, 720));
    ASSERT_TRUE(quelt::ScreenMode(1280, 720, 32, 0, false));
    const int w = window().DrawableWidth(), h = window().DrawableHeight();
    ASSERT_EQ(std::make_pair(w, h), std::make_pair(1280, 720));
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glColor3f(1, 1, 1);
    quelt::Set3D(60, 1, 100);
    glLoadIdentity();
    glTranslatef(0, 0, -4);
    quelt::createSharedQuadric();
    quelt::SolidSphere(1);
    quelt::deleteSharedQuadric();
    const std::vector<std::uint8_t> picture = window().ReadRegion(0, 0, w, h);
    int left = w, right = -1, top = h, bottom = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (picture[(static_cast<std::size_t>(y) * w + x) * 4] > 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GT(right, left);
    EXPECT_NEAR(right - left, bottom - top, 2) << "a sphere of " << right - left + 1 << " x " << bottom - top + 1;
}

TEST_F(Draw3DTest, CameraMultipliesALookAtWithTheRolledUpVector) {
    glMatrixMode(GL_MODELVIEW);
    const TVec3D pos{1, 2, 3};
    const TVec3D forward{0, 0, -1};
    const Vec eye{1, 2, 3}, centre{1, 2, 2};

    glLoadIdentity();
    quelt::Camera(pos, forward, 0);
    ExpectMatrixNear(LookAt(eye, centre, {0, 1, 0}), ReadMatrix(GL_MODELVIEW_MATRIX));

    glLoadIdentity();
    quelt::Camera(pos, forward, 90);
    ExpectMatrixNear(LookAt(eye, centre, {-1, 0, 0}), ReadMatrix(GL_MODELVIEW_MATRIX));

    // Not reset in between: the second view is multiplied onto the first.
    const TVec3D pos2{-4, 0.5f, 2};
    const TVec3D dir2{1, 0, 0};
    glLoadIdentity();
    quelt::Camera(pos, forward, 0);
    quelt::Camera(pos2, dir2, 0);
    const Mat composed = Multiply(LookAt(eye, centre, {0, 1, 0}), LookAt({-4, 0.5, 2}, {-3, 0.5, 2}, {0, 1, 0}));
    ExpectMatrixNear(composed, ReadMatrix(GL_MODELVIEW_MATRIX));
}

TEST_F(Draw3DTest, CameraRollUsesTheDirectionAsGiven) {
    // A direction of length 2 makes the normalised quaternion turn by
    // 2 * atan(2 * tan(h)) rather than the requested angle, against the view.
    const TVec3D pos{0.5f, -1, 2};
    const TVec3D dir{2, 0, 0};
    const float roll = 30;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -7); // an existing matrix is kept and multiplied
    quelt::Camera(pos, dir, roll);

    const Vec d{2, 0, 0};
    const Vec up = Cross(Cross(d, {0, 1, 0}), d);
    const double h = roll / 2.0 * kPi / 180;
    const double turned = 2 * std::atan(2 * std::tan(h));
    const Vec rolled = Rotate(up, d, -turned);
    Mat translate = Identity();
    translate[14] = -7;
    const Mat expected = Multiply(translate, LookAt({0.5, -1, 2}, {2.5, -1, 2}, rolled));
    ExpectMatrixNear(expected, ReadMatrix(GL_MODELVIEW_MATRIX), 1e-4);
}

TEST_F(Draw3DTest, CameraWithTheSameRecordForPositionAndDirection) {
    const TVec3D both{1, 0, -1};
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    quelt::Camera(both, both, 0);
    ExpectMatrixNear(LookAt({1, 0, -1}, {2, 0, -2}, {0, 1, 0}), ReadMatrix(GL_MODELVIEW_MATRIX));
}

TEST_F(Draw3DTest, CameraFarFromTheOriginLooksAlongTheDirectionGiven) {
    struct Case {
        TVec3D pos, dir;
    };
    const Case cases[] = {{{1e6f, 5, -3}, {0.6f, 0, -0.8f}}, {{1e5f, 0, 0}, {0.001f, 0, -0.001f}}};
    glMatrixMode(GL_MODELVIEW);
    for (const Case& c : cases) {
        glLoadIdentity();
        quelt::Camera(c.pos, c.dir, 0);
        const Vec eye{c.pos.x, c.pos.y, c.pos.z};
        const Mat expected = LookAt(eye, {eye[0] + c.dir.x, eye[1] + c.dir.y, eye[2] + c.dir.z}, {0, 1, 0});
        const Mat actual = ReadMatrix(GL_MODELVIEW_MATRIX);
        // The rotation only: a float matrix cannot hold the translation exactly.
        for (int column = 0; column < 3; ++column)
            for (int row = 0; row < 3; ++row)
                EXPECT_NEAR(expected[column * 4 + row], actual[column * 4 + row], 1e-5) << c.pos.x << " " << row;
    }
}

// Captures what reaches the pipeline. A fixed oblique view keeps every box
// face and axis line non-degenerate on screen; the test maps expected
// object-space points to window space on its own to compare.
class FeedbackTest : public Draw3DTest {
protected:
    void SetUp() override {
        Draw3DTest::SetUp();
        quelt::test::StartFeedbackContext();
        const Vec axis = Unit({1, 2, 0.5});
        const double angle = 0.7;
        for (int column = 0; column < 3; ++column) {
            Vec basis{0, 0, 0};
            basis[column] = 1;
            const Vec image = Rotate(basis, axis, angle);
            for (int row = 0; row < 3; ++row) rotation_[column * 4 + row] = image[row];
        }
        rotation_[15] = 1;
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-10, 10, -10, 10, -10, 10);
        glMatrixMode(GL_MODELVIEW);
        GLfloat m[16];
        for (int i = 0; i < 16; ++i) m[i] = static_cast<GLfloat>(rotation_[i]);
        glLoadMatrixf(m);
        glDisable(GL_CULL_FACE);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
    }

    Vec ToWindow(const Vec& v) const {
        Vec eye{};
        for (int row = 0; row < 3; ++row)
            eye[row] = rotation_[row] * v[0] + rotation_[4 + row] * v[1] + rotation_[8 + row] * v[2];
        return {(eye[0] / 10 + 1) * 512, (eye[1] / 10 + 1) * 384, (-eye[2] / 10 + 1) / 2};
    }

    static std::vector<GLfloat> Capture(GLenum type, void (*draw)()) { return quelt::test::CaptureFeedback(type, draw); }

    Mat rotation_{};
};

TEST_F(FeedbackTest, AxisSendsThreeColouredLinesAndLeavesBlue) {
    glColor3f(0.3f, 0.3f, 0.3f);
    const std::vector<GLfloat> fb = Capture(GL_3D_COLOR, [] { quelt::Axis(2); });
    // Each line: token, then two vertices of x, y, z and RGBA.
    ASSERT_EQ(3u * (1 + 2 * 7), fb.size());
    const Vec ends[3] = {{2, 0, 0}, {0, 2, 0}, {0, 0, 2}};
    for (int line = 0; line < 3; ++line) {
        const GLfloat* p = &fb[static_cast<std::size_t>(line) * 15];
        EXPECT_TRUE(p[0] == GL_LINE_TOKEN || p[0] == GL_LINE_RESET_TOKEN);
        for (int vertex = 0; vertex < 2; ++vertex) {
            const GLfloat* v = p + 1 + vertex * 7;
            const Vec expected = ToWindow(vertex == 0 ? Vec{0, 0, 0} : ends[line]);
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(expected[i], v[i], 1e-3) << "line " << line;
            for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(c == line ? 1.0f : 0.0f, v[3 + c]) << "line " << line;
            EXPECT_FLOAT_EQ(1.0f, v[6]);
        }
    }
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(0, colour[0]);
    EXPECT_FLOAT_EQ(0, colour[1]);
    EXPECT_FLOAT_EQ(1, colour[2]);
}

struct Corner {
    double s, t, x, y, z;
};

// Signed area in window space: the winding the rasteriser sees.
double Winding(const std::vector<Vec>& points) {
    double area = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Vec& a = points[i];
        const Vec& b = points[(i + 1) % points.size()];
        area += a[0] * b[1] - b[0] * a[1];
    }
    return area;
}

TEST_F(FeedbackTest, BoxSendsTheTwentyFourCornersWithTheirTextureCoordinatesAndWindings) {
    // The box's faces, as applications have drawn them: the mixed windings are intended.
    const Corner quads[6][4] = {
        {{1, 1, 1, 2, 3}, {1, 0, 1, -2, 3}, {0, 0, 1, -2, -3}, {0, 1, 1, 2, -3}},
        {{1, 1, -1, 2, 3}, {1, 0, -1, -2, 3}, {0, 0, -1, -2, -3}, {0, 1, -1, 2, -3}},
        {{1, 1, 1, 2, 3}, {0, 1, -1, 2, 3}, {0, 0, -1, 2, -3}, {1, 0, 1, 2, -3}},
        {{1, 1, 1, -2, 3}, {0, 1, -1, -2, 3}, {0, 0, -1, -2, -3}, {1, 0, 1, -2, -3}},
        {{1, 1, 1, 2, 3}, {1, 0, 1, -2, 3}, {0, 0, -1, -2, 3}, {0, 1, -1, 2, 3}},
        {{1, 1, 1, 2, -3}, {1, 0, 1, -2, -3}, {0, 0, -1, -2, -3}, {0, 1, -1, 2, -3}},
    };
    // Seen from outside, quads 1, 4 and 6 run counter-clockwise.
    const bool counterClockwiseOutside[6] = {true, false, false, true, false, true};

    glTexCoord4f(0.5f, 0.5f, 0.5f, 1);
    const std::vector<GLfloat> fb = Capture(GL_3D_COLOR_TEXTURE, [] { quelt::SolidBox(2, 4, 6); });

    // Polygons as (vertex, texcoord) lists; a quad may arrive split in triangles.
    struct Sent {
        Vec position;
        std::array<double, 4> tex;
    };
    std::vector<std::vector<Sent>> polygons;
    for (std::size_t i = 0; i < fb.size();) {
        ASSERT_EQ(GLfloat(GL_POLYGON_TOKEN), fb[i]) << "at " << i;
        const int count = static_cast<int>(fb[i + 1]);
        i += 2;
        std::vector<Sent> polygon;
        for (int v = 0; v < count; ++v, i += 11) {
            ASSERT_LE(i + 11, fb.size());
            polygon.push_back({{fb[i], fb[i + 1], fb[i + 2]}, {fb[i + 7], fb[i + 8], fb[i + 9], fb[i + 10]}});
        }
        polygons.push_back(polygon);
    }
    ASSERT_FALSE(polygons.empty());
    ASSERT_EQ(0u, polygons.size() % 6) << "every quad must arrive, split the same way";
    const std::size_t perQuad = polygons.size() / 6;

    for (int quad = 0; quad < 6; ++quad) {
        std::vector<Vec> expectedWindow;
        for (const Corner& c : quads[quad]) expectedWindow.push_back(ToWindow({c.x, c.y, c.z}));
        // Looking at the face from outside means its outward normal points at the viewer (+z eye);
        // window z grows away from the viewer, so compare against the face's eye-space normal.
        const Corner& a = quads[quad][0];
        const Vec outward{a.x * (quad / 2 == 0), a.y * (quad / 2 == 1), a.z * (quad / 2 == 2)};
        const Vec normalEye{rotation_[2] * outward[0] + rotation_[6] * outward[1] + rotation_[10] * outward[2], 0, 0};
        const bool facesViewer = normalEye[0] > 0;
        const bool counterClockwiseOnScreen = counterClockwiseOutside[quad] == facesViewer;
        ASSERT_EQ(counterClockwiseOnScreen, Winding(expectedWindow) > 0) << "test geometry, quad " << quad;

        std::set<int> seen;
        for (std::size_t p = 0; p < perQuad; ++p) {
            const std::vector<Sent>& polygon = polygons[quad * perQuad + p];
            std::vector<Vec> points;
            for (const Sent& sent : polygon) {
                points.push_back(sent.position);
                int match = -1;
                for (int k = 0; k < 4; ++k) {
                    const Vec& w = expectedWindow[k];
                    if (std::fabs(w[0] - sent.position[0]) < 1e-3 && std::fabs(w[1] - sent.position[1]) < 1e-3 &&
                        std::fabs(w[2] - sent.position[2]) < 1e-5)
                        match = k;
                }
                ASSERT_GE(match, 0) << "quad " << quad << " got a vertex from elsewhere";
                seen.insert(match);
                EXPECT_FLOAT_EQ(quads[quad][match].s, sent.tex[0]) << "quad " << quad << " corner " << match;
                EXPECT_FLOAT_EQ(quads[quad][match].t, sent.tex[1]) << "quad " << quad << " corner " << match;
                EXPECT_FLOAT_EQ(0, sent.tex[2]) << "quad " << quad << " corner " << match;
                EXPECT_FLOAT_EQ(1, sent.tex[3]) << "quad " << quad << " corner " << match;
            }
            EXPECT_EQ(counterClockwiseOnScreen, Winding(points) > 0) << "quad " << quad << " winding";
        }
        EXPECT_EQ(4u, seen.size()) << "quad " << quad << " must use its four corners";
    }
}

class QuadricTest : public Draw3DTest {
protected:
    void SetUp() override {
        Draw3DTest::SetUp();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-4.0 / 3, 4.0 / 3, -1, 1, -10, 10); // square pixels: 384 pixels per unit
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
    }
    void TearDown() override {
        quelt::deleteSharedQuadric();
        Draw3DTest::TearDown();
    }

    // Logical pixel of the object-space point (x, y).
    bool Lit(double x, double y) {
        const int px = static_cast<int>(512 + x * 384);
        const int py = static_cast<int>(384 - y * 384);
        return window().ReadPixel(px, py)[0] > 128;
    }
};

TEST_F(QuadricTest, SphereAndCylinderDrawNothingWithoutTheSharedQuadric) {
    ASSERT_FALSE(quelt::HasSharedQuadric());
    quelt::SolidSphere(0.5f);
    quelt::SolidCylinder(0.3f, 0.3f, 1);
    EXPECT_FALSE(Lit(0, 0));
    EXPECT_FALSE(Lit(0.1, 0.1));

    quelt::createSharedQuadric();
    quelt::deleteSharedQuadric();
    quelt::SolidSphere(0.5f);
    EXPECT_FALSE(Lit(0, 0));
}

TEST_F(QuadricTest, SphereCoversItsDisc) {
    quelt::createSharedQuadric();
    ASSERT_TRUE(quelt::HasSharedQuadric());
    quelt::SolidSphere(0.5f);
    // 15 slices cut the outline slightly inside the true circle.
    for (double angle = 0; angle < 2 * kPi; angle += kPi / 8) {
        const double c = std::cos(angle), s = std::sin(angle);
        EXPECT_TRUE(Lit(0.44 * c, 0.44 * s)) << "inside at " << angle;
        EXPECT_FALSE(Lit(0.55 * c, 0.55 * s)) << "outside at " << angle;
    }
    EXPECT_TRUE(Lit(0, 0));
}

TEST_F(QuadricTest, CylinderRunsAlongZFromZeroToItsHeight) {
    quelt::createSharedQuadric();
    glRotatef(90, 0, 1, 0); // +Z onto +X
    quelt::SolidCylinder(0.3f, 0.1f, 1);
    EXPECT_TRUE(Lit(0.05, 0));
    EXPECT_TRUE(Lit(0.05, 0.25)); // near the wide base
    EXPECT_TRUE(Lit(0.95, 0));
    EXPECT_FALSE(Lit(0.95, 0.2)); // the top is narrow
    EXPECT_FALSE(Lit(-0.05, 0));
    EXPECT_FALSE(Lit(1.05, 0));
}

// The solids must send what GLU itself sends for 15 slices and stacks with a
// filled, smoothly lit, textured, outward quadric. Lighting is on, so the
// captured colours also carry the normals.
class ReferenceQuadricTest : public FeedbackTest {
protected:
    void SetUp() override {
        FeedbackTest::SetUp();
        const GLfloat light[4] = {0.3f, 0.8f, 0.5f, 0};
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        glEnable(GL_LIGHT0);
        glEnable(GL_LIGHTING);
        quelt::createSharedQuadric();
        reference_ = gluNewQuadric();
    }
    void TearDown() override {
        gluDeleteQuadric(reference_);
        quelt::deleteSharedQuadric();
        FeedbackTest::TearDown();
    }
    void Configure(GLenum normals) {
        gluQuadricDrawStyle(reference_, GLU_FILL);
        gluQuadricNormals(reference_, normals);
        gluQuadricTexture(reference_, GL_TRUE);
        gluQuadricOrientation(reference_, GLU_OUTSIDE);
    }
    static GLUquadric* reference_;
};
GLUquadric* ReferenceQuadricTest::reference_ = nullptr;

TEST_F(ReferenceQuadricTest, SphereAndCylinderSendWhatGluSendsForTheirSettings) {
    Configure(GLU_SMOOTH);
    const std::vector<GLfloat> sphere = Capture(GL_3D_COLOR_TEXTURE, [] { quelt::SolidSphere(3); });
    const std::vector<GLfloat> sphereRef = Capture(GL_3D_COLOR_TEXTURE, [] { gluSphere(reference_, 3, 15, 15); });
    ASSERT_GT(sphere.size(), 100u);
    EXPECT_EQ(sphereRef, sphere);

    const std::vector<GLfloat> cylinder = Capture(GL_3D_COLOR_TEXTURE, [] { quelt::SolidCylinder(2, 1, 4); });
    const std::vector<GLfloat> cylinderRef =
        Capture(GL_3D_COLOR_TEXTURE, [] { gluCylinder(reference_, 2, 1, 4, 15, 15); });
    ASSERT_GT(cylinder.size(), 100u);
    EXPECT_EQ(cylinderRef, cylinder);

    // The comparison sees the normals: flat ones give other colours.
    Configure(GLU_FLAT);
    EXPECT_NE(Capture(GL_3D_COLOR_TEXTURE, [] { gluSphere(reference_, 3, 15, 15); }), sphere);
}

TEST_F(Draw3DTest, Dot3ModeThenResetLeavesBothUnitsModulatingWithUnitZeroActive) {
    quelt::SetDot3Mode();
    auto env = [](GLenum unit, GLenum name) {
        glActiveTexture(unit);
        GLint value = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, name, &value);
        return value;
    };
    EXPECT_EQ(GL_TEXTURE0, Integer(GL_ACTIVE_TEXTURE));
    EXPECT_EQ(GL_COMBINE, env(GL_TEXTURE1, GL_TEXTURE_ENV_MODE));
    EXPECT_EQ(GL_PREVIOUS, env(GL_TEXTURE1, GL_SOURCE0_RGB));
    EXPECT_EQ(GL_TEXTURE, env(GL_TEXTURE1, GL_SOURCE1_RGB));
    EXPECT_EQ(GL_DOT3_RGB, env(GL_TEXTURE1, GL_COMBINE_RGB));
    EXPECT_EQ(GL_COMBINE, env(GL_TEXTURE0, GL_TEXTURE_ENV_MODE));
    EXPECT_EQ(GL_TEXTURE, env(GL_TEXTURE0, GL_SOURCE0_RGB));
    EXPECT_EQ(GL_REPLACE, env(GL_TEXTURE0, GL_COMBINE_RGB));

    glActiveTexture(GL_TEXTURE1);
    quelt::ResetEnvMode();
    EXPECT_EQ(GL_TEXTURE0, Integer(GL_ACTIVE_TEXTURE));
    EXPECT_EQ(GL_MODULATE, env(GL_TEXTURE1, GL_TEXTURE_ENV_MODE));
    EXPECT_EQ(GL_MODULATE, env(GL_TEXTURE0, GL_TEXTURE_ENV_MODE));
    EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
}

TEST_F(Draw3DTest, Dot3ModeComputesTheDotProductOfBothTextures) {
    // Unit 0 gives a = (1, 0.5, 0.5), unit 1 b = (1, 0.5, 0.5): 4 * 0.25 = 1 in every channel.
    auto solidTexture = [](GLenum unit, const GLubyte rgb[3]) {
        glActiveTexture(unit);
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        const GLubyte texel[4] = {rgb[0], rgb[1], rgb[2], 255};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        glEnable(GL_TEXTURE_2D);
    };
    const GLubyte a[3] = {255, 128, 128};
    const GLubyte b[3] = {255, 128, 128};
    solidTexture(GL_TEXTURE0, a);
    solidTexture(GL_TEXTURE1, b);
    quelt::SetDot3Mode();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.2f, 0.2f, 0.2f);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    const quelt::test::Rgba pixel = window().ReadPixel(512, 384);
    EXPECT_GE(pixel[0], 250);
    EXPECT_GE(pixel[1], 250);
    EXPECT_GE(pixel[2], 250);

    // Back to modulation: the colour shows through the textures again.
    quelt::ResetEnvMode();
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    const quelt::test::Rgba modulated = window().ReadPixel(512, 384);
    EXPECT_NEAR(51, modulated[0], 3);  // 0.2 * 1.0 * 1.0
    EXPECT_NEAR(13, modulated[1], 3);  // 0.2 * 0.5 * 0.5
}

} // namespace
