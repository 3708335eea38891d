// SPDX-License-Identifier: Zlib
// A platform for tests without a display: records every call, fails chosen
// operations on demand, captures message boxes and runs a settable clock.
// Constructing one installs it; destroying it puts the SDL platform back.
#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace quelt::test {

class FakePlatform final : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // Operations named here (e.g. "CreatePopupWindow") report failure.
    std::set<std::string> failing;
    // Every call in order, as "Name" or "Name(arguments)".
    std::vector<std::string> calls;
    // When set, each call is also written there, one a line: what happens
    // at process exit can be seen from outside.
    int echoFd = -1;
    // (caption, text) of every message box, bytes as given.
    std::vector<std::pair<std::string, std::string>> boxes;
    // Messages PeekMessage hands out, front first.
    std::deque<PlatformMessage> queue;
    std::int32_t cursorX = 0, cursorY = 0;
    std::uint64_t counter = 0;
    std::uint64_t frequency = 1000; // the counter counts milliseconds by default
    int drawableWidth = 1024, drawableHeight = 768;
    int peekCount = 0;
    std::uint64_t sleptMilliseconds = 0;
    bool cursorShown = true;

    void SetMilliseconds(std::int64_t ms) { counter = static_cast<std::uint64_t>(ms) * frequency / 1000; }
    void Post(PlatformMessage::Kind kind, std::int32_t code = 0, std::uint32_t position = 0, bool repeat = false);
    bool Called(const std::string& call) const;
    void Log(const std::string& call);
    void Clear() {
        calls.clear();
        boxes.clear();
    }

    bool RegisterWindowClass() override;
    bool UnregisterWindowClass() override;
    Handle CreatePopupWindow(const std::string& title, int x, int y, int width, int height) override;
    bool DestroyWindow(Handle window) override;
    Handle GetDeviceContext(Handle window) override;
    int ChoosePixelFormat(Handle dc) override;
    bool SetPixelFormat(Handle dc, int format) override;
    void ShowWindow(Handle window) override;
    void SetWindowTitle(Handle window, const std::string& title) override;
    // Logs "SetWindowIcon(width,height)" and keeps the pixels in `icon`.
    bool SetWindowIcon(Handle window, int width, int height, const std::vector<std::uint8_t>& rgba) override;
    std::vector<std::uint8_t> icon;
    Handle CreateContext(Handle dc) override;
    Handle CreateSharedContext(Handle dc, Handle share) override;
    bool MakeCurrent(Handle dc, Handle context) override;
    bool DeleteContext(Handle context) override;
    Handle CurrentDeviceContext() override { return currentDc_; }
    Handle CurrentContext() override { return currentContext_; }
    bool SetSwapInterval(int interval) override;
    bool SwapBuffers(Handle dc) override;
    // While a context is current, glFlush, glFinish and glViewport resolve to
    // recorders that log into `calls`; nothing else resolves.
    void* GetGLProcAddress(const char* name) override;
    void GetDrawableSize(Handle window, int& width, int& height) override;
    bool ChangeDisplayMode(Handle window, int width, int height, int bits, int frequency) override;
    void RestoreDisplayMode(Handle window) override;
    void SetWindowStyle(Handle window, bool fullscreen, int width, int height) override;
    void ShowCursor(bool show) override;
    bool SetRelativeMouse(Handle window, bool on) override;
    void WarpCursor(std::int32_t x, std::int32_t y) override; // moves cursorX, cursorY
    bool PeekMessage(PlatformMessage& message) override;
    bool GetCursorPos(std::int32_t& x, std::int32_t& y) override; // false unless registered
    std::uint64_t PerformanceCounter() override { return counter; }
    std::uint64_t PerformanceFrequency() override { return frequency; }
    // Advances the clock instead of waiting, adding to sleptMilliseconds.
    void Sleep(std::uint32_t milliseconds) override;
    void MessageBox(const std::string& caption, const std::string& text) override;
    void* LoadLibrary(const char*) override { return nullptr; }
    void* GetSymbol(void*, const char*) override { return nullptr; }
    void FreeLibrary(void*) override {}

private:
    bool Fails(const char* operation) const { return failing.count(operation) != 0; }
    Handle NextHandle() { return nextHandle_++; }

    bool registered_ = false;
    std::set<Handle> windows_;
    std::set<Handle> contexts_;
    Handle currentDc_ = 0, currentContext_ = 0;
    Handle nextHandle_ = 0x1000;
};

} // namespace quelt::test
