// SPDX-License-Identifier: Zlib
// Masking every floating-point exception for the whole process, so that
// infinities and NaNs propagate instead of trapping: glibc's
// fedisableexcept, the C runtime's _controlfp on Windows.
#pragma once

namespace quelt {

void MaskFloatingPointTraps();

} // namespace quelt
