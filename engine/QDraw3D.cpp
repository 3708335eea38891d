// SPDX-License-Identifier: Zlib
#include "QDraw3D.h"

#include "MQuat.h"
#include "MVector.h"
#include "QWin.h"
#include "platform/GL.h"

namespace quelt {
namespace {

constexpr GLint kQuadricSlices = 15;
constexpr GLint kQuadricStacks = 15;

GLUquadric* sharedQuadric = nullptr;

struct BoxCorner {
    float s, t;
    float x, y, z; // signs of the half extents
};

// Quads +X, -X, +Y, -Y, +Z, -Z. Their windings are not uniform (1, 4 and 6
// run counter-clockwise from outside, the others clockwise); applications
// depend on exactly which faces survive back-face culling.
constexpr BoxCorner kBoxCorners[24] = {
    {1, 1, +1, +1, +1}, {1, 0, +1, -1, +1}, {0, 0, +1, -1, -1}, {0, 1, +1, +1, -1},
    {1, 1, -1, +1, +1}, {1, 0, -1, -1, +1}, {0, 0, -1, -1, -1}, {0, 1, -1, +1, -1},
    {1, 1, +1, +1, +1}, {0, 1, -1, +1, +1}, {0, 0, -1, +1, -1}, {1, 0, +1, +1, -1},
    {1, 1, +1, -1, +1}, {0, 1, -1, -1, +1}, {0, 0, -1, -1, -1}, {1, 0, +1, -1, -1},
    {1, 1, +1, +1, +1}, {1, 0, +1, -1, +1}, {0, 0, -1, -1, +1}, {0, 1, -1, +1, +1},
    {1, 1, +1, +1, -1}, {1, 0, +1, -1, -1}, {0, 0, -1, -1, -1}, {0, 1, -1, +1, -1},
};

} // namespace

void createSharedQuadric() {
    deleteSharedQuadric();
    sharedQuadric = gluNewQuadric();
    if (!sharedQuadric) return;
    gluQuadricDrawStyle(sharedQuadric, GLU_FILL);
    gluQuadricNormals(sharedQuadric, GLU_SMOOTH);
    gluQuadricTexture(sharedQuadric, GL_TRUE);
    gluQuadricOrientation(sharedQuadric, GLU_OUTSIDE);
}

void deleteSharedQuadric() {
    if (!sharedQuadric) return;
    gluDeleteQuadric(sharedQuadric);
    sharedQuadric = nullptr;
}

bool HasSharedQuadric() { return sharedQuadric != nullptr; }

void Set3D(float fovy, float zNear, float zFar) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double aspect = static_cast<double>(ScreenWidth()) / static_cast<double>(ScreenHeight());
    gluPerspective(fovy, aspect, zNear, zFar);
    glMatrixMode(GL_MODELVIEW);
}

void Axis(float length) {
    glBegin(GL_LINES);
    glColor3f(1, 0, 0);
    glVertex3f(0, 0, 0);
    glVertex3f(length, 0, 0);
    glColor3f(0, 1, 0);
    glVertex3f(0, 0, 0);
    glVertex3f(0, length, 0);
    glColor3f(0, 0, 1);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 0, length);
    glEnd();
}

void SolidSphere(float radius) {
    if (!sharedQuadric) return;
    gluSphere(sharedQuadric, radius, kQuadricSlices, kQuadricStacks);
}

void SolidCylinder(float baseRadius, float topRadius, float height) {
    if (!sharedQuadric) return;
    gluCylinder(sharedQuadric, baseRadius, topRadius, height, kQuadricSlices, kQuadricStacks);
}

void SolidBox(float sizeX, float sizeY, float sizeZ) {
    const float hx = sizeX / 2, hy = sizeY / 2, hz = sizeZ / 2;
    glBegin(GL_QUADS);
    for (const BoxCorner& corner : kBoxCorners) {
        glTexCoord3f(corner.s, corner.t, 0);
        glVertex3f(corner.x * hx, corner.y * hy, corner.z * hz);
    }
    glEnd();
}

void ResetEnvMode() {
    glActiveTexture(GL_TEXTURE1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glActiveTexture(GL_TEXTURE0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void SetDot3Mode() {
    glActiveTexture(GL_TEXTURE1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_DOT3_RGB);
    glActiveTexture(GL_TEXTURE0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_REPLACE);
}

void Camera(const TVec3D& pos, const TVec3D& dir, float roll) {
    // Read everything first: pos and dir may be the same record.
    const TVec3D eye = pos;
    const TVec3D forward = dir;
    const TVec3D side = cross3D(forward, vec3D(0, 1, 0));
    const TVec3D up = cross3D(side, forward);
    const TVec3D rolledUp = quatRotate(up, quatFromAxisAngle(forward, roll));
    // The centre is summed in double: far from the origin a float sum would
    // round away most of a short direction.
    const double centreX = double(eye.x) + forward.x, centreY = double(eye.y) + forward.y,
                 centreZ = double(eye.z) + forward.z;
    gluLookAt(eye.x, eye.y, eye.z, centreX, centreY, centreZ, rolledUp.x, rolledUp.y, rolledUp.z);
}

} // namespace quelt
