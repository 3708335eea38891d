// SPDX-License-Identifier: Zlib
// Key parameters of tension/continuity/bias spline tracks as the 3DS key-frame
// section stores them. Only read, never evaluated: loaded models draw in the
// pose of their mesh data.
#pragma once

#include <cstdint>
#include <vector>

namespace quelt {

class TData;

struct TkbPoint {
    float Unused0 = 0;
    float Frame = 0;
    float Tension = 0;
    float Bias = 0;
    float EaseFrom = 0;
    float EaseTo = 0;
    float Continuity = 0;
    float Unused7 = 0;
    float Unused8 = 0;
};
static_assert(sizeof(TkbPoint) == 36, "a key record is nine floats");

using TArraykbPoint = std::vector<TkbPoint>;

// Flag bits of a key: each set bit is followed by one float, in bit order.
enum : std::uint16_t {
    kbTension = 1,
    kbContinuity = 2,
    kbBias = 4,
    kbEaseTo = 8,
    kbEaseFrom = 16,
};

// Reads a key's u32 frame, u16 flags and the parameters the flags select;
// parameters whose bit is clear are 0.
TkbPoint ReadKbPoint(TData& data);

} // namespace quelt
