// SPDX-License-Identifier: Zlib
#include "platform/FloatingPoint.h"

#include <cfenv>

namespace quelt {

void MaskFloatingPointTraps() { fedisableexcept(FE_ALL_EXCEPT); }

} // namespace quelt
