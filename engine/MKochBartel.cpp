// SPDX-License-Identifier: Zlib
#include "MKochBartel.h"

#include "SData.h"

namespace quelt {

TkbPoint ReadKbPoint(TData& data) {
    TkbPoint key;
    key.Frame = static_cast<float>(data.ReadDWord());
    const std::uint16_t flags = data.ReadWord();
    if (flags & kbTension) key.Tension = data.ReadSingle();
    if (flags & kbContinuity) key.Continuity = data.ReadSingle();
    if (flags & kbBias) key.Bias = data.ReadSingle();
    if (flags & kbEaseTo) key.EaseTo = data.ReadSingle();
    if (flags & kbEaseFrom) key.EaseFrom = data.ReadSingle();
    return key;
}

} // namespace quelt
