// SPDX-License-Identifier: Zlib
#include "platform/FloatingPoint.h"

#include <float.h>

namespace quelt {

// For the x87 unit and SSE alike.
void MaskFloatingPointTraps() { _controlfp(_MCW_EM, _MCW_EM); }

} // namespace quelt
