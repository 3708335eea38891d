// SPDX-License-Identifier: Zlib
#include "MQuat.h"

#include <cmath>

#include "MVector.h"

namespace quelt {
namespace {

TVec3D VectorPart(const TQuat& q) { return {q.x, q.y, q.z}; }

} // namespace

TQuat quatFromVector(const TVec3D& v, float w) { return {w, v.x, v.y, v.z}; }

TQuat quatFromAxisAngle(const TVec3D& axis, float degrees) {
    const double half = double(degrees) / 2.0 * M_PI / 180.0;
    const TVec3D v = mul3D(axis, static_cast<float>(std::sin(half)));
    return quatNormalize(quatFromVector(v, static_cast<float>(std::cos(half))));
}

TQuat quatMul(const TQuat& a, const TQuat& b) {
    const TVec3D av = VectorPart(a);
    const TVec3D bv = VectorPart(b);
    const float w = static_cast<float>(double(a.w) * b.w - dot3D(av, bv));
    const TVec3D v = add3D(cross3D(av, bv), add3D(mul3D(av, b.w), mul3D(bv, a.w)));
    return quatFromVector(v, w);
}

TVec3D quatRotate(const TVec3D& v, const TQuat& q) {
    const TQuat p = quatFromVector(v, 0.0f);
    const TQuat t = quatMul(p, q);
    return VectorPart(quatMul(quatConjugate(q), t));
}

float quatLength(const TQuat& q) {
    return static_cast<float>(std::sqrt(double(q.w) * q.w + double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z));
}

TQuat quatConjugate(const TQuat& q) { return {q.w, -q.x, -q.y, -q.z}; }
TQuat quatInverse(const TQuat& q) { return quatConjugate(q); }

TQuat quatNormalize(const TQuat& q) {
    const float length = quatLength(q);
    if (length == 0.0f) return q;
    const TVec3D v = mul3D(VectorPart(q), static_cast<float>(1.0 / length));
    return quatFromVector(v, static_cast<float>(double(q.w) / length));
}

} // namespace quelt
