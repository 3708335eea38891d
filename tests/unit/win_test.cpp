// SPDX-License-Identifier: Zlib
// The window logic on the fake platform: creation and its failures, the
// teardown's messages and their order, the window procedure, screen modes
// and the millisecond clock.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FakePlatform.h"
#include "QConsoling.h"
#include "QCore.h"
#include "QUtils.h"
#include "QWin.h"
#include "TestFiles.h"

namespace {

using quelt::PlatformMessage;
using quelt::test::FakePlatform;
using Box = std::pair<std::string, std::string>;
using Kind = PlatformMessage::Kind;

// The teardown's texts in Windows-1251.
const std::string kTeardownCaption = "\xCE\xF8\xE8\xE1\xEA\xE0";
const std::string kCannotRelease = "\xCD\xE5 \xEC\xEE\xE3\xF3 \xE2\xFB\xE1\xF0\xE0\xF2\xFC \xEA\xEE\xED\xF2\xE5\xEA\xF1\xF2 "
                                   "\xF0\xE5\xED\xE4\xE8\xF0\xE8\xED\xE3\xE0!";
const std::string kCannotDeleteContext = "\xCD\xE5 \xEC\xEE\xE3\xF3 \xF3\xE4\xE0\xEB\xE8\xF2 \xEA\xEE\xED\xF2\xE5\xEA\xF1\xF2 "
                                         "\xF0\xE5\xED\xE4\xE5\xF0\xE8\xED\xE3\xE0!";
const std::string kCannotDestroyWindow = "\xCD\xE5 \xEC\xEE\xE3\xF3 \xF3\xE4\xE0\xEB\xE8\xF2\xFC \xEE\xEA\xED\xEE";

class WindowLogic : public ::testing::Test {
protected:
    void TearDown() override {
        quelt::SetProcAdress(4, nullptr);
        quelt::SetProcAdress(5, nullptr);
        quelt::SetKeyUpProc(nullptr);
        quelt::SetResizeProc(nullptr);
        quelt::SetScreenSize(quelt::kScreenWidth, quelt::kScreenHeight);
        quelt::SetMouseKeys(false);
        quelt::SetWindowTitle(quelt::kWindowTitle);
        fake.failing.clear();
        if (quelt::GetHDC()) quelt::KillWindow();
    }
    FakePlatform fake;
};

TEST_F(WindowLogic, CreationRunsItsStepsInOrder) {
    fake.cursorX = 12;
    fake.cursorY = 34;
    ASSERT_TRUE(quelt::CreateWindow());
    const std::vector<std::string> expected = {
        "RegisterWindowClass", "CreatePopupWindow(OpenGL,0,0,1024,768)", "GetDeviceContext", "ChoosePixelFormat",
        "SetPixelFormat(7)",   "CreateContext",                          "MakeCurrent",      "ShowWindow",
        "SetSwapInterval(0)",
    };
    EXPECT_EQ(fake.calls, expected);
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(quelt::GetMouseX(), 12);
    EXPECT_EQ(quelt::GetMouseY(), 34);
    EXPECT_NE(quelt::GetHDC(), 0u);
    EXPECT_EQ(fake.CurrentContext(), quelt::WindowContext());
}

// Swap control missing (as under Xvfb) is not a failure.
TEST_F(WindowLogic, MissingSwapControlStillOpensTheWindow) {
    fake.failing = {"SetSwapInterval"};
    EXPECT_TRUE(quelt::CreateWindow());
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(WindowLogic, FailedRegistrationShowsOneMessageAndTouchesNothingElse) {
    fake.failing = {"RegisterWindowClass"};
    EXPECT_FALSE(quelt::CreateWindow());
    EXPECT_EQ(fake.boxes, (std::vector<Box>{{"Error", "Failed to register the window class!"}}));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"RegisterWindowClass", "MessageBox"}));
    EXPECT_EQ(quelt::GetHDC(), 0u);
}

TEST_F(WindowLogic, FailureAtWindowCreationTearsDownFirstThenReports) {
    fake.failing = {"CreatePopupWindow"};
    EXPECT_FALSE(quelt::CreateWindow());
    // No context exists, so the teardown's context deletion fails and says so.
    EXPECT_EQ(fake.boxes, (std::vector<Box>{{kTeardownCaption, kCannotDeleteContext}, {"Error", "Unable to create window!"}}));
    EXPECT_FALSE(fake.Called("DestroyWindow"));
    EXPECT_TRUE(fake.Called("UnregisterWindowClass"));
    EXPECT_EQ(quelt::GetHDC(), 0u);
    // The class went with the teardown: a new attempt can register it again.
    fake.failing.clear();
    fake.Clear();
    EXPECT_TRUE(quelt::CreateWindow());
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(WindowLogic, EachLaterCreationFailureHasItsMessageAfterTheTeardown) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"GetDeviceContext", "Unable to get a device context!"},
        {"ChoosePixelFormat", "Unable to find a suitable pixel format"},
        {"SetPixelFormat", "Unable to set the pixel format"},
        {"CreateContext", "Unable to create an OpenGL rendering context"},
    };
    for (const auto& [operation, text] : cases) {
        SCOPED_TRACE(operation);
        fake.failing = {operation};
        fake.Clear();
        EXPECT_FALSE(quelt::CreateWindow());
        ASSERT_FALSE(fake.boxes.empty());
        EXPECT_EQ(fake.boxes.back(), (Box{"Error", text}));
        // The window was destroyed and the class released before the message.
        EXPECT_TRUE(fake.Called("DestroyWindow"));
        EXPECT_TRUE(fake.Called("UnregisterWindowClass"));
        EXPECT_EQ(fake.calls.back(), "MessageBox");
        EXPECT_EQ(quelt::GetHDC(), 0u);
        std::string reason;
        EXPECT_TRUE(quelt::TakeLastError(reason));
        EXPECT_EQ(reason, text);
    }
}

// The class is still registered, so a second window is refused as the first
// registration step fails; the open window is left alone.
TEST_F(WindowLogic, SecondCreateWindowIsRefusedAndKeepsTheFirst) {
    ASSERT_TRUE(quelt::CreateWindow());
    const std::uint32_t token = quelt::GetHDC();
    fake.Clear();
    EXPECT_FALSE(quelt::CreateWindow());
    EXPECT_EQ(fake.boxes, (std::vector<Box>{{"Error", "Failed to register the window class!"}}));
    EXPECT_EQ(quelt::GetHDC(), token);
    EXPECT_FALSE(fake.Called("DestroyWindow"));
}

TEST_F(WindowLogic, TeardownOrderAndTheSecondKillWindow) {
    ASSERT_TRUE(quelt::CreateWindow());
    fake.Clear();
    quelt::KillWindow();
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"RestoreDisplayMode", "ShowCursor(shown)", "MakeCurrent(none)",
                                                    "DeleteContext", "DestroyWindow", "UnregisterWindowClass"}));
    EXPECT_EQ(quelt::GetHDC(), 0u);
    EXPECT_EQ(quelt::WindowDeviceContext(), 0u);

    // The kept handles are tried again: all three steps fail, in this order.
    fake.Clear();
    quelt::KillWindow();
    EXPECT_EQ(fake.boxes, (std::vector<Box>{{kTeardownCaption, kCannotDeleteContext},
                                            {kTeardownCaption, kCannotDestroyWindow},
                                            {kTeardownCaption, "Unable to unregister window class!"}}));
    // Both handles were forgotten by the failures: a third teardown skips the window.
    fake.Clear();
    quelt::KillWindow();
    EXPECT_FALSE(fake.Called("DestroyWindow"));
    EXPECT_EQ(fake.boxes.size(), 2u);
}

TEST_F(WindowLogic, TeardownRestoresTheDisplayFirstEvenWhenEverythingFails) {
    ASSERT_TRUE(quelt::CreateWindow());
    ASSERT_TRUE(quelt::ScreenMode(1024, 768, 32, 70, true));
    fake.Clear();
    fake.failing = {"MakeCurrent", "DeleteContext", "DestroyWindow", "UnregisterWindowClass"};
    quelt::KillWindow();
    ASSERT_FALSE(fake.calls.empty());
    EXPECT_EQ(fake.calls.front(), "RestoreDisplayMode");
    EXPECT_EQ(fake.boxes, (std::vector<Box>{{kTeardownCaption, kCannotRelease},
                                            {kTeardownCaption, kCannotDeleteContext},
                                            {kTeardownCaption, kCannotDestroyWindow},
                                            {kTeardownCaption, "Unable to unregister window class!"}}));
    EXPECT_EQ(quelt::GetHDC(), 0u);
}

TEST_F(WindowLogic, ScreenModesSwitchStyleCursorAndReportRefusal) {
    ASSERT_TRUE(quelt::CreateWindow());
    const int counter = quelt::CursorDisplayCounter();

    fake.Clear();
    EXPECT_TRUE(quelt::ScreenMode(1024, 768, 32, 70, true));
    EXPECT_EQ(quelt::CursorDisplayCounter(), counter - 1);
    EXPECT_EQ(fake.cursorShown, counter - 1 >= 0);
    EXPECT_TRUE(fake.Called("ChangeDisplayMode(1024,768,32,70)"));
    EXPECT_TRUE(fake.Called("SetWindowStyle(fullscreen,1024,768)"));

    fake.Clear();
    EXPECT_TRUE(quelt::ScreenMode(800, 600, 32, 60, false));
    EXPECT_EQ(quelt::CursorDisplayCounter(), counter);
    EXPECT_FALSE(fake.Called("ChangeDisplayMode(800,600,32,60)"));
    EXPECT_TRUE(fake.Called("SetWindowStyle(windowed,800,600)"));

    // A refused mode changes nothing else.
    fake.Clear();
    fake.failing = {"ChangeDisplayMode"};
    EXPECT_FALSE(quelt::ScreenMode(640, 480, 16, 60, true));
    EXPECT_EQ(fake.boxes, (std::vector<Box>{{"Error", "Unable to switch to fullscreen!"}}));
    std::string reason;
    EXPECT_TRUE(quelt::TakeLastError(reason));
    EXPECT_EQ(reason, "Unable to switch to fullscreen: no display mode 640 x 480, 16 bits, 60 Hz");
    EXPECT_FALSE(fake.Called("SetWindowStyle(fullscreen,640,480)"));
    EXPECT_EQ(quelt::CursorDisplayCounter(), counter);

    // Nonsense sizes and a missing window give false without a message box.
    fake.Clear();
    EXPECT_FALSE(quelt::ScreenMode(0, 600, 32, 60, false));
    EXPECT_TRUE(quelt::TakeLastError(reason));
    EXPECT_EQ(reason, "Window size 0 x 600 is not positive");
    quelt::KillWindow();
    fake.Clear();
    EXPECT_FALSE(quelt::ScreenMode(800, 600, 32, 60, false));
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_TRUE(quelt::TakeLastError(reason));
}

// A full-screen mode left on by a program that never calls qKillWindow is
// undone when the process ends.
TEST_F(WindowLogic, FullScreenIsUndoneAtProcessExit) {
    EXPECT_EXIT(
        {
            if (!quelt::CreateWindow() || !quelt::ScreenMode(1024, 768, 32, 70, true)) std::_Exit(2);
            fake.echoFd = 2;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "^RestoreDisplayMode\n$");
}

TEST_F(WindowLogic, FinishRenderCompletesGLWorkBeforeSwapping) {
    ASSERT_TRUE(quelt::CreateWindow());
    fake.Clear();
    quelt::FinishRender();
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"glFlush", "glFinish", "SwapBuffers"}));
    // After the teardown GL calls fall back to stubs that reach nothing.
    quelt::KillWindow();
    fake.Clear();
    quelt::FinishRender();
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"SwapBuffers"}));
}

TEST_F(WindowLogic, ViewportFollowsTheGrantedDrawableNotTheRequest) {
    ASSERT_TRUE(quelt::CreateWindow());
    fake.drawableWidth = 800;
    fake.drawableHeight = 600;
    fake.Clear();
    EXPECT_TRUE(quelt::ScreenMode(800, 600, 32, 60, false));
    EXPECT_TRUE(fake.Called("glViewport(0,0,800,600)"));
    // A full-screen request the display could only approximate.
    fake.drawableWidth = 1024;
    fake.drawableHeight = 768;
    fake.Clear();
    EXPECT_TRUE(quelt::ScreenMode(1000, 700, 32, 60, true));
    EXPECT_TRUE(fake.Called("glViewport(0,0,1024,768)"));
}

// A resize sets the viewport only with the window's own context current (not
// a pbuffer's), and only when the size really changed.
TEST_F(WindowLogic, ResizeSetsTheViewportInTheWindowsContextOnly) {
    ASSERT_TRUE(quelt::CreateWindow());
    const quelt::Handle window = quelt::WindowDeviceContext(), context = quelt::WindowContext();
    const quelt::Handle other = fake.CreateSharedContext(window, context);
    fake.Post(Kind::Resized); // still 1024 x 768: the program's viewport stays
    fake.Clear();
    quelt::Msg();
    EXPECT_FALSE(fake.Called("glViewport(0,0,1024,768)"));
    fake.drawableWidth = 640;
    fake.drawableHeight = 480;
    fake.MakeCurrent(window, other);
    fake.Post(Kind::Resized);
    quelt::Msg();
    quelt::Msg();
    EXPECT_FALSE(fake.Called("glViewport(0,0,640,480)"));
    fake.MakeCurrent(window, context);
    fake.Clear();
    quelt::Msg();
    EXPECT_TRUE(fake.Called("glViewport(0,0,640,480)"));
    fake.Clear();
    quelt::Msg();
    EXPECT_FALSE(fake.Called("glViewport(0,0,640,480)")) << "once per resize";
    fake.DeleteContext(other);
}

// What the key procedure saw: key, x, y and the key's table entry at that moment.
struct KeyCall {
    int key, x, y;
    bool pressedDuringCall;
    bool operator==(const KeyCall& o) const {
        return key == o.key && x == o.x && y == o.y && pressedDuringCall == o.pressedDuringCall;
    }
};
std::vector<KeyCall> keyCalls;
std::vector<std::pair<int, int>> moves;

void RecordKey(std::int32_t key, std::int32_t x, std::int32_t y) {
    keyCalls.push_back({key, x, y, quelt::IsKeyPressed(key)});
}
void RecordMove(std::int32_t x, std::int32_t y) { moves.emplace_back(x, y); }

TEST_F(WindowLogic, KeysCallBeforeSettingButtonsAfter) {
    keyCalls.clear();
    quelt::SetProcAdress(4, reinterpret_cast<TProc>(&RecordKey));
    ASSERT_TRUE(quelt::CreateWindow()); // the cursor is sampled on a display
    fake.cursorX = 5;
    fake.cursorY = 6;
    quelt::Msg(); // samples the cursor the procedures then see
    fake.cursorX = 99;
    fake.Post(Kind::KeyDown, 'W');
    fake.Post(Kind::KeyDown, 'W', 0, true); // auto-repeat
    fake.Post(Kind::ButtonDown, 256);
    quelt::Msg();
    EXPECT_EQ(keyCalls, (std::vector<KeyCall>{{'W', 5, 6, false}, {'W', 5, 6, true}, {256, 5, 6, true}}));
    EXPECT_EQ(quelt::GetMouseX(), 99);
    EXPECT_TRUE(quelt::IsKeyPressed('W'));

    fake.Post(Kind::KeyUp, 'W');
    fake.Post(Kind::ButtonUp, 256);
    quelt::Msg();
    EXPECT_FALSE(quelt::IsKeyPressed('W'));
    EXPECT_FALSE(quelt::IsKeyPressed(256));
}

TEST_F(WindowLogic, ButtonsKeepTheirOwnEntries) {
    fake.Post(Kind::ButtonDown, 256);
    fake.Post(Kind::ButtonDown, 257);
    fake.Post(Kind::ButtonDown, 258);
    fake.Post(Kind::ButtonUp, 257);
    quelt::Msg();
    EXPECT_TRUE(quelt::IsKeyPressed(256));
    EXPECT_FALSE(quelt::IsKeyPressed(257));
    EXPECT_TRUE(quelt::IsKeyPressed(258));
    fake.Post(Kind::ButtonUp, 256);
    fake.Post(Kind::ButtonUp, 258);
    quelt::Msg();
    EXPECT_FALSE(quelt::IsKeyPressed(256));
    EXPECT_FALSE(quelt::IsKeyPressed(258));
}

TEST_F(WindowLogic, MouseMoveSplitsThePositionWordUnsigned) {
    moves.clear();
    fake.Post(Kind::MouseMove, 0, 16u | (32u << 16));
    fake.Post(Kind::MouseMove, 0, 0xFFFFu | (0x8000u << 16));
    quelt::Msg(); // slot 5 empty: nothing to call
    quelt::SetProcAdress(5, reinterpret_cast<TProc>(&RecordMove));
    fake.Post(Kind::MouseMove, 0, 16u | (32u << 16));
    fake.Post(Kind::MouseMove, 0, 0xFFFFu | (0x8000u << 16));
    quelt::Msg();
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{16, 32}, {65535, 32768}}));
}

TEST_F(WindowLogic, SystemKeysAndKeysOutsideTheTableAreNeverPressed) {
    keyCalls.clear();
    quelt::SetProcAdress(4, reinterpret_cast<TProc>(&RecordKey));
    fake.Post(Kind::SysKeyDown, 18);
    fake.Post(Kind::SysKeyDown, 121);
    quelt::Msg();
    EXPECT_TRUE(keyCalls.empty());
    EXPECT_FALSE(quelt::IsKeyPressed(18));
    EXPECT_FALSE(quelt::IsKeyPressed(121));
    for (int key : {-1, 259, 1000, INT_MAX, INT_MIN}) EXPECT_FALSE(quelt::IsKeyPressed(key)) << key;
}

// The position is sampled where there is a display; without a window the
// last one stands.
TEST_F(WindowLogic, CursorPositionOutlivesTheWindow) {
    fake.cursorX = 12;
    fake.cursorY = 34;
    ASSERT_TRUE(quelt::CreateWindow());
    quelt::KillWindow();
    fake.cursorX = fake.cursorY = 0;
    quelt::Msg();
    EXPECT_EQ(quelt::GetMouseX(), 12);
    EXPECT_EQ(quelt::GetMouseY(), 34);
}

TEST_F(WindowLogic, SlotsAreReadAfreshAtEachMessage) {
    keyCalls.clear();
    moves.clear();
    quelt::SetProcAdress(4, reinterpret_cast<TProc>(&RecordKey));
    fake.Post(Kind::KeyDown, 'Q');
    fake.Post(Kind::KeyUp, 'Q');
    quelt::Msg();
    quelt::SetProcAdress(4, nullptr);
    fake.Post(Kind::KeyDown, 'Q');
    fake.Post(Kind::KeyUp, 'Q');
    quelt::Msg();
    EXPECT_EQ(keyCalls.size(), 1u);
}

// Releases reach their procedure with the press's arguments once the table
// shows them up; presses and system keys never do.
TEST_F(WindowLogic, ReleasesCallTheirProcedureWithTheTableShowingThemUp) {
    keyCalls.clear();
    quelt::SetKeyUpProc(&RecordKey);
    ASSERT_TRUE(quelt::CreateWindow());
    fake.cursorX = 5;
    fake.cursorY = 6;
    quelt::Msg();
    for (Kind kind : {Kind::KeyDown, Kind::ButtonDown, Kind::SysKeyDown}) fake.Post(kind, kind == Kind::ButtonDown ? 257 : 'W');
    quelt::Msg();
    EXPECT_TRUE(keyCalls.empty());
    for (Kind kind : {Kind::KeyUp, Kind::ButtonUp, Kind::SysKeyUp}) fake.Post(kind, kind == Kind::ButtonUp ? 257 : 'W');
    quelt::Msg();
    EXPECT_EQ(keyCalls, (std::vector<KeyCall>{{'W', 5, 6, false}, {257, 5, 6, false}}));
    quelt::SetKeyUpProc(nullptr);
    fake.Post(Kind::KeyUp, 'W');
    quelt::Msg();
    EXPECT_EQ(keyCalls.size(), 2u);
}

std::vector<std::pair<int, int>> resizes;
void RecordResize(std::int32_t width, std::int32_t height) { resizes.emplace_back(width, height); }

// Each new client size is reported once, also while another context is
// current; resize messages that leave the size alone report nothing.
TEST_F(WindowLogic, ResizeProcedureHearsEachNewClientSizeOnce) {
    resizes.clear();
    std::int32_t width = 0, height = 0;
    std::string reason;
    EXPECT_FALSE(quelt::GetWindowSize(width, height));
    EXPECT_TRUE(quelt::TakeLastError(reason));
    quelt::SetResizeProc(&RecordResize);
    ASSERT_TRUE(quelt::CreateWindow());
    const quelt::Handle other = fake.CreateSharedContext(quelt::WindowDeviceContext(), quelt::WindowContext());
    fake.MakeCurrent(quelt::WindowDeviceContext(), other);
    struct Step {
        int width, height, messages;
    };
    for (const Step& step : {Step{1024, 768, 1}, Step{1280, 720, 2}, Step{1280, 720, 1}, Step{800, 600, 0}, Step{0, 0, 1}}) {
        fake.drawableWidth = step.width;
        fake.drawableHeight = step.height;
        for (int i = 0; i < step.messages; ++i) fake.Post(Kind::Resized);
        quelt::Msg();
    }
    EXPECT_EQ(resizes, (std::vector<std::pair<int, int>>{{1280, 720}}));
    fake.drawableWidth = 640;
    fake.drawableHeight = 480;
    ASSERT_TRUE(quelt::GetWindowSize(width, height));
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(640, 480));
    fake.DeleteContext(other);
}

// The logical screen: the window's first size and the console's width
// follow it; a refused size changes nothing and says why. The title set
// goes to the window opened and to the open one.
TEST_F(WindowLogic, LogicalScreenSizeAndTitleOpenTheWindow) {
    struct Case {
        int width, height;
        bool accepted;
    };
    for (const Case& c : {Case{1280, 720, true}, Case{0, 720, false}, Case{1280, -1, false}, Case{16385, 720, false},
                          Case{1, 16384, true}}) {
        quelt::SetScreenSize(640, 480);
        EXPECT_EQ(quelt::SetScreenSize(c.width, c.height), c.accepted) << c.width << "x" << c.height;
        EXPECT_EQ(quelt::ScreenWidth(), c.accepted ? c.width : 640);
        EXPECT_EQ(quelt::ScreenHeight(), c.accepted ? c.height : 480);
        std::string reason;
        EXPECT_EQ(quelt::TakeLastError(reason), !c.accepted) << reason;
    }
    quelt::SetScreenSize(1280, 720);
    EXPECT_EQ(quelt::Console().PanelWidth(), 1280);
    quelt::SetWindowTitle("Game");
    ASSERT_TRUE(quelt::CreateWindow());
    EXPECT_TRUE(fake.Called("CreatePopupWindow(Game,0,0,1280,720)"));
    quelt::SetWindowTitle("Level 2"); // the open window's title changes too
    EXPECT_TRUE(fake.Called("SetWindowTitle(Level 2)"));
}

// The side buttons and the wheel count only when asked for: then the side
// buttons hold table entries, and a wheel step calls both procedures without one.
TEST_F(WindowLogic, SideButtonsAndWheelGiveKeysOnlyWhenAsked) {
    quelt::SetProcAdress(4, reinterpret_cast<TProc>(&RecordKey));
    quelt::SetKeyUpProc(&RecordKey);
    struct Case {
        bool asked;
        std::int32_t code;
        bool heldInTable;
    };
    for (const Case& c : {Case{false, 5, false}, Case{false, 259, false}, Case{true, 5, true}, Case{true, 6, true},
                          Case{true, 259, false}, Case{true, 260, false}}) {
        quelt::SetMouseKeys(c.asked);
        keyCalls.clear();
        fake.Post(Kind::ButtonDown, c.code);
        quelt::Msg();
        EXPECT_EQ(quelt::IsKeyPressed(c.code), c.heldInTable) << c.code;
        fake.Post(Kind::ButtonUp, c.code);
        quelt::Msg();
        // The cursor is wherever earlier calls left it: only the codes matter here.
        const std::int32_t x = quelt::GetMouseX(), y = quelt::GetMouseY();
        const std::vector<KeyCall> expected = {{c.code, x, y, c.heldInTable}, {c.code, x, y, false}};
        EXPECT_EQ(keyCalls, c.asked ? expected : std::vector<KeyCall>{}) << c.code;
    }
}

// Relative mode gives motion to the mouse-move procedure and, once left,
// the cursor back where it was; the window's end leaves it too.
TEST_F(WindowLogic, RelativeMouseGivesDeltasAndTheCursorBack) {
    moves.clear();
    std::string reason;
    EXPECT_FALSE(quelt::SetRelativeMouse(true));
    EXPECT_TRUE(quelt::TakeLastError(reason));
    quelt::SetProcAdress(5, reinterpret_cast<TProc>(&RecordMove));
    fake.cursorX = 300;
    fake.cursorY = 200;
    ASSERT_TRUE(quelt::CreateWindow());
    fake.failing = {"SetRelativeMouse"};
    EXPECT_FALSE(quelt::SetRelativeMouse(true));
    EXPECT_TRUE(quelt::TakeLastError(reason));
    fake.failing.clear();
    fake.Clear();
    ASSERT_TRUE(quelt::SetRelativeMouse(true));
    ASSERT_TRUE(quelt::SetRelativeMouse(true)); // already on: nothing more
    fake.Post(Kind::MouseDelta, -7, static_cast<std::uint32_t>(-3));
    fake.Post(Kind::MouseDelta, 12, 4);
    fake.cursorX = 512;
    fake.cursorY = 384;
    quelt::Msg();
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{-7, -3}, {12, 4}}));
    ASSERT_TRUE(quelt::SetRelativeMouse(false));
    EXPECT_EQ(quelt::GetMouseX(), 300);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"SetRelativeMouse(on)", "SetRelativeMouse(off)", "WarpCursor(300,200)"}));
    ASSERT_TRUE(quelt::SetRelativeMouse(true));
    fake.Clear();
    quelt::KillWindow();
    EXPECT_EQ(fake.calls.at(1), "WarpCursor(300,200)");
}

// Vertical sync reaches the driver only for a known mode on a window, and a
// refusal comes back with its reason.
TEST_F(WindowLogic, VerticalSyncModesAreCheckedAndRefusalsReported) {
    std::string reason;
    EXPECT_FALSE(quelt::SetVSync(1));
    EXPECT_TRUE(quelt::TakeLastError(reason));
    ASSERT_TRUE(quelt::CreateWindow());
    struct Case {
        int mode;
        bool driverRefuses, accepted;
    };
    for (const Case& c : {Case{-1, false, true}, Case{1, false, true}, Case{0, false, true}, Case{-1, true, false},
                          Case{2, false, false}, Case{-2, false, false}}) {
        fake.failing = c.driverRefuses ? std::set<std::string>{"SetSwapInterval"} : std::set<std::string>{};
        fake.Clear();
        EXPECT_EQ(quelt::SetVSync(c.mode), c.accepted) << c.mode;
        EXPECT_EQ(quelt::TakeLastError(reason), !c.accepted) << c.mode;
        EXPECT_EQ(fake.Called("SetSwapInterval(" + std::to_string(c.mode) + ")"), c.mode >= -1 && c.mode <= 1);
    }
}

// The icon comes from an image file as the texture readers decode it, made
// opaque RGBA; what cannot be read or shown is refused with a reason.
TEST_F(WindowLogic, WindowIconFromAnImageFile) {
    using quelt::test::PutU16;
    using quelt::test::PutU32;
    quelt::test::Bytes bmp = {'B', 'M'}; // 2 x 1, 24 bits: blue then red, BGR
    for (std::uint32_t value : {62u, 0u, 54u, 40u, 2u, 1u}) PutU32(bmp, value);
    PutU16(bmp, 1);
    PutU16(bmp, 24);
    for (int i = 0; i < 6; ++i) PutU32(bmp, 0);
    bmp.insert(bmp.end(), {255, 0, 0, 0, 0, 255, 0, 0});
    quelt::test::WriteFile("icon.bmp", bmp);
    quelt::test::WriteFile("text.bmp", std::string("not an image"));
    std::string reason;
    EXPECT_FALSE(quelt::SetWindowIcon("icon.bmp"));
    EXPECT_TRUE(quelt::TakeLastError(reason));
    ASSERT_TRUE(quelt::CreateWindow());
    for (const char* name : {"missing.bmp", "text.bmp"}) {
        EXPECT_FALSE(quelt::SetWindowIcon(name)) << name;
        EXPECT_TRUE(quelt::TakeLastError(reason)) << name;
    }
    fake.failing = {"SetWindowIcon"};
    EXPECT_FALSE(quelt::SetWindowIcon("icon.bmp"));
    EXPECT_TRUE(quelt::TakeLastError(reason));
    fake.failing.clear();
    ASSERT_TRUE(quelt::SetWindowIcon("icon.bmp"));
    EXPECT_TRUE(fake.Called("SetWindowIcon(2,1)"));
    EXPECT_EQ(fake.icon, (std::vector<std::uint8_t>{0, 0, 255, 255, 255, 0, 0, 255}));
}

TEST(WindowClock, MillisecondsAreExactForAnyUptime) {
    FakePlatform fake;
    fake.frequency = 1'000'000'000; // a nanosecond counter
    fake.counter = 1'999'999;
    EXPECT_EQ(quelt::GetTimer(), 1); // truncated
    // 300 days in nanoseconds: count * 1000 no longer fits 64 bits.
    const std::uint64_t ms = 300ull * 86'400'000ull;
    fake.counter = ms * 1'000'000ull + 999'999ull;
    EXPECT_EQ(quelt::GetTimer(), static_cast<std::int32_t>(static_cast<std::uint32_t>(ms)));
    // The low 32 bits wrap as a signed number.
    fake.frequency = 1000;
    fake.counter = (1ull << 32) + 5;
    EXPECT_EQ(quelt::GetTimer(), 5);
    fake.counter = 0x80000000ull;
    EXPECT_EQ(quelt::GetTimer(), INT_MIN);
    // An odd frequency still truncates exactly.
    fake.frequency = 3;
    fake.counter = 10;
    EXPECT_EQ(quelt::GetTimer(), 3333);
    fake.frequency = 0;
    EXPECT_EQ(quelt::GetTimer(), 0);
}

} // namespace
