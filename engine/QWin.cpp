// SPDX-License-Identifier: Zlib
#include "QWin.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "QConsoling.h"
#include "QCore.h"
#include "QGamepad.h"
#include "QTexture.h"
#include "QUtils.h"
#include "platform/GL.h"

namespace quelt {
namespace {

constexpr const char* kErrorCaption = "Error";
// The teardown's texts are kept in Windows-1251, as the message box takes them.
constexpr const char* kTeardownCaption = "\xCE\xF8\xE8\xE1\xEA\xE0"; // "Ошибка"
constexpr const char* kCannotReleaseContext = // "Не могу выбрать контекст рендиринга!"
    "\xCD\xE5 \xEC\xEE\xE3\xF3 \xE2\xFB\xE1\xF0\xE0\xF2\xFC \xEA\xEE\xED\xF2\xE5\xEA\xF1\xF2 "
    "\xF0\xE5\xED\xE4\xE8\xF0\xE8\xED\xE3\xE0!";
constexpr const char* kCannotDeleteContext = // "Не могу удалит контекст рендеринга!"
    "\xCD\xE5 \xEC\xEE\xE3\xF3 \xF3\xE4\xE0\xEB\xE8\xF2 \xEA\xEE\xED\xF2\xE5\xEA\xF1\xF2 "
    "\xF0\xE5\xED\xE4\xE5\xF0\xE8\xED\xE3\xE0!";
constexpr const char* kCannotDestroyWindow = // "Не могу удалить окно"
    "\xCD\xE5 \xEC\xEE\xE3\xF3 \xF3\xE4\xE0\xEB\xE8\xF2\xFC \xEE\xEA\xED\xEE";

// Every key, mouse button and pad button.
constexpr int kKeyCount = QK_PAD(kMaxGamepads, QK_PAD_A);

struct WindowState {
    // Handles survive a successful teardown so that a second one retries them.
    Handle window = 0;
    Handle deviceContext = 0;
    Handle context = 0;
    bool open = false;
    bool fullscreen = false;
    std::uint32_t token = 0;
    std::uint32_t tokenSerial = 0;
    int cursorCounter = 0; // the cursor shows while this is >= 0
    std::array<bool, kKeyCount> keys{};
    std::int32_t mouseX = 0;
    std::int32_t mouseY = 0;
    // The size the viewport was last set to, and whether the client area
    // changed size since.
    int viewportWidth = 0;
    int viewportHeight = 0;
    bool resized = false;
    // The client size the resize procedure last heard of, and whether a
    // resize message came since.
    int reportedWidth = 0;
    int reportedHeight = 0;
    bool resizeToReport = false;
    std::int32_t screenWidth = kScreenWidth;
    std::int32_t screenHeight = kScreenHeight;
    bool mouseKeys = false;
    bool relativeMouse = false;
    // Where the cursor was when relative mode began, in screen coordinates.
    std::int32_t heldX = 0;
    std::int32_t heldY = 0;
    std::string title = kWindowTitle;
};

WindowState state;

void ShowError(const char* caption, const char* text) { CurrentPlatform().MessageBox(caption, text); }

// The box shows the classic message; qGetLastError gets it too, unless the
// platform already left a more telling reason for this very step.
bool FailCreation(const char* text, bool platformExplains = false) {
    if (!platformExplains) SetLastError(text);
    KillWindow();
    ShowError(kErrorCaption, text);
    return false;
}

void AdjustCursor(int delta) {
    state.cursorCounter += delta;
    CurrentPlatform().ShowCursor(state.cursorCounter >= 0);
}

// A wheel step is a press and a release at once: never held in the table.
bool HasEntry(std::int32_t code) { return code >= 0 && code < kKeyCount && code != QK_WHEELUP && code != QK_WHEELDOWN; }

void SetKey(std::int32_t code, bool down) {
    if (HasEntry(code)) state.keys[static_cast<std::size_t>(code)] = down;
}

void CallKeyDown(std::int32_t code) {
    if (TKeyProc proc = KeyDownProc()) proc(code, state.mouseX, state.mouseY);
}

// The release procedure sees the key already up in the table.
void Release(std::int32_t code) {
    SetKey(code, false);
    if (TKeyProc proc = KeyUpProc()) proc(code, state.mouseX, state.mouseY);
}

// The classic buttons always count; the side buttons and the wheel only
// when the program asked for them.
bool ButtonWanted(std::int32_t code) { return state.mouseKeys || (code >= QK_LBUTTON && code <= QK_MBUTTON); }

void WindowProcedure(const PlatformMessage& message) {
    using Kind = PlatformMessage::Kind;
    if ((message.kind == Kind::ButtonDown || message.kind == Kind::ButtonUp) && !ButtonWanted(message.code)) return;
    switch (message.kind) {
    case Kind::KeyDown:
        // The callback sees the table as it was before this press.
        CallKeyDown(message.code);
        SetKey(message.code, true);
        ConsoleKeyDown(message.code);
        break;
    case Kind::KeyUp: Release(message.code); break;
    case Kind::Char: ConsoleCharInput(static_cast<std::uint8_t>(message.code)); break;
    case Kind::MouseMove:
        if (TMouseProc proc = MouseMoveProc())
            proc(static_cast<std::int32_t>(message.position & 0xFFFF), static_cast<std::int32_t>(message.position >> 16));
        break;
    case Kind::MouseDelta:
        if (TMouseProc proc = MouseMoveProc()) proc(message.code, static_cast<std::int32_t>(message.position));
        break;
    case Kind::ButtonDown: PressButton(message.code); break;
    case Kind::ButtonUp: ReleaseButton(message.code); break;
    case Kind::PadAdded:
    case Kind::PadRemoved:
    case Kind::PadDown:
    case Kind::PadUp:
    case Kind::PadAxis: GamepadMessage(message); break;
    case Kind::Resized: state.resized = state.resizeToReport = true; break;
    case Kind::CloseRequest:
    case Kind::Quit:
        // Closing the window ends the main loop; its done procedure still runs.
        StopMainLoop();
        break;
    case Kind::Destroyed:
    case Kind::SysKeyDown:
    case Kind::SysKeyUp:
    case Kind::Other: break;
    }
}

void SetViewport(int width, int height) {
    glViewport(0, 0, width, height);
    state.viewportWidth = width;
    state.viewportHeight = height;
}

// A framed window that the user resizes or maximises keeps the whole picture:
// the viewport follows the client area, as qScreenMode sets it (the logical
// screen and the projections stay). It waits while another context (a
// pbuffer's) is current, and leaves alone a viewport the program set itself
// while the size has not changed.
void FollowClientArea() {
    Platform& platform = CurrentPlatform();
    if (!state.open || !state.resized || platform.CurrentContext() != state.context) return;
    state.resized = false;
    int width = 0, height = 0;
    platform.GetDrawableSize(state.window, width, height);
    if (width > 0 && height > 0 && (width != state.viewportWidth || height != state.viewportHeight))
        SetViewport(width, height);
}

// The resize procedure hears of each new client size once, whichever
// context is current.
void ReportResize() {
    if (!state.open || !state.resizeToReport) return;
    state.resizeToReport = false;
    int width = 0, height = 0;
    CurrentPlatform().GetDrawableSize(state.window, width, height);
    if (width <= 0 || height <= 0 || (width == state.reportedWidth && height == state.reportedHeight)) return;
    state.reportedWidth = width;
    state.reportedHeight = height;
    if (TResizeProc proc = ResizeProc()) proc(width, height);
}

// A display-mode change must not outlive the process, nor the library that
// can undo it: handlers registered from a shared library also run when it is
// unloaded.
void RestoreDisplayAtExit() {
    if (state.open && state.fullscreen) CurrentPlatform().RestoreDisplayMode(state.window);
}

void RestoreDisplayAtExitFromNowOn() {
    static const bool registered = std::atexit(RestoreDisplayAtExit) == 0;
    (void)registered;
}

} // namespace

// Unlike keys, a button's callback sees it already pressed.
void PressButton(std::int32_t code) {
    SetKey(code, true);
    CallKeyDown(code);
}

void ReleaseButton(std::int32_t code) { Release(code); }

bool CreateWindow() {
    Platform& platform = CurrentPlatform();
    if (!platform.RegisterWindowClass()) {
        ShowError(kErrorCaption, "Failed to register the window class!");
        return false;
    }
    state.window = platform.CreatePopupWindow(state.title, 0, 0, state.screenWidth, state.screenHeight);
    if (!state.window) return FailCreation("Unable to create window!", true);
    state.deviceContext = platform.GetDeviceContext(state.window);
    if (!state.deviceContext) return FailCreation("Unable to get a device context!");
    const int format = platform.ChoosePixelFormat(state.deviceContext);
    if (!format) return FailCreation("Unable to find a suitable pixel format");
    if (!platform.SetPixelFormat(state.deviceContext, format)) return FailCreation("Unable to set the pixel format");
    state.context = platform.CreateContext(state.deviceContext);
    if (!state.context) return FailCreation("Unable to create an OpenGL rendering context");
    platform.MakeCurrent(state.deviceContext, state.context);
    BindGL();
    BindGLU();
    platform.ShowWindow(state.window);
    platform.GetCursorPos(state.mouseX, state.mouseY);
    // Fails where there is no swap control (Xvfb): not an error.
    platform.SetSwapInterval(0);
    state.open = true;
    state.resized = state.resizeToReport = false;
    state.viewportWidth = state.reportedWidth = state.screenWidth; // GL's first viewport: the window's size
    state.viewportHeight = state.reportedHeight = state.screenHeight;
    if (++state.tokenSerial == 0) ++state.tokenSerial;
    state.token = state.tokenSerial;
    return true;
}

void KillWindow() {
    Platform& platform = CurrentPlatform();
    if (state.relativeMouse) SetRelativeMouse(false);
    state.relativeMouse = false;
    platform.RestoreDisplayMode(state.window);
    AdjustCursor(+1);
    state.open = false;
    state.fullscreen = false;
    state.token = 0;
    if (!platform.MakeCurrent(0, 0)) ShowError(kTeardownCaption, kCannotReleaseContext);
    if (!platform.DeleteContext(state.context)) {
        ShowError(kTeardownCaption, kCannotDeleteContext);
        state.context = 0;
    }
    if (state.window && !platform.DestroyWindow(state.window)) {
        ShowError(kTeardownCaption, kCannotDestroyWindow);
        state.window = 0;
    }
    if (!platform.UnregisterWindowClass()) ShowError(kTeardownCaption, "Unable to unregister window class!");
    // The GL library may be gone with the video subsystem: with no window the
    // platform resolves nothing, which puts the do-nothing stubs back.
    if (!platform.CurrentContext()) BindGL();
}

// Without a window there is nothing to switch: false, and no message.
bool ScreenMode(std::int32_t width, std::int32_t height, std::int32_t bits, std::int32_t frequency, bool fullscreen) {
    if (!RequireWindow()) return false;
    Platform& platform = CurrentPlatform();
    if (fullscreen && !platform.ChangeDisplayMode(state.window, width, height, bits, frequency)) {
        SetLastError("Unable to switch to fullscreen: no display mode " + std::to_string(width) + " x " +
                     std::to_string(height) + ", " + std::to_string(bits) + " bits, " + std::to_string(frequency) +
                     " Hz");
        ShowError(kErrorCaption, "Unable to switch to fullscreen!");
        return false;
    }
    if (!fullscreen && (width <= 0 || height <= 0)) {
        SetLastError("Window size " + std::to_string(width) + " x " + std::to_string(height) + " is not positive");
        return false;
    }
    state.fullscreen = fullscreen;
    if (fullscreen) RestoreDisplayAtExitFromNowOn();
    AdjustCursor(fullscreen ? -1 : +1);
    platform.SetWindowStyle(state.window, fullscreen, width, height);
    platform.ShowWindow(state.window);
    // The platform may grant another size than asked (a full-screen mode is a
    // closest match), so the viewport follows what the drawable really got.
    int drawableWidth = 0, drawableHeight = 0;
    platform.GetDrawableSize(state.window, drawableWidth, drawableHeight);
    if (drawableWidth <= 0 || drawableHeight <= 0) {
        drawableWidth = width;
        drawableHeight = height;
    }
    SetViewport(drawableWidth, drawableHeight);
    return true;
}

void Msg() {
    Platform& platform = CurrentPlatform();
    PlatformMessage message;
    while (platform.PeekMessage(message)) WindowProcedure(message);
    FollowClientArea();
    ReportResize();
    // Without a display the last sampled position stands.
    platform.GetCursorPos(state.mouseX, state.mouseY);
}

// Codes outside the table are never pressed.
bool IsKeyPressed(std::int32_t key) { return HasEntry(key) && state.keys[static_cast<std::size_t>(key)]; }

std::int32_t GetMouseX() { return state.mouseX; }
std::int32_t GetMouseY() { return state.mouseY; }

void FinishRender() {
    glFlush();
    glFinish();
    CurrentPlatform().SwapBuffers(state.deviceContext);
}

// Exact for any uptime: count * 1000 is formed in 128 bits before dividing.
std::int32_t GetTimer() {
    Platform& platform = CurrentPlatform();
    const std::uint64_t frequency = platform.PerformanceFrequency();
    const std::uint64_t count = platform.PerformanceCounter();
    if (frequency == 0) return 0;
    const unsigned __int128 milliseconds = static_cast<unsigned __int128>(count) * 1000u / frequency;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(milliseconds));
}

// An opaque token, new for each window, 0 while there is none.
std::uint32_t GetHDC() { return state.open ? state.token : 0; }

std::int32_t ScreenWidth() { return state.screenWidth; }
std::int32_t ScreenHeight() { return state.screenHeight; }

bool SetScreenSize(std::int32_t width, std::int32_t height) {
    if (width < 1 || height < 1 || width > kMaxScreenSide || height > kMaxScreenSide) {
        SetLastError("Screen size " + std::to_string(width) + " x " + std::to_string(height) +
                     ": each side must be 1 to " + std::to_string(kMaxScreenSide));
        return false;
    }
    state.screenWidth = width;
    state.screenHeight = height;
    return true;
}

bool GetWindowSize(std::int32_t& width, std::int32_t& height) {
    if (!RequireWindow()) return false;
    int w = 0, h = 0;
    CurrentPlatform().GetDrawableSize(state.window, w, h);
    width = w;
    height = h;
    return true;
}

void SetWindowTitle(const std::string& title) {
    state.title = title;
    if (state.open) CurrentPlatform().SetWindowTitle(state.window, title);
}

bool SetWindowIcon(const std::string& fileName) {
    if (!RequireWindow()) return false;
    const std::unique_ptr<TTexture> image = LoadImage(fileName);
    if (!image) {
        SetLastError("\"" + fileName + "\": not a readable BMP, TGA, PNG or JPEG image");
        return false;
    }
    // Alpha-only images are white shapes; images without alpha are opaque.
    const std::size_t pixels = static_cast<std::size_t>(image->Width()) * static_cast<std::size_t>(image->Height());
    const int components = image->Components();
    std::vector<std::uint8_t> rgba(pixels * 4, 255);
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* in = image->Pixels() + i * static_cast<std::size_t>(components);
        std::uint8_t* out = rgba.data() + i * 4;
        if (components == 1)
            out[3] = in[0];
        else
            std::copy(in, in + std::min(components, 4), out);
    }
    if (!CurrentPlatform().SetWindowIcon(state.window, image->Width(), image->Height(), rgba)) {
        SetLastError("\"" + fileName + "\": the window system refused it as an icon");
        return false;
    }
    return true;
}

void SetMouseKeys(bool on) { state.mouseKeys = on; }

bool SetRelativeMouse(bool on) {
    if (!RequireWindow()) return false;
    if (on == state.relativeMouse) return true;
    Platform& platform = CurrentPlatform();
    if (on) platform.GetCursorPos(state.heldX, state.heldY);
    if (!platform.SetRelativeMouse(state.window, on)) {
        SetLastError(on ? "Relative mouse mode refused by the system" : "Cannot leave relative mouse mode");
        return false;
    }
    state.relativeMouse = on;
    if (!on) {
        platform.WarpCursor(state.heldX, state.heldY);
        state.mouseX = state.heldX;
        state.mouseY = state.heldY;
    }
    return true;
}

bool RequireWindow() {
    if (!state.open) SetLastError("No window: qCreateWindow first");
    return state.open;
}

Handle WindowDeviceContext() { return state.open ? state.deviceContext : 0; }
Handle WindowContext() { return state.open ? state.context : 0; }

int CursorDisplayCounter() { return state.cursorCounter; }

} // namespace quelt
