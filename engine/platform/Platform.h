// SPDX-License-Identifier: Zlib
// The operations the engine's logic needs from the windowing system, the GL
// context layer, the clock and the dynamic loader. PlatformSDL.cpp provides
// them on SDL2; tests install a fake that records calls and fails on demand.
// Nothing outside engine/platform includes SDL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quelt {

// Opaque handles; 0 means "none", as on the original platform.
using Handle = std::uintptr_t;

// One window message, already in the shape the window procedure handles.
struct PlatformMessage {
    enum class Kind {
        Destroyed,    // the window was destroyed
        CloseRequest, // the user asked to close the window: ends the main loop
        Resized,      // the window's client area changed size (the user resized or maximised it)
        Quit,         // the last window closed or the process was interrupted: the same
        KeyDown,      // code: virtual key; repeat set for auto-repeat
        KeyUp,        // code: virtual key
        SysKeyDown,   // Alt-chords and F10: left to the default procedure
        SysKeyUp,
        Char,         // code: Windows-1251 character
        MouseMove,    // position: low 16 bits X, high 16 bits Y (client)
        MouseDelta,   // in relative mode: code the motion in X, position in Y (as int32_t)
        ButtonDown,   // code: 256 left, 257 right, 258 middle, 5 and 6 the side buttons,
                      // 259 a wheel step up, 260 down (each step a down and an up)
        ButtonUp,
        // The gamepads. device: the pad's id, never given to another pad while the process runs.
        PadAdded,     // connected, or there when the gamepads were started
        PadRemoved,   // disconnected
        PadDown,      // code: the button's key code on the first pad (QK_PAD_A ...)
        PadUp,
        PadAxis,      // code: the axis (QPAD_*); position: its value as int32_t,
                      // -32768 to 32767 for a stick, 0 to 32767 for a trigger
        Other,        // anything else: the default procedure's business
    };
    Kind kind = Kind::Other;
    std::int32_t code = 0;
    std::uint32_t position = 0;
    bool repeat = false;
    std::int32_t device = 0; // the pad, for Pad* messages
};

inline bool IsPadMessage(PlatformMessage::Kind kind) {
    using Kind = PlatformMessage::Kind;
    return kind == Kind::PadAdded || kind == Kind::PadRemoved || kind == Kind::PadDown || kind == Kind::PadUp ||
           kind == Kind::PadAxis;
}

class Platform {
public:
    virtual ~Platform() = default;

    // Window class and window. The class is what SDL's video subsystem stands for.
    virtual bool RegisterWindowClass() = 0;
    virtual bool UnregisterWindowClass() = 0;
    // Borderless pop-up with the given title (Windows-1251 bytes) at (x, y),
    // client width x height.
    virtual Handle CreatePopupWindow(const std::string& title, int x, int y, int width, int height) = 0;
    virtual bool DestroyWindow(Handle window) = 0;
    virtual Handle GetDeviceContext(Handle window) = 0;
    // Closest match to RGBA 8-8-8-8, double buffer, depth 24, stencil 8; 0 when none.
    virtual int ChoosePixelFormat(Handle dc) = 0;
    virtual bool SetPixelFormat(Handle dc, int format) = 0;
    virtual void ShowWindow(Handle window) = 0; // shown, raised, focused
    // Operations given a body here are later additions; the body is what a
    // platform without them does (test doubles need not provide them).
    virtual void SetWindowTitle(Handle, const std::string&) {} // Windows-1251 bytes
    // The window's icon from RGBA pixels, rows top to bottom; false when refused.
    virtual bool SetWindowIcon(Handle, int, int, const std::vector<std::uint8_t>&) { return false; }

    // GL contexts.
    virtual Handle CreateContext(Handle dc) = 0;
    // A second context sharing objects with `share` (0: no sharing).
    virtual Handle CreateSharedContext(Handle dc, Handle share) = 0;
    virtual bool MakeCurrent(Handle dc, Handle context) = 0; // (0, 0) releases
    virtual bool DeleteContext(Handle context) = 0;
    virtual Handle CurrentDeviceContext() = 0;
    virtual Handle CurrentContext() = 0;
    virtual bool SetSwapInterval(int interval) = 0;
    virtual bool SwapBuffers(Handle dc) = 0;
    virtual void* GetGLProcAddress(const char* name) = 0;
    // Size of the drawable in pixels (what a full-screen request really got).
    virtual void GetDrawableSize(Handle window, int& width, int& height) = 0;

    // Display modes and window styles.
    // Temporary full-screen mode change; false on general failure.
    virtual bool ChangeDisplayMode(Handle window, int width, int height, int bits, int frequency) = 0;
    virtual void RestoreDisplayMode(Handle window) = 0;
    // Full screen: borderless pop-up; windowed: a framed, resizable window.
    // Either way at (0, 0) with a client area of width x height.
    virtual void SetWindowStyle(Handle window, bool fullscreen, int width, int height) = 0;
    virtual void ShowCursor(bool show) = 0;
    // Relative mode: the cursor hidden and held in the window, motion as
    // MouseDelta messages. False where the system refuses it.
    virtual bool SetRelativeMouse(Handle, bool) { return false; }
    // Moves the cursor to screen coordinates (x, y).
    virtual void WarpCursor(std::int32_t, std::int32_t) {}

    // Gamepads. Once started, the pads connected and every one connected
    // later come as PadAdded messages, then their buttons and axes, also
    // without a window; stopping closes them and drops their messages not
    // yet handed out. False, with GamepadError saying why, when refused.
    virtual bool StartGamepads() { return false; }
    virtual void StopGamepads() {}
    virtual std::string GamepadError() { return "this platform has no gamepad support"; }

    // Messages and input.
    virtual bool PeekMessage(PlatformMessage& message) = 0;
    // Screen coordinates; false, leaving x and y alone, where there is no
    // display to ask (the window class is not registered).
    virtual bool GetCursorPos(std::int32_t& x, std::int32_t& y) = 0;

    // Clock.
    virtual std::uint64_t PerformanceCounter() = 0;
    virtual std::uint64_t PerformanceFrequency() = 0;
    // Gives up the processor for at least `milliseconds`.
    virtual void Sleep(std::uint32_t) {}

    // Modal error box; caption and text are Windows-1251 bytes.
    virtual void MessageBox(const std::string& caption, const std::string& text) = 0;

    // Dynamic libraries.
    virtual void* LoadLibrary(const char* name) = 0;
    virtual void* GetSymbol(void* library, const char* name) = 0;
    virtual void FreeLibrary(void* library) = 0;
    // The loader's words for the last LoadLibrary that failed.
    virtual std::string LibraryError() { return "the library cannot be loaded"; }
};

// The platform in use: the SDL one unless a test installed another.
Platform& CurrentPlatform();
// Installs `platform` (not owned) for the rest of the process, or the SDL
// platform again when null. Tests only.
void SetPlatform(Platform* platform);

} // namespace quelt
