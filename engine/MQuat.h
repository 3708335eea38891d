// SPDX-License-Identifier: Zlib
// Quaternions (scalar part first), used by the camera.
#pragma once

#include <quelt/quelt.h>

namespace quelt {

TQuat quatFromVector(const TVec3D& v, float w);
// The axis is used as given, not normalised; the result is normalised.
TQuat quatFromAxisAngle(const TVec3D& axis, float degrees);
TQuat quatMul(const TQuat& a, const TQuat& b);
// conj(q) * (0, v) * q: turns v by -2h about the axis of (cos h, u sin h).
TVec3D quatRotate(const TVec3D& v, const TQuat& q);
float quatLength(const TQuat& q);
TQuat quatConjugate(const TQuat& q);
// The conjugate: correct for unit quaternions only.
TQuat quatInverse(const TQuat& q);
TQuat quatNormalize(const TQuat& q);

} // namespace quelt
