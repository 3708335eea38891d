// SPDX-License-Identifier: Zlib
// The real engine window under Xvfb (also with a window manager): framebuffer,
// presenting, the loop's frame count, real input events, the key-code table,
// signals and where the screen modes put the window.
#include <GL/gl.h>
#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "GLTestWindow.h"
#include "QConsoling.h"
#include "QCore.h"
#include "QDraw2D.h"
#include "QGamepad.h"
#include "QScreenshot.h"
#include "QUtils.h"
#include "QWin.h"
#include "platform/GL.h"

// Xlib's macros (None, Bool, Status) would clash with the test framework's names.
#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace {

using quelt::test::GLWindowTest;
using quelt::test::Rgba;

TEST_F(GLWindowTest, OpensWithDepthStencilAndLogicalSize) {
    GLint depth = 0, stencil = 0, red = 0, doubleBuffered = 0;
    ::glGetIntegerv(GL_DEPTH_BITS, &depth);
    ::glGetIntegerv(GL_STENCIL_BITS, &stencil);
    ::glGetIntegerv(GL_RED_BITS, &red);
    ::glGetIntegerv(GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_GE(depth, 24);
    EXPECT_GE(stencil, 8);
    EXPECT_EQ(red, 8);
    EXPECT_TRUE(doubleBuffered);
    EXPECT_EQ(window().DrawableWidth(), 1024);
    EXPECT_EQ(window().DrawableHeight(), 768);
    EXPECT_NE(quelt::GetHDC(), 0u);
    EXPECT_NE(quelt::WindowContext(), 0u);
    // The engine's own bound entry points reach the same context.
    EXPECT_NE(quelt::glGetString(GL_VERSION), nullptr);
}

TEST_F(GLWindowTest, ClearReadsBackAndFinishRenderPresents) {
    ::glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    // A green block in the top-left corner checks the read-back orientation.
    ::glEnable(GL_SCISSOR_TEST);
    ::glScissor(0, 768 - 10, 20, 10);
    ::glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glDisable(GL_SCISSOR_TEST);

    EXPECT_EQ(window().ReadPixel(5, 5), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(window().ReadPixel(25, 5), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(window().ReadPixel(5, 15), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(window().ReadPixel(1023, 767), (Rgba{255, 0, 0, 255}));

    quelt::FinishRender();
    EXPECT_EQ(window().ReadPresentedPixel(5, 5), (std::vector<std::uint8_t>{0, 255, 0, 255}));
    EXPECT_EQ(window().ReadPresentedPixel(500, 500), (std::vector<std::uint8_t>{255, 0, 0, 255}));
}

TEST(GLWindowLifecycle, TokenAndContextGoWithTheWindow) {
    std::uint32_t first = 0;
    {
        quelt::test::GLTestWindow window;
        ASSERT_TRUE(window.ok());
        first = quelt::GetHDC();
        EXPECT_NE(first, 0u);
        EXPECT_EQ(quelt::CurrentPlatform().CurrentContext(), quelt::WindowContext());
    }
    EXPECT_EQ(quelt::GetHDC(), 0u);
    EXPECT_EQ(quelt::WindowContext(), 0u);
    quelt::test::GLTestWindow again;
    ASSERT_TRUE(again.ok());
    EXPECT_NE(quelt::GetHDC(), 0u);
    EXPECT_NE(quelt::GetHDC(), first);
}

// Pumps the engine's messages until `done` holds. The time limit only ends a
// failing wait: a busy machine may take seconds to deliver an event.
template <typename F>
bool PumpUntil(F done) {
    const Uint32 start = SDL_GetTicks();
    while (!done()) {
        if (SDL_GetTicks() - start > 30000) return false;
        quelt::Msg();
        SDL_Delay(5);
    }
    return true;
}

// Pumps messages for `ms` milliseconds so the X server catches up.
void Settle(Uint32 ms) {
    const Uint32 start = SDL_GetTicks();
    while (SDL_GetTicks() - start < ms) {
        quelt::Msg();
        SDL_Delay(5);
    }
}

bool Xdotool(const std::string& arguments) { return std::system(("xdotool " + arguments).c_str()) == 0; }

struct KeyCall {
    int key, x, y;
    bool pressedDuringCall;
};
std::vector<KeyCall> keyCalls;
std::vector<std::pair<int, int>> moves;

void RecordKey(std::int32_t key, std::int32_t x, std::int32_t y) {
    keyCalls.push_back({key, x, y, quelt::IsKeyPressed(key)});
}
void RecordMove(std::int32_t x, std::int32_t y) { moves.emplace_back(x, y); }

class GLInputTest : public GLWindowTest {
protected:
    void SetUp() override {
        GLWindowTest::SetUp();
        keyCalls.clear();
        moves.clear();
        quelt::SetProcAdress(4, reinterpret_cast<TProc>(&RecordKey));
        quelt::SetProcAdress(5, reinterpret_cast<TProc>(&RecordMove));
        // Keys reach only the focused window: ask for the focus until the
        // window has it, rather than waiting a fixed time a busy machine outlasts.
        auto* window = reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext());
        ASSERT_TRUE(PumpUntil([window] {
            SDL_SetWindowInputFocus(window);
            return (SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS) != 0;
        }));
        Settle(50);
    }
    void TearDown() override {
        quelt::SetProcAdress(4, nullptr);
        quelt::SetProcAdress(5, nullptr);
        GLWindowTest::TearDown();
    }
};

TEST_F(GLInputTest, RealKeysReachTheTableAfterTheKeyProcedure) {
    ASSERT_TRUE(Xdotool("keydown w"));
    ASSERT_TRUE(PumpUntil([] { return quelt::IsKeyPressed('W'); }));
    ASSERT_FALSE(keyCalls.empty());
    EXPECT_EQ(keyCalls.front().key, 'W');
    EXPECT_FALSE(keyCalls.front().pressedDuringCall);
    ASSERT_TRUE(Xdotool("keyup w"));
    EXPECT_TRUE(PumpUntil([] { return !quelt::IsKeyPressed('W'); }));

    keyCalls.clear();
    ASSERT_TRUE(Xdotool("key Escape"));
    ASSERT_TRUE(PumpUntil([] { return !keyCalls.empty() && !quelt::IsKeyPressed(27); }));
    EXPECT_EQ(keyCalls.front().key, 27);
}

TEST_F(GLInputTest, HeldKeyRepeatsTheProcedureAndStaysPressed) {
    ASSERT_TRUE(Xdotool("keydown x"));
    // The X server repeats after about 660 ms, then every 40 ms or so.
    PumpUntil([] { return keyCalls.size() >= 3; });
    ASSERT_TRUE(Xdotool("keyup x"));
    ASSERT_TRUE(PumpUntil([] { return !quelt::IsKeyPressed('X'); }));
    ASSERT_GE(keyCalls.size(), 3u);
    EXPECT_FALSE(keyCalls[0].pressedDuringCall);
    for (std::size_t i = 1; i < keyCalls.size(); ++i) {
        EXPECT_EQ(keyCalls[i].key, 'X');
        EXPECT_TRUE(keyCalls[i].pressedDuringCall) << "repeat " << i;
    }
}

TEST_F(GLInputTest, RealMouseMovesAndButtons) {
    ASSERT_TRUE(Xdotool("mousemove 100 200"));
    ASSERT_TRUE(PumpUntil([] { return !moves.empty() && moves.back() == std::make_pair(100, 200); }));
    EXPECT_EQ(quelt::GetMouseX(), 100);
    EXPECT_EQ(quelt::GetMouseY(), 200);

    ASSERT_TRUE(Xdotool("mousedown 3"));
    ASSERT_TRUE(PumpUntil([] { return quelt::IsKeyPressed(257); }));
    ASSERT_FALSE(keyCalls.empty());
    EXPECT_EQ(keyCalls.back().key, 257);
    EXPECT_TRUE(keyCalls.back().pressedDuringCall);
    EXPECT_EQ(keyCalls.back().x, 100);
    EXPECT_EQ(keyCalls.back().y, 200);
    ASSERT_TRUE(Xdotool("mousedown 1"));
    ASSERT_TRUE(PumpUntil([] { return quelt::IsKeyPressed(256); }));
    ASSERT_TRUE(Xdotool("mouseup 3"));
    ASSERT_TRUE(PumpUntil([] { return !quelt::IsKeyPressed(257); }));
    EXPECT_TRUE(quelt::IsKeyPressed(256));
    ASSERT_TRUE(Xdotool("mouseup 1"));
    EXPECT_TRUE(PumpUntil([] { return !quelt::IsKeyPressed(256); }));
}

// The platform's own translation, read before the window procedure sees it,
// until `last` has come (or a failing wait gives up).
std::vector<quelt::PlatformMessage> TakeMessagesUntil(bool (*last)(const quelt::PlatformMessage&)) {
    std::vector<quelt::PlatformMessage> messages;
    PumpUntil([&] {
        quelt::PlatformMessage message;
        while (quelt::CurrentPlatform().PeekMessage(message))
            if (message.kind != quelt::PlatformMessage::Kind::Other) messages.push_back(message);
        return !messages.empty() && last(messages.back());
    });
    return messages;
}

// Gives a key without symbols `keysym` while it lives. xdotool then types it
// through that key; left to itself, it would map the symbol onto a spare key
// only while it types, and a test reading the press after the mapping is
// gone (as a busy machine makes it) finds no character on it.
class KeysymOnSpareKey {
public:
    explicit KeysymOnSpareKey(const char* name) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        auto* window = reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext());
        if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
        display_ = info.info.x11.display;
        int first = 0, last = 0, perKey = 0;
        XDisplayKeycodes(display_, &first, &last);
        KeySym* map = XGetKeyboardMapping(display_, first, last - first + 1, &perKey);
        for (int key = last; key >= first && !key_; --key)
            if (std::all_of(map + (key - first) * perKey, map + (key - first + 1) * perKey,
                            [](KeySym sym) { return sym == NoSymbol; }))
                key_ = key;
        XFree(map);
        KeySym sym = XStringToKeysym(name);
        if (key_ && sym != NoSymbol) XChangeKeyboardMapping(display_, key_, 1, &sym, 1);
        XSync(display_, False);
    }
    ~KeysymOnSpareKey() {
        if (!key_) return;
        KeySym none = NoSymbol;
        XChangeKeyboardMapping(display_, key_, 1, &none, 1);
        XSync(display_, False);
    }
    bool ok() const { return key_ != 0; }

private:
    Display* display_ = nullptr;
    int key_ = 0;
};

TEST_F(GLInputTest, TypedTextArrivesAsWindows1251Characters) {
    using Kind = quelt::PlatformMessage::Kind;
    const KeysymOnSpareKey cyrillic("Cyrillic_a");
    ASSERT_TRUE(cyrillic.ok()) << "no key without symbols for the Cyrillic letter";
    // Cyrillic arrives as text only; Escape also translates to character 27,
    // and ends what was typed.
    ASSERT_TRUE(Xdotool("type --delay 50 'b\xD0\xB0' && xdotool key Escape")); // "b", Cyrillic "a"
    std::vector<int> characters;
    bool escapeDown = false;
    const auto escapeChar = [](const quelt::PlatformMessage& m) { return m.kind == Kind::Char && m.code == 27; };
    for (const quelt::PlatformMessage& message : TakeMessagesUntil(escapeChar)) {
        if (message.kind == Kind::Char) characters.push_back(message.code);
        if (message.kind == Kind::KeyDown && message.code == 27) escapeDown = true;
    }
    EXPECT_TRUE(escapeDown);
    EXPECT_EQ(characters, (std::vector<int>{'b', 0xE0, 27}));
}

// Every entry of the key-code table, as the platform translates an SDL key
// press: the message, then the character that key translation adds.
TEST_F(GLInputTest, EveryKeyTranslatesToItsVirtualKey) {
    using Kind = quelt::PlatformMessage::Kind;
    struct Row {
        SDL_Scancode scancode;
        int virtualKey; // 0: no message for the application
        SDL_Keycode sym = 0; // 0: what the scan code gives on a US layout
        Uint16 mod = KMOD_NONE;
        Kind kind = Kind::KeyDown;
    };
    const Row rows[] = {
        {SDL_SCANCODE_A, 'A'}, {SDL_SCANCODE_Z, 'Z'}, {SDL_SCANCODE_Q, 'A', SDLK_a}, // AZERTY: the layout's letter
        {SDL_SCANCODE_A, 'A', 0x0444}, {SDL_SCANCODE_M, 'M', 0x044C},                   // Cyrillic: the position
        {SDL_SCANCODE_1, '1'}, {SDL_SCANCODE_9, '9'}, {SDL_SCANCODE_0, '0'}, {SDL_SCANCODE_1, '1', SDLK_AMPERSAND},
        {SDL_SCANCODE_F1, 112}, {SDL_SCANCODE_F9, 120}, {SDL_SCANCODE_F11, 122},
        {SDL_SCANCODE_F12, 123}, {SDL_SCANCODE_F13, 124}, {SDL_SCANCODE_F24, 135}, {SDL_SCANCODE_KP_1, 97},
        {SDL_SCANCODE_KP_9, 105}, {SDL_SCANCODE_KP_0, 96}, {SDL_SCANCODE_BACKSPACE, 8}, {SDL_SCANCODE_TAB, 9},
        {SDL_SCANCODE_RETURN, 13}, {SDL_SCANCODE_KP_ENTER, 13}, {SDL_SCANCODE_LSHIFT, 16}, {SDL_SCANCODE_RSHIFT, 16},
        {SDL_SCANCODE_LCTRL, 17}, {SDL_SCANCODE_RCTRL, 17}, {SDL_SCANCODE_PAUSE, 19}, {SDL_SCANCODE_CAPSLOCK, 20},
        {SDL_SCANCODE_ESCAPE, 27}, {SDL_SCANCODE_SPACE, 32}, {SDL_SCANCODE_PAGEUP, 33}, {SDL_SCANCODE_PAGEDOWN, 34},
        {SDL_SCANCODE_END, 35}, {SDL_SCANCODE_HOME, 36}, {SDL_SCANCODE_LEFT, 37}, {SDL_SCANCODE_UP, 38},
        {SDL_SCANCODE_RIGHT, 39}, {SDL_SCANCODE_DOWN, 40}, {SDL_SCANCODE_PRINTSCREEN, 44}, {SDL_SCANCODE_INSERT, 45},
        {SDL_SCANCODE_DELETE, 46}, {SDL_SCANCODE_LGUI, 91}, {SDL_SCANCODE_RGUI, 92}, {SDL_SCANCODE_APPLICATION, 93},
        {SDL_SCANCODE_KP_MULTIPLY, 106}, {SDL_SCANCODE_KP_PLUS, 107}, {SDL_SCANCODE_KP_MINUS, 109},
        {SDL_SCANCODE_KP_PERIOD, 110}, {SDL_SCANCODE_KP_DIVIDE, 111}, {SDL_SCANCODE_NUMLOCKCLEAR, 144},
        {SDL_SCANCODE_SCROLLLOCK, 145}, {SDL_SCANCODE_SEMICOLON, 186}, {SDL_SCANCODE_EQUALS, 187},
        {SDL_SCANCODE_COMMA, 188}, {SDL_SCANCODE_MINUS, 189}, {SDL_SCANCODE_PERIOD, 190}, {SDL_SCANCODE_SLASH, 191},
        {SDL_SCANCODE_GRAVE, 192}, {SDL_SCANCODE_LEFTBRACKET, 219}, {SDL_SCANCODE_BACKSLASH, 220},
        {SDL_SCANCODE_RIGHTBRACKET, 221}, {SDL_SCANCODE_APOSTROPHE, 222}, {SDL_SCANCODE_NONUSBACKSLASH, 226},
        {SDL_SCANCODE_MUTE, 0}, {SDL_SCANCODE_KP_EQUALS, 0},
        // System keys: the left Alt, F10 and left-Alt chords; AltGr (the right
        // Alt, or Alt with Control) is not one.
        {SDL_SCANCODE_LALT, 18, 0, KMOD_NONE, Kind::SysKeyDown}, {SDL_SCANCODE_RALT, 18},
        {SDL_SCANCODE_F10, 121, 0, KMOD_NONE, Kind::SysKeyDown}, {SDL_SCANCODE_B, 'B', 0, KMOD_LALT, Kind::SysKeyDown},
        {SDL_SCANCODE_RETURN, 13, 0, KMOD_LALT, Kind::SysKeyDown}, {SDL_SCANCODE_Q, 'Q', 0, KMOD_RALT},
        {SDL_SCANCODE_E, 'E', 0, KMOD_LALT | KMOD_LCTRL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(SDL_GetScancodeName(row.scancode) + std::string(" mod ") + std::to_string(row.mod));
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.state = SDL_PRESSED;
        event.key.keysym.scancode = row.scancode;
        event.key.keysym.sym = row.sym ? row.sym : SDL_SCANCODE_TO_KEYCODE(row.scancode);
        event.key.keysym.mod = row.mod;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
        std::vector<std::pair<Kind, int>> got;
        quelt::PlatformMessage message;
        while (quelt::CurrentPlatform().PeekMessage(message))
            if (message.kind != Kind::Other) got.emplace_back(message.kind, message.code);
        std::vector<std::pair<Kind, int>> expected;
        if (row.virtualKey) expected.emplace_back(row.kind, row.virtualKey);
        const bool control = row.virtualKey == 8 || row.virtualKey == 9 || row.virtualKey == 13 || row.virtualKey == 27;
        if (control && row.kind == Kind::KeyDown) expected.emplace_back(Kind::Char, row.virtualKey);
        EXPECT_EQ(got, expected);
    }
}

// The header names exactly the codes the key table gives: every scan code and
// mouse button through the platform, against the QK_ constants in its text.
TEST_F(GLWindowTest, HeaderNamesEveryCodeOfTheKeyTable) {
    using Kind = quelt::PlatformMessage::Kind;
    std::ifstream header(QUELT_SOURCE_DIR "/include/quelt/quelt.h");
    const std::string text{std::istreambuf_iterator<char>(header), {}};
    const std::regex constant(R"(\bQK_\w+ = (\d+))");
    std::set<int> named;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), constant); it != std::sregex_iterator(); ++it)
        named.insert(std::stoi((*it)[1]));
    std::set<int> given;
    const auto take = [&given] {
        quelt::PlatformMessage message;
        while (quelt::CurrentPlatform().PeekMessage(message))
            if (message.kind == Kind::KeyDown || message.kind == Kind::SysKeyDown || message.kind == Kind::ButtonDown)
                given.insert(message.code);
    };
    for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.state = SDL_PRESSED;
        event.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
        event.key.keysym.sym = SDL_GetKeyFromScancode(event.key.keysym.scancode);
        ASSERT_EQ(SDL_PushEvent(&event), 1);
        take();
    }
    for (Uint8 button = SDL_BUTTON_LEFT; button <= SDL_BUTTON_X2; ++button) {
        SDL_Event event{};
        event.type = SDL_MOUSEBUTTONDOWN;
        event.button.button = button;
        event.button.state = SDL_PRESSED;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
        take();
    }
    for (Sint32 steps : {1, -1}) {
        SDL_Event event{};
        event.type = SDL_MOUSEWHEEL;
        event.wheel.y = steps;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
        take();
    }
    // A pad's every button and both triggers, through the window procedure.
    ASSERT_TRUE(quelt::SetGamepads(true));
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 20, 0);
    ASSERT_TRUE(PumpUntil([] { return quelt::IsGamepadConnected(0); }));
    keyCalls.clear();
    quelt::SetProcAdress(4, reinterpret_cast<TProc>(&RecordKey));
    const SDL_JoystickID pad = SDL_JoystickGetDeviceInstanceID(index);
    SDL_Event event{};
    event.cbutton = {SDL_CONTROLLERBUTTONDOWN, 0, pad, 0, SDL_PRESSED, 0, 0};
    for (; event.cbutton.button < SDL_CONTROLLER_BUTTON_MAX; ++event.cbutton.button) SDL_PushEvent(&event);
    event.caxis = {SDL_CONTROLLERAXISMOTION, 0, pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0, 0, 0, 32767, 0};
    for (; event.caxis.axis <= SDL_CONTROLLER_AXIS_TRIGGERRIGHT; ++event.caxis.axis) SDL_PushEvent(&event);
    ASSERT_TRUE(PumpUntil([] { return keyCalls.size() >= SDL_CONTROLLER_BUTTON_MAX + 2; }));
    quelt::SetProcAdress(4, nullptr);
    quelt::SetGamepads(false);
    SDL_JoystickDetachVirtual(index);
    for (const KeyCall& call : keyCalls) given.insert(call.key);
    named.erase(QK_PAD_STRIDE); // a distance, not a code (and that of the space bar)
    given.erase(QK_PAD_STRIDE);
    EXPECT_EQ(given, named);
}

// A program that runs SDL's game controllers itself still sees no pad code
// until it asks for the pads; then a pad already there comes in.
TEST_F(GLWindowTest, PadsGiveCodesOnlyOnceAskedFor) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0);
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    ASSERT_NE(joystick, nullptr) << SDL_GetError();
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_A, 1);
    // What SDL has queued (the pad's arrival, its press) is read in one pass.
    quelt::Msg();
    quelt::Msg();
    EXPECT_FALSE(quelt::IsKeyPressed(QK_PAD_A));
    EXPECT_EQ(SDL_GameControllerFromInstanceID(SDL_JoystickInstanceID(joystick)), nullptr) << "the engine opened it";

    ASSERT_TRUE(quelt::SetGamepads(true));
    EXPECT_TRUE(PumpUntil([] { return quelt::IsGamepadConnected(0); }));
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_A, 0);
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_B, 1);
    EXPECT_TRUE(PumpUntil([] { return quelt::IsKeyPressed(QK_PAD_B); }));
    quelt::SetGamepads(false);
    SDL_JoystickClose(joystick);
    SDL_JoystickDetachVirtual(index);
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

// X's wheel (buttons 4 and 5) and side buttons (8 and 9) as key codes, once
// asked for; relative motion as deltas, and the cursor back afterwards.
TEST_F(GLInputTest, WheelSideButtonsAndRelativeMotion) {
    quelt::SetMouseKeys(1);
    for (const auto& [button, code] : {std::pair{"4", QK_WHEELUP}, std::pair{"5", QK_WHEELDOWN},
                                       std::pair{"8", QK_XBUTTON1}, std::pair{"9", QK_XBUTTON2}}) {
        keyCalls.clear();
        ASSERT_TRUE(Xdotool(std::string("click ") + button));
        ASSERT_TRUE(PumpUntil([] { return !keyCalls.empty(); })) << button;
        EXPECT_EQ(keyCalls.front().key, code) << button;
    }
    quelt::SetMouseKeys(0);

    ASSERT_TRUE(Xdotool("mousemove 200 150"));
    ASSERT_TRUE(PumpUntil([] { return quelt::GetMouseX() == 200 && quelt::GetMouseY() == 150; }));
    ASSERT_TRUE(quelt::SetRelativeMouse(true));
    EXPECT_TRUE(SDL_GetRelativeMouseMode());
    Settle(50);
    moves.clear();
    ASSERT_TRUE(Xdotool("mousemove_relative -- 30 -20"));
    const auto travelled = [] {
        std::pair<int, int> sum{0, 0};
        for (const auto& [dx, dy] : moves) sum = {sum.first + dx, sum.second + dy};
        return sum;
    };
    EXPECT_TRUE(PumpUntil([&] { return travelled() == std::make_pair(30, -20); }))
        << travelled().first << ", " << travelled().second;
    ASSERT_TRUE(quelt::SetRelativeMouse(false));
    int x = 0, y = 0;
    EXPECT_TRUE(PumpUntil([&] {
        SDL_GetGlobalMouseState(&x, &y);
        return x == 200 && y == 150;
    })) << x << ", " << y;
}

// A screenshot taken before presenting holds the presented frame: Pillow's
// decode of the file equals the frame read back, whose corners the X server
// shows once presented.
TEST_F(GLWindowTest, ScreenshotHoldsThePresentedFrame) {
    ::glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glEnable(GL_SCISSOR_TEST);
    ::glScissor(0, 0, 100, 50); // bottom left
    ::glClearColor(1, 0, 0, 1);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glDisable(GL_SCISSOR_TEST);
    std::vector<std::uint8_t> frame(1024 * 768 * 3);
    ::glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int row = 0; row < 768; ++row) // top row first
        ::glReadPixels(0, 767 - row, 1024, 1, GL_RGB, GL_UNSIGNED_BYTE, frame.data() + row * 1024 * 3);
    std::string reason;
    for (const char* name : {"shot.png", "shot.BMP", "shot.jpg", "missing/shot.png"}) {
        const std::string ending = std::string(name).substr(std::string(name).size() - 3);
        const bool written = quelt::SaveScreenshot(name);
        EXPECT_EQ(written, std::string(name).rfind("shot.", 0) == 0 && ending != "jpg") << name;
        EXPECT_EQ(quelt::TakeLastError(reason), !written) << name;
        if (!written) continue;
        const std::string decode = std::string("/usr/bin/python3 -c 'from PIL import Image; open(\"shot.rgb\", \"wb\")"
                                               ".write(Image.open(\"") + name + "\").convert(\"RGB\").tobytes())'";
        ASSERT_EQ(std::system(decode.c_str()), 0) << name;
        std::ifstream file("shot.rgb", std::ios::binary);
        const std::vector<std::uint8_t> decoded{std::istreambuf_iterator<char>(file), {}};
        EXPECT_TRUE(decoded == frame) << name;
    }
    quelt::FinishRender();
    const auto shown = [&frame](int x, int y) {
        const std::uint8_t* p = frame.data() + (y * 1024 + x) * 3;
        return std::vector<std::uint8_t>{p[0], p[1], p[2], 255};
    };
    EXPECT_EQ(window().ReadPresentedPixel(0, 767), shown(0, 767));
    EXPECT_EQ(shown(0, 767), (std::vector<std::uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(window().ReadPresentedPixel(1023, 0), shown(1023, 0));

    // The screenshot as the window's icon reaches the window manager's property.
    ASSERT_TRUE(quelt::SetWindowIcon("shot.png"));
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext()), &info));
    const std::string xprop = "xprop -notype -len 8 -id " + std::to_string(info.info.x11.window) + " _NET_WM_ICON > icon.txt";
    ASSERT_EQ(std::system(xprop.c_str()), 0);
    std::ifstream icon("icon.txt");
    const std::string property{std::istreambuf_iterator<char>(icon), {}};
    EXPECT_NE(property.find("Icon (1024 x 768)"), std::string::npos) << property;
}

int commandRuns = 0;
void CountCommand() { ++commandRuns; }

// Alt chords are system keys: their characters never reach the console.
TEST_F(GLInputTest, AltChordsTypeNothingIntoTheConsole) {
    quelt::Console& console = quelt::TheConsole();
    quelt::ConsoleCommand(&CountCommand, false, "b");
    quelt::ConsoleEnable();
    commandRuns = 0;
    // "c" marks the end of what was typed: the chords came before it.
    ASSERT_TRUE(Xdotool("key alt+b Return alt+b c"));
    const bool typed = PumpUntil([&] { return !console.CommandLine().empty(); });
    const std::string line = console.CommandLine();
    quelt::ClearConsole();
    quelt::ConsoleDisable();
    ASSERT_TRUE(typed);
    EXPECT_EQ(line, "c");
    EXPECT_EQ(commandRuns, 0);
}

// AltGr+Q types "@" on a German layout; the key procedure sees the Q.
TEST_F(GLInputTest, AltGrTypesIntoTheConsole) {
    ASSERT_EQ(std::system("setxkbmap -layout de"), 0);
    struct UsLayoutAgain {
        ~UsLayoutAgain() { (void)std::system("setxkbmap -layout us"); }
    } usLayoutAgain;
    quelt::Console& console = quelt::TheConsole();
    quelt::ConsoleEnable();
    // "c" marks the end of what was typed.
    ASSERT_TRUE(Xdotool("key ISO_Level3_Shift+q c"));
    const bool typed = PumpUntil([&] { return console.CommandLine().find('c') != std::string::npos; });
    const std::string line = console.CommandLine();
    quelt::ClearConsole();
    quelt::ConsoleDisable();
    ASSERT_TRUE(typed);
    EXPECT_EQ(line, "@c");
    EXPECT_TRUE(std::any_of(keyCalls.begin(), keyCalls.end(), [](const KeyCall& call) { return call.key == 'Q'; }));
}

int loopRenders = 0;
std::int32_t loopStart = 0;
void LoopInit() { loopStart = quelt::GetTimer(); }
void LoopRender() {
    ++loopRenders;
    ::glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
}
void LoopUpdate() {
    if (quelt::GetTimer() - loopStart > 1200) quelt::StopMainLoop();
}

TEST_F(GLWindowTest, LoopPresentsFramesAndCountsThemPerSecond) {
    quelt::SetProcAdress(0, &LoopRender);
    quelt::SetProcAdress(1, &LoopUpdate);
    quelt::SetProcAdress(2, &LoopInit);
    quelt::SetUPS(200);
    loopRenders = 0;
    quelt::StartMainLoop();
    for (int slot = 0; slot < 3; ++slot) quelt::SetProcAdress(slot, nullptr);
    EXPECT_GT(loopRenders, 0);
    EXPECT_GT(quelt::GetFPS(), 0);
    EXPECT_LE(quelt::GetFPS(), loopRenders);
    EXPECT_EQ(window().ReadPresentedPixel(512, 384), (std::vector<std::uint8_t>{0, 0, 255, 255}));
}

int closeDone = 0;
void CountDone() { ++closeDone; }
void RequestClose() {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&event);
}

TEST_F(GLWindowTest, ClosingTheWindowEndsTheLoop) {
    quelt::SetProcAdress(2, &RequestClose);
    quelt::SetProcAdress(3, &CountDone);
    quelt::SetUPS(200);
    closeDone = 0;
    quelt::StartMainLoop(); // would never return without the close request
    quelt::SetProcAdress(2, nullptr);
    quelt::SetProcAdress(3, nullptr);
    EXPECT_EQ(closeDone, 1);
}

// Where the X server shows the window, in root coordinates: the outermost
// frame (the window manager's, if one runs) and the client area.
struct Placement {
    int frameX = -1, frameY = -1, frameWidth = 0, frameHeight = 0;
    int clientX = -1, clientY = -1, clientWidth = 0, clientHeight = 0;
};

Placement WherePlaced() {
    Placement placed;
    auto* window = reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext());
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return placed;
    Display* display = info.info.x11.display;
    XSync(display, False);
    Window frame = info.info.x11.window, root = 0, parent = 0, child = 0;
    for (;;) {
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, frame, &root, &parent, &children, &count)) return placed;
        if (children) XFree(children);
        if (parent == root) break;
        frame = parent;
    }
    XWindowAttributes attributes;
    XGetWindowAttributes(display, frame, &attributes);
    placed.frameX = attributes.x;
    placed.frameY = attributes.y;
    placed.frameWidth = attributes.width + 2 * attributes.border_width;
    placed.frameHeight = attributes.height + 2 * attributes.border_width;
    XGetWindowAttributes(display, info.info.x11.window, &attributes);
    XTranslateCoordinates(display, info.info.x11.window, root, 0, 0, &placed.clientX, &placed.clientY, &child);
    placed.clientWidth = attributes.width;
    placed.clientHeight = attributes.height;
    return placed;
}

// Screen modes in a row, each judged as a user sees it: windowed puts the
// outer frame at (0, 0) around a client of the asked size; full screen is a
// borderless window covering the screen at (0, 0), whatever came before.
TEST_F(GLWindowTest, ScreenModesPlaceTheWindowAsAUserSeesIt) {
    struct Step {
        int width, height;
        bool fullscreen;
    };
    const Step steps[] = {{1024, 768, true}, {800, 600, false}, {1024, 768, true}, {640, 480, false}, {800, 600, false}};
    auto* sdlWindow = reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext());
    for (const Step& step : steps) {
        SCOPED_TRACE(std::to_string(step.width) + (step.fullscreen ? " full screen" : " windowed"));
        ASSERT_TRUE(quelt::ScreenMode(step.width, step.height, 32, 60, step.fullscreen));
        const int width = step.fullscreen ? 1024 : step.width; // the only mode Xvfb has
        const int height = step.fullscreen ? 768 : step.height;
        // A window manager places the frame in its own time.
        Placement placed;
        PumpUntil([&] {
            placed = WherePlaced();
            return placed.frameX == 0 && placed.frameY == 0 && placed.clientWidth == width &&
                   placed.clientHeight == height;
        });
        EXPECT_EQ(placed.frameX, 0);
        EXPECT_EQ(placed.frameY, 0);
        EXPECT_EQ(placed.clientWidth, width);
        EXPECT_EQ(placed.clientHeight, height);
        GLint viewport[4] = {};
        ::glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], width);
        EXPECT_EQ(viewport[3], height);
        const Uint32 flags = SDL_GetWindowFlags(sdlWindow);
        EXPECT_EQ((flags & SDL_WINDOW_FULLSCREEN) != 0, step.fullscreen);
        EXPECT_EQ((flags & SDL_WINDOW_BORDERLESS) != 0, step.fullscreen);
        EXPECT_EQ((flags & SDL_WINDOW_RESIZABLE) != 0, !step.fullscreen);
        if (step.fullscreen) {
            // Nothing of a frame shows: the client is the whole frame.
            EXPECT_EQ(placed.clientX, 0);
            EXPECT_EQ(placed.clientY, 0);
            EXPECT_EQ(placed.frameWidth, 1024);
            EXPECT_EQ(placed.frameHeight, 768);
        }
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), quelt::CursorDisplayCounter() >= 0 ? SDL_ENABLE : SDL_DISABLE);
    }
    EXPECT_EQ(quelt::kScreenWidth, 1024);
    EXPECT_EQ(quelt::kScreenHeight, 768);
}

// The logical screen in red with a coloured square in each corner.
void DrawCornerMarkers() {
    ::glClearColor(0, 0, 0, 1);
    ::glClear(GL_COLOR_BUFFER_BIT);
    quelt::Set2D();
    ::glLoadIdentity();
    const auto square = [](float left, float top, float size, float r, float g, float b) {
        ::glColor3f(r, g, b);
        ::glRectf(left, top, left + size, top + size);
    };
    square(0, 0, 1024, 1, 0, 0);
    square(0, 0, 64, 0, 1, 0);
    square(960, 0, 64, 0, 0, 1);
    square(0, 704, 64, 1, 1, 0);
    square(960, 704, 64, 1, 1, 1);
}

// The user resizes the framed window (xdotool, as a window manager would):
// the viewport follows the client area and the whole picture fills it.
TEST_F(GLWindowTest, ResizingTheFrameKeepsThePictureWhole) {
    ASSERT_TRUE(quelt::ScreenMode(800, 600, 32, 60, false));
    auto* sdlWindow = reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext());
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(sdlWindow, &info) && info.subsystem == SDL_SYSWM_X11);
    const std::string id = std::to_string(info.info.x11.window);
    for (const auto& [width, height] : {std::pair{640, 480}, std::pair{1000, 700}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        ASSERT_TRUE(Xdotool("windowsize " + id + " " + std::to_string(width) + " " + std::to_string(height)));
        GLint viewport[4] = {};
        EXPECT_TRUE(PumpUntil([&] {
            ::glGetIntegerv(GL_VIEWPORT, viewport);
            return window().DrawableWidth() == width && window().DrawableHeight() == height && viewport[2] == width &&
                   viewport[3] == height;
        }));
        EXPECT_EQ(viewport[0], 0);
        EXPECT_EQ(viewport[1], 0);
        EXPECT_EQ(viewport[2], width);
        EXPECT_EQ(viewport[3], height);
        DrawCornerMarkers();
        const std::vector<std::uint8_t> picture = window().ReadRegion(0, 0, width, height);
        const auto at = [&](int x, int y) {
            const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
            return Rgba{picture[i], picture[i + 1], picture[i + 2], picture[i + 3]};
        };
        EXPECT_EQ(at(2, 2), (Rgba{0, 255, 0, 255}));
        EXPECT_EQ(at(width - 3, 2), (Rgba{0, 0, 255, 255}));
        EXPECT_EQ(at(2, height - 3), (Rgba{255, 255, 0, 255}));
        EXPECT_EQ(at(width - 3, height - 3), (Rgba{255, 255, 255, 255}));
        int black = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) black += at(x, y) == Rgba{0, 0, 0, 255};
        EXPECT_EQ(black, 0) << "pixels the picture leaves uncovered";
    }
    EXPECT_EQ(quelt::kScreenWidth, 1024);
    EXPECT_EQ(quelt::kScreenHeight, 768);
}

// SDL's own handlers would turn these into a quit event that nobody reads:
// with a window open and no loop running they act as on any program.
TEST(GLWindowSignals, OutsideTheLoopInterruptsActAsOnAnyProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        EXPECT_EXIT(
            {
                quelt::test::GLTestWindow window;
                if (!window.ok()) std::_Exit(2);
                std::raise(signal);
                quelt::Msg();
                std::_Exit(0);
            },
            ::testing::KilledBySignal(signal), "");
    }
}

// A program that unloads the library while full screen, without
// qKillWindow, gets its desktop mode back; the window itself stays.
TEST(GLWindowUnload, UnloadingTheLibraryLeavesFullScreen) {
    void* library = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto create = reinterpret_cast<qbool (*)()>(dlsym(library, "qCreateWindow"));
    auto screenMode = reinterpret_cast<qbool (*)(int32_t, int32_t, int32_t, int32_t, qbool)>(dlsym(library, "qScreenMode"));
    ASSERT_TRUE(create && screenMode);
    ASSERT_TRUE(create());
    SDL_Window* window = SDL_GL_GetCurrentWindow(); // the library's, sharing this process's SDL
    SDL_GLContext context = SDL_GL_GetCurrentContext();
    ASSERT_TRUE(screenMode(1024, 768, 32, 70, 1));
    ASSERT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
    dlclose(library);
    EXPECT_FALSE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
    // What the library left behind goes, so later tests start clean.
    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

} // namespace
