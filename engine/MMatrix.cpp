// SPDX-License-Identifier: Zlib
#include "MMatrix.h"

namespace quelt {

void matIdentity(TMatrix4& matrix) {
    for (int i = 0; i < 16; ++i) matrix.m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

TMatrix4 matTranslation(const TVec3D& v) {
    TMatrix4 matrix;
    matIdentity(matrix);
    matrix.m[12] = v.x;
    matrix.m[13] = v.y;
    matrix.m[14] = v.z;
    return matrix;
}

} // namespace quelt
