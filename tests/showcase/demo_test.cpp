// SPDX-License-Identifier: Zlib
// Showcase end to end under the X server the tests run on: full screen,
// frames rendered, Escape typed with xdotool ending it with status 0, and a
// screenshot showing sky, textured landscape, character and shadow. Also its
// options and its refusal to start without a usable engine.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "ShowcaseScene.h"

namespace fs = std::filesystem;

namespace {

const std::string kShowcase = std::string(QUELT_BIN_DIR) + "/Showcase";

std::string ReadText(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A child process with its output in files.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args, const std::string& tag) {
        out_ = fs::absolute(tag + ".out").string();
        err_ = fs::absolute(tag + ".err").string();
        pid_ = fork();
        if (pid_ == 0) {
            if (!freopen(out_.c_str(), "w", stdout) || !freopen(err_.c_str(), "w", stderr)) _exit(126);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0 && !done_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Exit status, or -1 when it had not ended within the time (it is then killed).
    int Wait(std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                done_ = true;
                exited_ = WIFEXITED(status);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    pid_t pid() const { return pid_; }
    // Whether it ended by itself rather than by a signal.
    bool Exited() const { return exited_; }
    std::string Out() const { return ReadText(out_); }
    std::string Err() const { return ReadText(err_); }

private:
    pid_t pid_ = -1;
    bool done_ = false;
    bool exited_ = false;
    std::string out_, err_;
};

std::string Command(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    return output;
}

struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const { return &rgb[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3]; }
};

bool LoadPng(const std::string& path, Screenshot& shot) {
    int components = 0;
    unsigned char* data = stbi_load(path.c_str(), &shot.width, &shot.height, &components, 3);
    if (!data) return false;
    shot.rgb.assign(data, data + std::size_t(shot.width) * std::size_t(shot.height) * 3);
    stbi_image_free(data);
    return true;
}

// The demo's window once it has one; empty when none appeared.
std::string WindowOf(const Child& demo) {
    std::string window;
    for (int i = 0; i < 300 && window.empty(); ++i) {
        window = Command("xdotool search --pid " + std::to_string(demo.pid()) + " 2>/dev/null | head -n 1");
        if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return window;
}

class Demo : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run"; }
};

} // namespace

TEST_F(Demo, RunsFullScreenUntilEscapeAndShowsTheScene) {
    fs::remove("running.png");
    // The scene held at one moment: as it moves, its clock (and so where the
    // light and the view are when Escape comes) is the machine's uptime.
    Child demo(kShowcase, {"--screenshot", "running.png", "--still", "0"}, "escape");

    // Wait for the window, then let it render for a while.
    const std::string window = WindowOf(demo);
    ASSERT_FALSE(window.empty()) << "no window appeared; stderr: " << demo.Err();
    std::this_thread::sleep_for(std::chrono::seconds(3));

    // Full screen: the window covers the whole display.
    const std::string display = Command("xdotool getdisplaygeometry");
    const std::string geometry = Command("xdotool getwindowgeometry " + window);
    std::istringstream size(display);
    int screenWidth = 0, screenHeight = 0;
    size >> screenWidth >> screenHeight;
    EXPECT_NE(geometry.find("Position: 0,0"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("Geometry: " + std::to_string(screenWidth) + "x" + std::to_string(screenHeight)),
              std::string::npos)
        << geometry << " on a display of " << display;

    Command("xdotool windowfocus " + window);
    // Held like a finger would: the demo polls the key state between frames,
    // so a press and release inside one slow frame would go unseen.
    Command("xdotool keydown Escape");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    Command("xdotool keyup Escape");
    const int status = demo.Wait(std::chrono::seconds(30));
    ASSERT_EQ(status, 0) << "stderr: " << demo.Err();

    Screenshot shot;
    ASSERT_TRUE(LoadPng("running.png", shot));
    ASSERT_EQ(shot.width, screenWidth);
    ASSERT_EQ(shot.height, screenHeight);

    for (const std::string& part : showcase_test::MissingSceneParts(shot.width, shot.height, shot.rgb))
        ADD_FAILURE() << "the screenshot lacks " << part;
}

// Ctrl+C or a termination request, whenever it comes once the window is
// there, ends the demo by itself with the status of an interrupted program.
TEST_F(Demo, InterruptEndsItWithTheSignalsStatus) {
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        Child demo(kShowcase, {"--windowed"}, "interrupt");
        ASSERT_FALSE(WindowOf(demo).empty()) << demo.Err();
        kill(demo.pid(), signal);
        EXPECT_EQ(demo.Wait(std::chrono::seconds(30)), status) << signal;
        EXPECT_TRUE(demo.Exited()) << signal;
    }
}

TEST_F(Demo, FramesOptionStopsAndWritesTheLastFrame) {
    fs::remove("windowed.png");
    Child demo(kShowcase, {"--windowed", "--frames", "20", "--screenshot", "windowed.png"}, "frames");
    ASSERT_EQ(demo.Wait(std::chrono::seconds(60)), 0) << demo.Err();
    Screenshot shot;
    ASSERT_TRUE(LoadPng("windowed.png", shot));
    EXPECT_EQ(shot.width, 1024);
    EXPECT_EQ(shot.height, 768);
    // The sky fills the top of the first frames.
    const uint8_t* corner = shot.At(5, 5);
    EXPECT_NEAR(corner[0], 0, 2);
    EXPECT_NEAR(corner[1], 128, 2);
    EXPECT_NEAR(corner[2], 179, 2);
}

TEST_F(Demo, HelpAndBadOptions) {
    Child help(kShowcase, {"--help"}, "help");
    ASSERT_EQ(help.Wait(std::chrono::seconds(10)), 0);
    for (const char* option : {"--windowed", "--frames", "--screenshot", "--still"})
        EXPECT_NE(help.Out().find(option), std::string::npos) << option;

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--frames", "many"}, {"--frames", "0"}, {"--frames"}, {"--screenshot"}, {"--fullscreen"},
             {"--still", "-5"}, {"--still", "1s"}}) {
        Child bad(kShowcase, args, "bad");
        EXPECT_EQ(bad.Wait(std::chrono::seconds(10)), 2) << args[0];
        EXPECT_NE(bad.Err().find("Showcase:"), std::string::npos) << bad.Err();
    }
}

TEST_F(Demo, RefusesToStartWithoutAUsableEngine) {
    // Alone in a folder: no engine library beside it.
    fs::create_directories("alone");
    fs::copy_file(kShowcase, "alone/Showcase", fs::copy_options::overwrite_existing);
    Child alone(fs::absolute("alone/Showcase").string(), {"--windowed"}, "alone");
    EXPECT_EQ(alone.Wait(std::chrono::seconds(10)), 1);
    EXPECT_NE(alone.Err().find("libQuelt.so"), std::string::npos) << alone.Err();

    // Beside a library that lacks qSetUPS.
    fs::create_directories("partial");
    fs::copy_file(kShowcase, "partial/Showcase", fs::copy_options::overwrite_existing);
    fs::copy_file(SHOWCASE_PARTIAL_LIBRARY, std::string("partial/") + SHOWCASE_ENGINE_LIBRARY, fs::copy_options::overwrite_existing);
    Child partial(fs::absolute("partial/Showcase").string(), {"--windowed"}, "partial");
    EXPECT_EQ(partial.Wait(std::chrono::seconds(10)), 1);
    EXPECT_NE(partial.Err().find("qSetUPS"), std::string::npos) << partial.Err();
}

TEST_F(Demo, GoesOnWithoutItsAssetsAndNamesThem) {
    fs::create_directories("bare");
    fs::copy_file(kShowcase, "bare/Showcase", fs::copy_options::overwrite_existing);
    fs::copy_file(std::string(QUELT_BIN_DIR) + "/libQuelt.so", std::string("bare/") + SHOWCASE_ENGINE_LIBRARY, fs::copy_options::overwrite_existing);
    fs::remove("bare.png");
    Child bare(fs::absolute("bare/Showcase").string(), {"--windowed", "--frames", "5", "--screenshot", "bare.png"},
               "bare");
    ASSERT_EQ(bare.Wait(std::chrono::seconds(60)), 0) << bare.Err();
    EXPECT_NE(bare.Err().find("Morrek.qmm"), std::string::npos) << bare.Err();
    EXPECT_NE(bare.Err().find("LandScape.qmm"), std::string::npos) << bare.Err();
    // Only the sky and the light's marker remain.
    Screenshot shot;
    ASSERT_TRUE(LoadPng("bare.png", shot));
    const uint8_t* centre = shot.At(shot.width / 2, shot.height / 2);
    EXPECT_NEAR(centre[1], 128, 2);
    EXPECT_NEAR(centre[2], 179, 2);
}
