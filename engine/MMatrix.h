// SPDX-License-Identifier: Zlib
// The 4 x 4 column-major matrix record's two helpers.
#pragma once

#include <quelt/quelt.h>

namespace quelt {

void matIdentity(TMatrix4& matrix);
TMatrix4 matTranslation(const TVec3D& v);

} // namespace quelt
