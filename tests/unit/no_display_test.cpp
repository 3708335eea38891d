// SPDX-License-Identifier: Zlib
// With no display SDL would open its window with a driver that shows nothing;
// the engine refuses that unless the program asked for it by name.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <quelt/quelt.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "TestFiles.h"

namespace {

// In the child of a death test, with no display of any kind and SDL's driver
// left to SDL unless `videoDriver` names one: exits 0 when qCreateWindow
// succeeded, 3 when it failed; its reason goes to standard error.
[[noreturn]] void CreateWindowWithoutDisplay(const char* videoDriver) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (videoDriver)
        setenv("SDL_VIDEODRIVER", videoDriver, 1);
    else
        unsetenv("SDL_VIDEODRIVER");
    void* library = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library) std::_Exit(4);
    const auto create = reinterpret_cast<decltype(&qCreateWindow)>(dlsym(library, "qCreateWindow"));
    const auto lastError = reinterpret_cast<decltype(&qGetLastError)>(dlsym(library, "qGetLastError"));
    const bool created = create();
    char* reason = nullptr;
    if (lastError(&reason)) std::fprintf(stderr, "reason: %s\n", reason);
    std::_Exit(created ? 0 : 3); // no exit handlers: only the window's outcome counts
}

TEST(NoDisplay, CreateWindowFailsWithTheMessageUnlessAnUnseenDriverIsNamed) {
    EXPECT_EXIT(CreateWindowWithoutDisplay(nullptr), ::testing::ExitedWithCode(3),
                "Unable to create window!.*reason: Unable to create window: no display.*SDL_VIDEODRIVER=offscreen");
    EXPECT_EXIT(CreateWindowWithoutDisplay("offscreen"), ::testing::ExitedWithCode(0), "");
}

TEST(NoDisplay, AnExampleEndsWithTheMessageInsteadOfRunningUnseen) {
    const std::string example = std::string(QUELT_BIN_DIR) + "/hello_window";
    if (!quelt::test::FileExists(example)) GTEST_SKIP() << "examples are not built";
    // The timeout only guards against a hang; the example is expected to end at once.
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 60 " + example + " 2>hello_window.err";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(WEXITSTATUS(status), 124) << "still running after 60 s";
    const quelt::test::Bytes err = quelt::test::ReadFile("hello_window.err");
    EXPECT_NE(std::string(err.begin(), err.end()).find("Unable to create window!"), std::string::npos);
}

} // namespace
