// SPDX-License-Identifier: Zlib
#include "QGamepad.h"

#include <quelt/quelt.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "QUtils.h"
#include "QWin.h"

namespace quelt {
namespace {

constexpr int kAxisCount = QPAD_TRIGGERRIGHT + 1;
constexpr int kNoDevice = -1;

using Axes = std::array<std::int32_t, kAxisCount>; // raw values, as the platform gives them

struct GamepadState {
    bool on = false;
    std::array<std::int32_t, kMaxGamepads> device{kNoDevice, kNoDevice, kNoDevice, kNoDevice};
    // Every pad connected, numbered or not: a pad that found all numbers
    // taken waits, with its axes kept, for the first number to come free.
    std::map<std::int32_t, Axes> axes;
    std::vector<std::int32_t> waiting;
};

GamepadState state;

int SlotOf(std::int32_t device) {
    if (device == kNoDevice) return -1;
    const auto slot = std::find(state.device.begin(), state.device.end(), device);
    return slot == state.device.end() ? -1 : static_cast<int>(slot - state.device.begin());
}

float Unit(std::int32_t raw) { return std::clamp(static_cast<float>(raw) / 32767.0f, -1.0f, 1.0f); }

// 0 within the dead zone, then even growth to 1 at full travel.
float PastDeadZone(float travel, float deadZone) {
    return travel <= deadZone ? 0.0f : std::min(1.0f, (travel - deadZone) / (1.0f - deadZone));
}

float TriggerValue(std::int32_t raw) { return PastDeadZone(std::max(0.0f, Unit(raw)), kTriggerDeadZone); }

// A round dead zone: the stick's distance from the centre is scaled, its
// direction kept, so that small diagonal play reads as rest too.
float StickValue(std::int32_t rawX, std::int32_t rawY, bool wantY) {
    const float x = Unit(rawX), y = Unit(rawY);
    const float distance = std::hypot(x, y);
    const float scaled = PastDeadZone(distance, kStickDeadZone);
    return scaled == 0.0f ? 0.0f : (wantY ? y : x) * scaled / distance;
}

float AxisValue(const Axes& axes, std::int32_t axis) {
    switch (axis) {
    case QPAD_LEFTX:
    case QPAD_LEFTY: return StickValue(axes[QPAD_LEFTX], axes[QPAD_LEFTY], axis == QPAD_LEFTY);
    case QPAD_RIGHTX:
    case QPAD_RIGHTY: return StickValue(axes[QPAD_RIGHTX], axes[QPAD_RIGHTY], axis == QPAD_RIGHTY);
    default: return TriggerValue(axes[static_cast<std::size_t>(axis)]);
    }
}

// A press the table already shows, or a release it never saw (a button held
// as the pad arrived), changes nothing.
void SetButton(int slot, std::int32_t firstPadCode, bool down) {
    const std::int32_t code = QK_PAD(slot, firstPadCode);
    if (down == IsKeyPressed(code)) return;
    if (down)
        PressButton(code);
    else
        ReleaseButton(code);
}

void ReleaseAll(int slot) {
    for (std::int32_t code = QK_PAD_A; code < QK_PAD_A + QK_PAD_STRIDE; ++code) SetButton(slot, code, false);
}

void TriggerMoved(int slot, std::int32_t axis, float value) {
    const std::int32_t button = axis == QPAD_TRIGGERLEFT ? QK_PAD_LEFTTRIGGER : QK_PAD_RIGHTTRIGGER;
    if (value >= kTriggerPressed) SetButton(slot, button, true);
    if (value < kTriggerReleased) SetButton(slot, button, false);
}

void Added(std::int32_t device) {
    if (!state.axes.emplace(device, Axes{}).second) return;
    const auto free = std::find(state.device.begin(), state.device.end(), kNoDevice);
    if (free == state.device.end())
        state.waiting.push_back(device);
    else
        *free = device;
}

void Removed(std::int32_t device) {
    state.axes.erase(device);
    state.waiting.erase(std::remove(state.waiting.begin(), state.waiting.end(), device), state.waiting.end());
    const int slot = SlotOf(device);
    if (slot < 0) return;
    // The pad is gone before the release procedure hears of its buttons.
    state.device[static_cast<std::size_t>(slot)] = kNoDevice;
    ReleaseAll(slot);
    if (!state.waiting.empty() && state.device[static_cast<std::size_t>(slot)] == kNoDevice) {
        state.device[static_cast<std::size_t>(slot)] = state.waiting.front();
        state.waiting.erase(state.waiting.begin());
    }
}

void AxisMoved(std::int32_t device, std::int32_t axis, std::int32_t raw) {
    const auto axes = state.axes.find(device);
    if (axes == state.axes.end() || axis < 0 || axis >= kAxisCount) return;
    axes->second[static_cast<std::size_t>(axis)] = raw;
    const int slot = SlotOf(device);
    if (slot >= 0 && (axis == QPAD_TRIGGERLEFT || axis == QPAD_TRIGGERRIGHT))
        TriggerMoved(slot, axis, TriggerValue(raw));
}

bool ValidPad(std::int32_t pad) {
    if (pad >= 0 && pad < kMaxGamepads) return true;
    SetLastError("Gamepad " + std::to_string(pad) + " does not exist: pads are numbered 0 to " +
                 std::to_string(kMaxGamepads - 1));
    return false;
}

} // namespace

bool SetGamepads(bool on) {
    if (on == state.on) return true;
    Platform& platform = CurrentPlatform();
    if (on) {
        if (!platform.StartGamepads()) return Refuse("Cannot start the gamepads: " + platform.GamepadError());
        state.on = true;
        return true;
    }
    state.on = false;
    platform.StopGamepads();
    const auto devices = state.device;
    state = GamepadState{};
    for (int slot = 0; slot < kMaxGamepads; ++slot)
        if (devices[static_cast<std::size_t>(slot)] != kNoDevice) ReleaseAll(slot);
    return true;
}

bool IsGamepadConnected(std::int32_t pad) {
    return ValidPad(pad) && state.device[static_cast<std::size_t>(pad)] != kNoDevice;
}

float GetGamepadAxis(std::int32_t pad, std::int32_t axis) {
    if (!ValidPad(pad)) return 0.0f;
    if (axis < 0 || axis >= kAxisCount) {
        SetLastError("Gamepad axis " + std::to_string(axis) + " does not exist: QPAD_LEFTX (0) to QPAD_TRIGGERRIGHT (" +
                     std::to_string(kAxisCount - 1) + ")");
        return 0.0f;
    }
    const std::int32_t device = state.device[static_cast<std::size_t>(pad)];
    if (device == kNoDevice) return 0.0f;
    return AxisValue(state.axes.at(device), axis);
}

void GamepadMessage(const PlatformMessage& message) {
    using Kind = PlatformMessage::Kind;
    if (!state.on) return;
    const int slot = SlotOf(message.device);
    switch (message.kind) {
    case Kind::PadAdded: Added(message.device); break;
    case Kind::PadRemoved: Removed(message.device); break;
    case Kind::PadDown:
    case Kind::PadUp:
        if (slot >= 0 && message.code >= QK_PAD_A && message.code < QK_PAD_A + QK_PAD_STRIDE)
            SetButton(slot, message.code, message.kind == Kind::PadDown);
        break;
    case Kind::PadAxis: AxisMoved(message.device, message.code, static_cast<std::int32_t>(message.position)); break;
    default: break;
    }
}

} // namespace quelt
