// The real engine window under Xvfb: framebuffer, presenting, the loop's
// frame count, real input events and the windowed screen mode.
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "GLTestWindow.h"
#include "QCore.h"
#include "QWin.h"
#include "platform/GL.h"

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

// Pumps the engine's messages until `done` holds or three seconds pass.
template <typename F>
bool PumpUntil(F done) {
    const Uint32 start = SDL_GetTicks();
    while (!done()) {
        if (SDL_GetTicks() - start > 3000) return false;
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
        // Let the window map and take the focus before typing at it.
        Settle(200);
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

// The platform's own translation, read before the window procedure sees it.
std::vector<quelt::PlatformMessage> TakeMessages(std::size_t atLeast) {
    std::vector<quelt::PlatformMessage> messages;
    const Uint32 start = SDL_GetTicks();
    while (messages.size() < atLeast && SDL_GetTicks() - start < 3000) {
        quelt::PlatformMessage message;
        while (quelt::CurrentPlatform().PeekMessage(message))
            if (message.kind != quelt::PlatformMessage::Kind::Other) messages.push_back(message);
        SDL_Delay(5);
    }
    return messages;
}

TEST_F(GLInputTest, TypedTextArrivesAsWindows1251Characters) {
    using Kind = quelt::PlatformMessage::Kind;
    TakeMessages(0);
    // Cyrillic arrives as text only; Escape also translates to character 27.
    // xdotool maps Cyrillic onto a spare key only while it types, so the
    // events are read while it runs, not after.
    ASSERT_TRUE(Xdotool("type --delay 50 'b\xD0\xB0' && xdotool key Escape &")); // "b", Cyrillic "a"
    std::vector<int> characters;
    bool escapeDown = false;
    for (const quelt::PlatformMessage& message : TakeMessages(7)) {
        if (message.kind == Kind::Char) characters.push_back(message.code);
        if (message.kind == Kind::KeyDown && message.code == 27) escapeDown = true;
    }
    EXPECT_TRUE(escapeDown);
    EXPECT_EQ(characters, (std::vector<int>{'b', 0xE0, 27}));
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

TEST_F(GLWindowTest, WindowedModeSizesClientAndViewportButNotTheLogicalScreen) {
    ASSERT_TRUE(quelt::ScreenMode(800, 600, 32, 60, false));
    Settle(100);
    GLint viewport[4] = {};
    ::glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);
    EXPECT_EQ(window().DrawableWidth(), 800);
    EXPECT_EQ(window().DrawableHeight(), 600);
    auto* sdlWindow = reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext());
    int width = 0, height = 0;
    SDL_GetWindowSize(sdlWindow, &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_FALSE(SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_BORDERLESS);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(quelt::kScreenWidth, 1024);
    EXPECT_EQ(quelt::kScreenHeight, 768);
}

TEST_F(GLWindowTest, FullScreenTakesTheGrantedModeAndHidesTheCursor) {
    ASSERT_TRUE(quelt::ScreenMode(1024, 768, 32, 70, true));
    Settle(100);
    GLint viewport[4] = {};
    ::glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], window().DrawableWidth());
    EXPECT_EQ(viewport[3], window().DrawableHeight());
    EXPECT_EQ(window().DrawableWidth(), 1024);
    EXPECT_EQ(window().DrawableHeight(), 768);
    auto* sdlWindow = reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext());
    EXPECT_TRUE(SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_FULLSCREEN);
    EXPECT_TRUE(SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_BORDERLESS);
    int x = -1, y = -1;
    SDL_GetWindowPosition(sdlWindow, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    if (quelt::CursorDisplayCounter() < 0) {
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    }
    // Back to a window: the desktop mode returns and the window takes the size.
    ASSERT_TRUE(quelt::ScreenMode(640, 480, 32, 60, false));
    EXPECT_FALSE(SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_FULLSCREEN);
    EXPECT_EQ(window().DrawableWidth(), 640);
    EXPECT_EQ(window().DrawableHeight(), 480);
}

} // namespace
