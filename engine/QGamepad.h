// SPDX-License-Identifier: Zlib
// Gamepads: up to four pads numbered in the order they arrive, their buttons
// as key codes in the window's key table, their sticks and triggers scaled
// to -1..1 and 0..1 past a dead zone.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace quelt {

constexpr int kMaxGamepads = 4;
// The dead zones, in parts of full travel.
constexpr float kStickDeadZone = 0.25f;
constexpr float kTriggerDeadZone = 0.1f;
// A trigger's button goes down at this position and up again below the other.
constexpr float kTriggerPressed = 0.5f;
constexpr float kTriggerReleased = 0.25f;

// On starts the platform's gamepads; false, with a reason, when refused.
// Off releases every button held and forgets the pads.
bool SetGamepads(bool on);
// False, with a reason, for a number outside 0 to kMaxGamepads - 1.
bool IsGamepadConnected(std::int32_t pad);
// 0, with a reason, for a pad or axis out of range; 0 for a pad not there.
float GetGamepadAxis(std::int32_t pad, std::int32_t axis);

// The window procedure's part for the Pad* messages.
void GamepadMessage(const PlatformMessage& message);

} // namespace quelt
