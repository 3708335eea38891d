// SPDX-License-Identifier: Zlib
// The console in a real engine window: keys typed through the X server reach
// a registered command, and the panel and its text land in the frame buffer.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "GLTestWindow.h"
#include "QConsoling.h"
#include "QDraw2D.h"
#include "QWin.h"

namespace {

using quelt::test::GLWindowTest;
using quelt::test::Near;
using quelt::test::Rgba;

std::vector<std::string> said;
void Say(const char* argument) { said.push_back(argument); }

// Pumps the window's messages until `done` holds; false if it never does
// within `limit`.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        quelt::Msg();
        if (done()) return true;
    }
    return false;
}

void XdoTool(const std::string& arguments) {
    ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << "xdotool " << arguments;
}

class ConsoleWindow : public GLWindowTest {
protected:
    void SetUp() override {
        GLWindowTest::SetUp();
        quelt::ConsoleDisable();
        quelt::SetConsoleLines(5);
        said.clear();
    }
};

TEST_F(ConsoleWindow, TypedKeysShowTheConsoleAndRunACommand) {
    quelt::ConsoleCommand(reinterpret_cast<TProc>(Say), true, "say");
    quelt::Console& console = quelt::TheConsole();
    // Let the window map and take focus before typing into it.
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));

    XdoTool("key grave");
    ASSERT_TRUE(PumpUntil([&] { return console.Shown(); })) << "the toggle key never arrived";
    EXPECT_EQ(console.CommandLine(), "") << "the backquote was typed";

    XdoTool("type --delay 15 'say hello world'");
    ASSERT_TRUE(PumpUntil([&] { return console.CommandLine() == "say hello world"; }))
        << "typed: '" << console.CommandLine() << "'";
    XdoTool("key Return");
    ASSERT_TRUE(PumpUntil([] { return !said.empty(); }));
    EXPECT_EQ(said, std::vector<std::string>{"hello world"});
    EXPECT_EQ(console.Lines().back(), "Called say('hello world')");
    EXPECT_EQ(console.CommandLine(), "");

    XdoTool("key Up");
    ASSERT_TRUE(PumpUntil([&] { return console.CommandLine() == "say hello world"; }));

    XdoTool("key grave");
    ASSERT_TRUE(PumpUntil([&] { return !console.Shown(); }));
}

class ConsoleDrawing : public ConsoleWindow {
protected:
    static constexpr int kLineHeight = 20;
    static constexpr int kPanelHeight = 6 * kLineHeight; // five lines and the command line

    void SetUp() override {
        ConsoleWindow::SetUp();
        font_ = quelt::BitmapFont(0, 16, "DejaVu Sans");
        ASSERT_NE(font_, 0u);
        // Five lines: two empty, then the banner.
        quelt::SetConsoleFont(font_, 16, kLineHeight);
        quelt::Set2D();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
    }
    void TearDown() override {
        quelt::DeleteFont(font_);
        ConsoleWindow::TearDown();
    }

    struct Band {
        int grey = 0, white = 0, other = 0;
    };
    // Classifies the pixels of rows [top, bottom) across the whole width.
    Band Classify(int top, int bottom, int left = 0, int right = quelt::kScreenWidth) {
        Band band;
        const std::vector<std::uint8_t> pixels = window().ReadRegion(left, top, right - left, bottom - top);
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            const Rgba pixel{pixels[i], pixels[i + 1], pixels[i + 2], 255};
            if (Near(pixel, {128, 128, 128, 255})) ++band.grey;
            else if (Near(pixel, {255, 255, 255, 255})) ++band.white;
            else ++band.other;
        }
        return band;
    }

    std::uint32_t font_ = 0;
};

TEST_F(ConsoleDrawing, ShownConsolePaintsThePanelAndItsText) {
    ASSERT_EQ(window().DrawableWidth(), quelt::kScreenWidth);
    ASSERT_EQ(window().DrawableHeight(), quelt::kScreenHeight);
    quelt::ConsoleEnable();
    // The panel ignores whatever model-view transform the caller left...
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(300, 200, 0);
    GLfloat before[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);

    quelt::RenderConsole();
    glFinish();

    // ...and hands it back.
    GLfloat after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]) << i;
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Exactly the panel's rectangle is grey or text; below it nothing changed.
    const Band panel = Classify(0, kPanelHeight);
    EXPECT_EQ(panel.grey + panel.white + panel.other, quelt::kScreenWidth * kPanelHeight);
    EXPECT_EQ(panel.other, 0);
    const Band below = Classify(kPanelHeight, kPanelHeight + 4);
    EXPECT_EQ(below.grey + below.white, 0);

    // Empty lines leave their rows plain grey; the banner and the prompt
    // put white text on the rows above their baselines; nothing left of the text edge.
    EXPECT_EQ(Classify(0, 2 * kLineHeight).white, 0);
    for (int row = 2; row < 6; ++row)
        EXPECT_GT(Classify(row * kLineHeight, (row + 1) * kLineHeight).white, 10) << "row " << row;
    EXPECT_EQ(Classify(0, kPanelHeight, 0, 12).white, 0);
}

TEST_F(ConsoleDrawing, TypedTextShowsOnThePromptRow) {
    quelt::ConsoleEnable();
    const int promptTop = 5 * kLineHeight;
    const auto promptWhite = [&] {
        glClear(GL_COLOR_BUFFER_BIT);
        quelt::RenderConsole();
        glFinish();
        return Classify(promptTop, kPanelHeight).white;
    };
    const int bare = promptWhite();
    for (char c : std::string("WWWW")) quelt::ConsoleCharInput(static_cast<std::uint8_t>(c));
    EXPECT_GT(promptWhite(), bare + 20);
}

TEST_F(ConsoleDrawing, HiddenConsoleDrawsNothingAndLeavesDepthTestAlone) {
    quelt::RenderConsole();
    glFinish();
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    const Band top = Classify(0, kPanelHeight + 4);
    EXPECT_EQ(top.grey + top.white, 0);
}

} // namespace
