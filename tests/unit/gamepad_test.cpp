// SPDX-License-Identifier: Zlib
// Gamepads on the SDL platform, driven through SDL's virtual joysticks and
// its own mapping for them (no display needed): buttons as key codes, axes
// past their dead zones, pads coming and going while the engine runs.
#include <SDL.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cmath>
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

// A pad as SDL's virtual joystick with a game controller's 6 axes and 20
// buttons, in SDL's order; triggers take the joystick's whole range.
struct VirtualPad {
    SDL_JoystickID id = -1;
    SDL_Joystick* joystick = nullptr;

    VirtualPad() {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 20, 0);
        joystick = index < 0 ? nullptr : SDL_JoystickOpen(index);
        if (joystick) id = SDL_JoystickInstanceID(joystick);
    }
    ~VirtualPad() { Detach(); }
    void Detach() {
        if (!joystick) return;
        for (int index = 0; index < SDL_NumJoysticks(); ++index)
            if (SDL_JoystickGetDeviceInstanceID(index) == id) SDL_JoystickDetachVirtual(index);
        SDL_JoystickClose(joystick);
        joystick = nullptr;
    }
    void Button(int button, bool down) { SDL_JoystickSetVirtualButton(joystick, button, down ? 1 : 0); }
    void Axis(int axis, Sint16 value) { SDL_JoystickSetVirtualAxis(joystick, axis, value); }
    // A trigger pulled `travel` (0 to 1) of the way.
    void Trigger(int axis, double travel) { Axis(axis, static_cast<Sint16>(std::lround(-32768 + travel * 65535))); }
};

// Runs the engine's message pass until `done`. SDL holds back the release
// of a quick tap on Guide for a while, so this waits for the event itself;
// the limit only keeps a broken build from hanging.
bool PumpUntil(const std::function<bool()>& done) {
    const Uint64 limit = SDL_GetTicks64() + 30000;
    while (SDL_GetTicks64() < limit) {
        quelt::Msg();
        if (done()) return true;
        SDL_Delay(1);
    }
    return false;
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
    // A new pad, once the engine has given it number `pad`.
    static void Connect(VirtualPad& virtualPad, int pad) {
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
        {&first, SDL_CONTROLLER_BUTTON_Y, QK_PAD_Y},
        {&first, SDL_CONTROLLER_BUTTON_GUIDE, QK_PAD_GUIDE},
        {&first, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, QK_PAD_RIGHTSHOULDER},
        {&first, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, QK_PAD_DPAD_RIGHT},
        {&first, SDL_CONTROLLER_BUTTON_MISC1, QK_PAD_MISC1},
        {&first, SDL_CONTROLLER_BUTTON_PADDLE4, QK_PAD_PADDLE4},
        {&second, SDL_CONTROLLER_BUTTON_A, QK_PAD(1, QK_PAD_A)},
        {&second, SDL_CONTROLLER_BUTTON_DPAD_UP, QK_PAD(1, QK_PAD_DPAD_UP)},
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

TEST_F(Gamepads, AxesScaleToUnitPastTheirDeadZones) {
    VirtualPad pad;
    Connect(pad, 0);
    // Past the round dead zone: (distance - 0.25) / 0.75 along the stick's direction.
    const auto diagonal = [](double each) {
        return static_cast<float>((std::sqrt(2.0) * each - 0.25) / 0.75 / std::sqrt(2.0));
    };
    const struct {
        int axisX; // QPAD_* and SDL's virtual axis alike; y is the next one
        double x, y;
        float expectedX, expectedY;
    } sticks[] = {
        {QPAD_LEFTX, 0.09, -0.09, 0.0f, 0.0f}, // play around the centre
        {QPAD_LEFTX, 1.0, 0.0, 1.0f, 0.0f},
        {QPAD_LEFTX, -1.0, 0.0, -1.0f, 0.0f},
        {QPAD_LEFTX, 0.5, 0.0, 1.0f / 3, 0.0f},
        {QPAD_LEFTX, 0.0, -1.0, 0.0f, -1.0f},                  // pushed away
        {QPAD_RIGHTX, 0.2, 0.2, diagonal(0.2), diagonal(0.2)}, // each axis short of 0.25, the distance not
        {QPAD_RIGHTX, 0.61, -0.61, diagonal(0.61), -diagonal(0.61)},
    };
    const auto near = [](std::int32_t axis, float expected) {
        return std::fabs(quelt::GetGamepadAxis(0, axis) - expected) < 1e-3f;
    };
    for (const auto& c : sticks) {
        SCOPED_TRACE("axis " + std::to_string(c.axisX) + " at " + std::to_string(c.x) + ", " + std::to_string(c.y));
        pad.Axis(c.axisX, static_cast<Sint16>(std::lround(c.x * 32767)));
        pad.Axis(c.axisX + 1, static_cast<Sint16>(std::lround(c.y * 32767)));
        ASSERT_TRUE(PumpUntil([&] { return near(c.axisX, c.expectedX) && near(c.axisX + 1, c.expectedY); }))
            << quelt::GetGamepadAxis(0, c.axisX) << ", " << quelt::GetGamepadAxis(0, c.axisX + 1);
    }
    const struct {
        int axis;
        double travel;
        float expected;
    } triggers[] = {
        {QPAD_TRIGGERLEFT, 0.08, 0.0f},
        {QPAD_TRIGGERLEFT, 0.55, 0.5f},
        {QPAD_TRIGGERLEFT, 0.0, 0.0f},
        {QPAD_TRIGGERRIGHT, 1.0, 1.0f},
    };
    for (const auto& c : triggers) {
        SCOPED_TRACE("axis " + std::to_string(c.axis) + " at " + std::to_string(c.travel));
        pad.Trigger(c.axis, c.travel);
        ASSERT_TRUE(PumpUntil([&] { return near(c.axis, c.expected); })) << quelt::GetGamepadAxis(0, c.axis);
    }
    EXPECT_EQ(quelt::GetGamepadAxis(1, QPAD_TRIGGERRIGHT), 0.0f); // no such pad
}

// A trigger is also a button: down from half-way, up again below a quarter.
TEST_F(Gamepads, TriggersPressTheirButtonsWithHysteresis) {
    VirtualPad pad;
    Connect(pad, 0);
    const struct {
        double value; // as qGetGamepadAxis reads it
        bool pressed;
    } steps[] = {{0.45, false}, {0.52, true}, {0.3, true}, {0.2, false}, {0.45, false}, {1.0, true}, {0.0, false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.value);
        pad.Trigger(QPAD_TRIGGERRIGHT, 0.1 + 0.9 * step.value);
        ASSERT_TRUE(
            PumpUntil([&] { return std::fabs(quelt::GetGamepadAxis(0, QPAD_TRIGGERRIGHT) - step.value) < 1e-3; }));
        EXPECT_EQ(quelt::IsKeyPressed(QK_PAD_RIGHTTRIGGER), step.pressed);
    }
    EXPECT_EQ(events, (std::vector<Event>{{QK_PAD_RIGHTTRIGGER, true},
                                          {QK_PAD_RIGHTTRIGGER, false},
                                          {QK_PAD_RIGHTTRIGGER, true},
                                          {QK_PAD_RIGHTTRIGGER, false}}));
}

// Pads come and go while the engine runs: a pad leaving lets go of what it
// held, the others keep their numbers, the next one takes the free number,
// and a fifth waits for one.
TEST_F(Gamepads, HotPlugKeepsNumbersAndReleasesWhatALeavingPadHeld) {
    VirtualPad pads[4];
    for (int n = 0; n < 4; ++n) Connect(pads[n], n);
    VirtualPad fifth;
    ASSERT_NE(fifth.joystick, nullptr);
    pads[1].Button(SDL_CONTROLLER_BUTTON_GUIDE, true);
    pads[1].Button(SDL_CONTROLLER_BUTTON_X, true);
    pads[1].Axis(QPAD_LEFTX, 32767);
    ASSERT_TRUE(PumpUntil([] { return events.size() == 2 && quelt::GetGamepadAxis(1, QPAD_LEFTX) == 1.0f; }));

    events.clear();
    pads[1].Detach();
    ASSERT_TRUE(PumpUntil([] { return events.size() >= 2; }));
    EXPECT_EQ(events, (std::vector<Event>{{QK_PAD(1, QK_PAD_X), false}, {QK_PAD(1, QK_PAD_GUIDE), false}}));
    EXPECT_FALSE(quelt::IsKeyPressed(QK_PAD(1, QK_PAD_GUIDE)));
    EXPECT_EQ(quelt::GetGamepadAxis(1, QPAD_LEFTX), 0.0f);
    for (int n : {0, 2, 3}) EXPECT_TRUE(quelt::IsGamepadConnected(n));

    // The fifth pad now answers as pad 1.
    ASSERT_TRUE(quelt::IsGamepadConnected(1));
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
        {0, -1, "Gamepad axis -1 does not exist: QPAD_LEFTX (0) to QPAD_TRIGGERRIGHT (5)"},
    };
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_EQ(quelt::GetGamepadAxis(c.pad, c.axis), 0.0f);
        EXPECT_TRUE(quelt::TakeLastError(reason));
        EXPECT_EQ(reason, c.reason);
    }
    std::string reason;
    EXPECT_FALSE(quelt::IsGamepadConnected(4));
    EXPECT_TRUE(quelt::TakeLastError(reason));
    EXPECT_FALSE(quelt::IsGamepadConnected(0)); // off: no pad, and no error
    EXPECT_FALSE(quelt::TakeLastError(reason));
}

} // namespace
