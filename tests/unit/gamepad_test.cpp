// SPDX-License-Identifier: Zlib
// Gamepads on the SDL platform, driven through SDL's virtual joysticks and
// its own mapping for them (no display needed): buttons as key codes, axes
// past their dead zones, pads coming and going while the engine runs.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "QCore.h"
#include "QGamepad.h"
#include "QUtils.h"
#include "QWin.h"

namespace {

using Event = std::pair<std::int32_t, bool>; // key code, down
std::vector<Event> events;

void KeyDown(std::int32_t key, std::int32_t, std::int32_t) { events.emplace_back(key, true); }
void KeyUp(std::int32_t key, std::int32_t, std::int32_t) { events.emplace_back(key, false); }

// SDL's virtual game controller: 6 axes and 20 buttons in SDL's order; a
// trigger takes the joystick's whole range.
struct VirtualPad {
    SDL_Joystick* joystick = SDL_JoystickOpen(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 20, 0));
    ~VirtualPad() { Detach(); }
    void Detach() {
        for (int index = 0; joystick && index < SDL_NumJoysticks(); ++index)
            if (SDL_JoystickGetDeviceInstanceID(index) == SDL_JoystickInstanceID(joystick))
                SDL_JoystickDetachVirtual(index);
        SDL_JoystickClose(joystick);
        joystick = nullptr;
    }
    void Button(int button, bool down) { SDL_JoystickSetVirtualButton(joystick, button, down); }
    void Axis(int axis, double value) {
        const bool trigger = axis >= QPAD_TRIGGERLEFT; // value: 0 to 1 for a trigger, else -1 to 1
        SDL_JoystickSetVirtualAxis(joystick, axis,
                                   static_cast<Sint16>(trigger ? -32768 + value * 65535 : value * 32767));
    }
};

// Runs the engine's message pass until `done`. SDL holds back the release
// of a quick tap on Guide for a while, so this waits for the event itself;
// the limit only keeps a broken build from hanging.
bool PumpUntil(const std::function<bool()>& done) {
    for (const Uint64 limit = SDL_GetTicks64() + 30000; SDL_GetTicks64() < limit; SDL_Delay(1)) {
        quelt::Msg();
        if (done()) return true;
    }
    return false;
}

bool AxisNear(std::int32_t axis, double expected) {
    return std::fabs(quelt::GetGamepadAxis(0, axis) - expected) < 1e-3;
}

class Gamepads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(quelt::SetGamepads(true));
        quelt::SetProcAdress(PROC_KEYDOWN, reinterpret_cast<TProc>(&KeyDown));
        quelt::SetKeyUpProc(&KeyUp);
        events.clear();
    }
    void TearDown() override {
        quelt::SetGamepads(false);
        quelt::SetProcAdress(PROC_KEYDOWN, nullptr);
        quelt::SetKeyUpProc(nullptr);
    }
    // Waits for the engine to give the pad number `pad`.
    static void Connect(const VirtualPad& virtualPad, int pad) {
        ASSERT_NE(virtualPad.joystick, nullptr) << SDL_GetError();
        ASSERT_TRUE(PumpUntil([&] { return quelt::IsGamepadConnected(pad); })) << "pad " << pad;
    }
};

TEST_F(Gamepads, ButtonsReachTheKeyTableAndTheProcedures) {
    VirtualPad first, second;
    Connect(first, 0);
    Connect(second, 1);
    const struct {
        VirtualPad* pad;
        int button; // SDL's
        std::int32_t code;
    } cases[] = {
        {&first, SDL_CONTROLLER_BUTTON_A, QK_PAD_A},
        {&first, SDL_CONTROLLER_BUTTON_GUIDE, QK_PAD_GUIDE},
        {&first, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, QK_PAD_DPAD_RIGHT},
        {&first, SDL_CONTROLLER_BUTTON_PADDLE4, QK_PAD_PADDLE4},
        {&second, SDL_CONTROLLER_BUTTON_A, QK_PAD(1, QK_PAD_A)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        events.clear();
        c.pad->Button(c.button, true);
        ASSERT_TRUE(PumpUntil([&] { return !events.empty(); }));
        EXPECT_TRUE(quelt::IsKeyPressed(c.code));
        c.pad->Button(c.button, false);
        ASSERT_TRUE(PumpUntil([&] { return events.size() >= 2; }));
        EXPECT_FALSE(quelt::IsKeyPressed(c.code));
        EXPECT_EQ(events, (std::vector<Event>{{c.code, true}, {c.code, false}}));
    }
}

// Sticks past a round dead zone, (distance - 0.25) / 0.75 along their
// direction; triggers past a tenth, and as buttons down from half-way, up
// below a quarter.
TEST_F(Gamepads, AxesScalePastTheirDeadZonesAndTriggersPressButtons) {
    VirtualPad pad;
    Connect(pad, 0);
    const auto diagonal = [](double each) { return (std::sqrt(2.0) * each - 0.25) / 0.75 / std::sqrt(2.0); };
    const struct {
        int axis; // QPAD_* and SDL's virtual axis alike; a stick's y is the next one
        double x, y, expectedX, expectedY;
        bool triggerDown;
    } cases[] = {
        {QPAD_LEFTX, 0.09, -0.09, 0, 0, false}, // play around the centre
        {QPAD_LEFTX, 1, 0, 1, 0, false},
        {QPAD_LEFTX, 0.5, 0, 1.0 / 3, 0, false},
        {QPAD_LEFTX, 0, -1, 0, -1, false},                            // pushed away
        {QPAD_RIGHTX, 0.2, 0.2, diagonal(0.2), diagonal(0.2), false}, // each axis short of 0.25, the distance not
        {QPAD_RIGHTX, -0.61, 0.61, -diagonal(0.61), diagonal(0.61), false},
        {QPAD_TRIGGERLEFT, 0.08, 0, 0, 0, false},
        {QPAD_TRIGGERLEFT, 0.1 + 0.9 * 0.6, 0, 0.6, 0, false},
        {QPAD_TRIGGERRIGHT, 0.1 + 0.9 * 0.45, 0, 0.45, 0, false},
        {QPAD_TRIGGERRIGHT, 0.1 + 0.9 * 0.52, 0, 0.52, 0, true},
        {QPAD_TRIGGERRIGHT, 0.1 + 0.9 * 0.3, 0, 0.3, 0, true},
        {QPAD_TRIGGERRIGHT, 0.1 + 0.9 * 0.2, 0, 0.2, 0, false},
        {QPAD_TRIGGERRIGHT, 0.1 + 0.9 * 0.45, 0, 0.45, 0, false},
        {QPAD_TRIGGERRIGHT, 1, 0, 1, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("axis " + std::to_string(c.axis) + " at " + std::to_string(c.x) + ", " + std::to_string(c.y));
        const bool stick = c.axis < QPAD_TRIGGERLEFT;
        pad.Axis(c.axis, c.x);
        if (stick) pad.Axis(c.axis + 1, c.y);
        ASSERT_TRUE(PumpUntil([&] {
            return AxisNear(c.axis, c.expectedX) && (!stick || AxisNear(c.axis + 1, c.expectedY));
        })) << quelt::GetGamepadAxis(0, c.axis)
            << ", " << quelt::GetGamepadAxis(0, c.axis + 1);
        EXPECT_EQ(quelt::IsKeyPressed(QK_PAD_RIGHTTRIGGER), c.triggerDown);
    }
    EXPECT_EQ(events, (std::vector<Event>{{QK_PAD_LEFTTRIGGER, true},
                                          {QK_PAD_RIGHTTRIGGER, true},
                                          {QK_PAD_RIGHTTRIGGER, false},
                                          {QK_PAD_RIGHTTRIGGER, true}}));
}

// Pads come and go while the engine runs: a pad leaving lets go of what it
// held, the others keep their numbers, and a fifth waits for a free number.
TEST_F(Gamepads, HotPlugKeepsNumbersAndReleasesWhatALeavingPadHeld) {
    VirtualPad pads[4];
    for (int n = 0; n < 4; ++n) Connect(pads[n], n);
    VirtualPad fifth;
    ASSERT_NE(fifth.joystick, nullptr);
    pads[1].Button(SDL_CONTROLLER_BUTTON_GUIDE, true);
    pads[1].Button(SDL_CONTROLLER_BUTTON_X, true);
    pads[1].Axis(QPAD_LEFTX, 1);
    ASSERT_TRUE(PumpUntil([] { return events.size() == 2 && quelt::GetGamepadAxis(1, QPAD_LEFTX) == 1.0f; }));

    events.clear();
    pads[1].Detach();
    ASSERT_TRUE(PumpUntil([] { return events.size() >= 2; }));
    EXPECT_EQ(events, (std::vector<Event>{{QK_PAD(1, QK_PAD_X), false}, {QK_PAD(1, QK_PAD_GUIDE), false}}));
    EXPECT_EQ(quelt::GetGamepadAxis(1, QPAD_LEFTX), 0.0f);
    for (int n = 0; n < 4; ++n) EXPECT_TRUE(quelt::IsGamepadConnected(n)); // the fifth is now pad 1

    events.clear();
    fifth.Button(SDL_CONTROLLER_BUTTON_B, true);
    ASSERT_TRUE(PumpUntil([] { return !events.empty(); }));
    EXPECT_EQ(events, (std::vector<Event>{{QK_PAD(1, QK_PAD_B), true}}));

    // Turning the pads off lets go of that too, and forgets every pad.
    events.clear();
    ASSERT_TRUE(quelt::SetGamepads(false));
    EXPECT_EQ(events, (std::vector<Event>{{QK_PAD(1, QK_PAD_B), false}}));
    for (int n = 0; n < 4; ++n) EXPECT_FALSE(quelt::IsGamepadConnected(n));
}

// Outside the main loop Ctrl+C must still end the program.
TEST_F(Gamepads, LeaveInterruptsToTheProgram) {
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction action {};
        ASSERT_EQ(sigaction(signal, nullptr, &action), 0);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << signal;
    }
}

TEST(GamepadArguments, OutOfRangeGivesZeroAndAReason) {
    const struct {
        std::int32_t pad, axis;
        const char* reason;
    } cases[] = {
        {4, QPAD_LEFTX, "Gamepad 4 does not exist: pads are numbered 0 to 3"},
        {-1, QPAD_LEFTX, "Gamepad -1 does not exist: pads are numbered 0 to 3"},
        {0, 6, "Gamepad axis 6 does not exist: QPAD_LEFTX (0) to QPAD_TRIGGERRIGHT (5)"},
    };
    std::string reason;
    for (const auto& c : cases) {
        EXPECT_EQ(quelt::GetGamepadAxis(c.pad, c.axis), 0.0f);
        EXPECT_TRUE(quelt::TakeLastError(reason));
        EXPECT_EQ(reason, c.reason);
    }
    EXPECT_FALSE(quelt::IsGamepadConnected(4));
    EXPECT_TRUE(quelt::TakeLastError(reason));
    EXPECT_FALSE(quelt::IsGamepadConnected(0)); // off: no pad, and no error
    EXPECT_FALSE(quelt::TakeLastError(reason));
}

} // namespace
