// SPDX-License-Identifier: Zlib
#include "MVector.h"

#include <cmath>
#include <cstdint>

namespace quelt {
namespace {

// Library-wide generator: seed 0 at load, never reseeded, so every run draws
// the same sequence.
std::uint32_t randomSeed = 0;

double Draw() {
    randomSeed = randomSeed * 134775813u + 1u;
    return randomSeed * (1.0 / 4294967296.0);
}

float F(double value) { return static_cast<float>(value); }

} // namespace

TVec2D vec2D(float x, float y) { return {x, y}; }
TVec2D add2D(const TVec2D& a, const TVec2D& b) { return {F(double(a.x) + b.x), F(double(a.y) + b.y)}; }
TVec2D sub2D(const TVec2D& a, const TVec2D& b) { return {F(double(a.x) - b.x), F(double(a.y) - b.y)}; }
TVec2D mul2D(const TVec2D& v, float s) { return {F(double(v.x) * s), F(double(v.y) * s)}; }
TVec2D inv2D(const TVec2D& v) { return {-v.x, -v.y}; }
float dot2D(const TVec2D& a, const TVec2D& b) { return F(double(a.x) * b.x + double(a.y) * b.y); }
float len2D(const TVec2D& v) { return F(std::sqrt(double(v.x) * v.x + double(v.y) * v.y)); }
float dist2D(const TVec2D& a, const TVec2D& b) { return len2D(sub2D(b, a)); }

TVec2D norm2D(const TVec2D& v) {
    const float length = len2D(v);
    // A zero or NaN length leaves the vector as it is.
    if (length == 0.0f || std::isnan(length)) return v;
    return mul2D(v, F(1.0 / length));
}

TVec3D vec3D(float x, float y, float z) { return {x, y, z}; }

TVec3D add3D(const TVec3D& a, const TVec3D& b) {
    return {F(double(a.x) + b.x), F(double(a.y) + b.y), F(double(a.z) + b.z)};
}

TVec3D sub3D(const TVec3D& a, const TVec3D& b) {
    return {F(double(a.x) - b.x), F(double(a.y) - b.y), F(double(a.z) - b.z)};
}

TVec3D mul3D(const TVec3D& v, float s) { return {F(double(v.x) * s), F(double(v.y) * s), F(double(v.z) * s)}; }
TVec3D inv3D(const TVec3D& v) { return {-v.x, -v.y, -v.z}; }

float dot3D(const TVec3D& a, const TVec3D& b) {
    return F(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z);
}

TVec3D cross3D(const TVec3D& a, const TVec3D& b) {
    return {F(double(a.y) * b.z - double(a.z) * b.y), F(double(a.z) * b.x - double(a.x) * b.z),
            F(double(a.x) * b.y - double(a.y) * b.x)};
}

float len3D(const TVec3D& v) { return F(std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z)); }
float dist3D(const TVec3D& a, const TVec3D& b) { return len3D(sub3D(b, a)); }

TVec3D norm3D(const TVec3D& v) {
    const float length = len3D(v);
    if (length == 0.0f || std::isnan(length)) return v;
    return mul3D(v, F(1.0 / length));
}

TVec3D rand3D(float s) {
    const double r1 = Draw();
    const double r2 = Draw();
    const double r3 = Draw();
    return mul3D(norm3D({F(r1), F(r2), F(r3)}), s);
}

TVec3D signedRand3D(float s) {
    const float twice = F(2.0 * s);
    const double r1 = Draw();
    const double r2 = Draw();
    const double r3 = Draw();
    return mul3D(norm3D({F(r1 - 0.5), F(r2 - 0.5), F(r3 - 0.5)}), twice);
}

TVec4D vec4D(float x, float y, float z, float w) { return {x, y, z, w}; }

void ResetRandomSeed() { randomSeed = 0; }

} // namespace quelt
