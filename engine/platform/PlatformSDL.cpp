// SPDX-License-Identifier: Zlib
// The platform layer on SDL2: the video subsystem stands for the window class,
// an SDL window with its GL context for the window and its rendering context.
#include "platform/Platform.h"

#include "QUtils.h"
#include "platform/CodePage.h"
#include "platform/SharedLibrary.h"

#include <quelt/quelt.h>

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <map>
#include <set>

namespace quelt {
namespace {

// The key table: Windows virtual-key codes, named in quelt.h. Letters and
// digits follow the layout (key code); everything else, and letters of
// non-Latin layouts, the key's place. Every code it gives has a QK_ name.
std::int32_t VirtualKey(const SDL_Keysym& key) {
    if (key.sym >= SDLK_a && key.sym <= SDLK_z) return QK_A + (key.sym - SDLK_a);
    if (key.sym >= SDLK_0 && key.sym <= SDLK_9) return QK_0 + (key.sym - SDLK_0);
    const SDL_Scancode s = key.scancode;
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z) return QK_A + (s - SDL_SCANCODE_A);
    if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9) return QK_1 + (s - SDL_SCANCODE_1);
    if (s >= SDL_SCANCODE_F1 && s <= SDL_SCANCODE_F12) return QK_F1 + (s - SDL_SCANCODE_F1);
    if (s >= SDL_SCANCODE_F13 && s <= SDL_SCANCODE_F24) return QK_F13 + (s - SDL_SCANCODE_F13);
    if (s >= SDL_SCANCODE_KP_1 && s <= SDL_SCANCODE_KP_9) return QK_NUMPAD1 + (s - SDL_SCANCODE_KP_1);
    switch (s) {
    case SDL_SCANCODE_0: return QK_0;
    case SDL_SCANCODE_BACKSPACE: return QK_BACKSPACE;
    case SDL_SCANCODE_TAB: return QK_TAB;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return QK_ENTER;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return QK_SHIFT;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return QK_CONTROL;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return QK_ALT;
    case SDL_SCANCODE_PAUSE: return QK_PAUSE;
    case SDL_SCANCODE_CAPSLOCK: return QK_CAPSLOCK;
    case SDL_SCANCODE_ESCAPE: return QK_ESCAPE;
    case SDL_SCANCODE_SPACE: return QK_SPACE;
    case SDL_SCANCODE_PAGEUP: return QK_PAGEUP;
    case SDL_SCANCODE_PAGEDOWN: return QK_PAGEDOWN;
    case SDL_SCANCODE_END: return QK_END;
    case SDL_SCANCODE_HOME: return QK_HOME;
    case SDL_SCANCODE_LEFT: return QK_LEFT;
    case SDL_SCANCODE_UP: return QK_UP;
    case SDL_SCANCODE_RIGHT: return QK_RIGHT;
    case SDL_SCANCODE_DOWN: return QK_DOWN;
    case SDL_SCANCODE_PRINTSCREEN: return QK_PRINTSCREEN;
    case SDL_SCANCODE_INSERT: return QK_INSERT;
    case SDL_SCANCODE_DELETE: return QK_DELETE;
    case SDL_SCANCODE_LGUI: return QK_LWIN;
    case SDL_SCANCODE_RGUI: return QK_RWIN;
    case SDL_SCANCODE_APPLICATION: return QK_APPS;
    case SDL_SCANCODE_KP_0: return QK_NUMPAD0;
    case SDL_SCANCODE_KP_MULTIPLY: return QK_NUMPAD_MULTIPLY;
    case SDL_SCANCODE_KP_PLUS: return QK_NUMPAD_ADD;
    case SDL_SCANCODE_KP_MINUS: return QK_NUMPAD_SUBTRACT;
    case SDL_SCANCODE_KP_PERIOD: return QK_NUMPAD_DECIMAL;
    case SDL_SCANCODE_KP_DIVIDE: return QK_NUMPAD_DIVIDE;
    case SDL_SCANCODE_NUMLOCKCLEAR: return QK_NUMLOCK;
    case SDL_SCANCODE_SCROLLLOCK: return QK_SCROLLLOCK;
    case SDL_SCANCODE_SEMICOLON: return QK_SEMICOLON;
    case SDL_SCANCODE_EQUALS: return QK_EQUALS;
    case SDL_SCANCODE_COMMA: return QK_COMMA;
    case SDL_SCANCODE_MINUS: return QK_MINUS;
    case SDL_SCANCODE_PERIOD: return QK_PERIOD;
    case SDL_SCANCODE_SLASH: return QK_SLASH;
    case SDL_SCANCODE_GRAVE: return QK_BACKQUOTE;
    case SDL_SCANCODE_LEFTBRACKET: return QK_LEFTBRACKET;
    case SDL_SCANCODE_BACKSLASH: return QK_BACKSLASH;
    case SDL_SCANCODE_RIGHTBRACKET: return QK_RIGHTBRACKET;
    case SDL_SCANCODE_APOSTROPHE: return QK_APOSTROPHE;
    case SDL_SCANCODE_NONUSBACKSLASH: return QK_OEM_102;
    default: return 0;
    }
}

// The left Alt, its chords (not with Control: that is AltGr) and F10 are
// system keys. The right Alt is AltGr on the layouts that have one, and X
// sends it without Control (the original platform adds Control), so it and
// what it types are ordinary keys: AltGr+Q types "@" on a German layout.
bool IsSystemKey(const SDL_Keysym& key) {
    if (key.scancode == SDL_SCANCODE_F10 || key.scancode == SDL_SCANCODE_LALT) return true;
    return (key.mod & KMOD_LALT) && !(key.mod & KMOD_CTRL);
}

// Key presses that translation turns into control characters.
std::int32_t ControlCharacter(std::int32_t virtualKey) {
    switch (virtualKey) {
    case QK_BACKSPACE:
    case QK_TAB:
    case QK_ENTER:
    case QK_ESCAPE: return virtualKey;
    default: return 0;
    }
}

std::int32_t ButtonCode(std::uint8_t button) {
    switch (button) {
    case SDL_BUTTON_LEFT: return QK_LBUTTON;
    case SDL_BUTTON_RIGHT: return QK_RBUTTON;
    case SDL_BUTTON_MIDDLE: return QK_MBUTTON;
    case SDL_BUTTON_X1: return QK_XBUTTON1;
    case SDL_BUTTON_X2: return QK_XBUTTON2;
    default: return 0;
    }
}

// SDL's game-controller buttons, in its order, as the first pad's key codes.
constexpr std::int32_t kPadButtons[] = {QK_PAD_A,
                                        QK_PAD_B,
                                        QK_PAD_X,
                                        QK_PAD_Y,
                                        QK_PAD_BACK,
                                        QK_PAD_GUIDE,
                                        QK_PAD_START,
                                        QK_PAD_LEFTSTICK,
                                        QK_PAD_RIGHTSTICK,
                                        QK_PAD_LEFTSHOULDER,
                                        QK_PAD_RIGHTSHOULDER,
                                        QK_PAD_DPAD_UP,
                                        QK_PAD_DPAD_DOWN,
                                        QK_PAD_DPAD_LEFT,
                                        QK_PAD_DPAD_RIGHT,
                                        QK_PAD_MISC1,
                                        QK_PAD_PADDLE1,
                                        QK_PAD_PADDLE2,
                                        QK_PAD_PADDLE3,
                                        QK_PAD_PADDLE4,
                                        QK_PAD_TOUCHPAD};
static_assert(std::size(kPadButtons) == SDL_CONTROLLER_BUTTON_MAX);
// SDL's game-controller axes, in its order.
constexpr std::int32_t kPadAxes[] = {QPAD_LEFTX,  QPAD_LEFTY,       QPAD_RIGHTX,
                                     QPAD_RIGHTY, QPAD_TRIGGERLEFT, QPAD_TRIGGERRIGHT};
static_assert(std::size(kPadAxes) == SDL_CONTROLLER_AXIS_MAX);

class SDLPlatform final : public Platform {
public:
    bool RegisterWindowClass() override {
        if (registered_) return false;
        LeaveSignalsAlone();
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return Refuse(std::string("Cannot start SDL's video: ") + SDL_GetError());
        registered_ = true;
        return true;
    }

    bool UnregisterWindowClass() override {
        if (!registered_ || !windows_.empty()) return false;
        // The pads outlive the window: a pad's arrival must not be lost.
        DropPending([](const PlatformMessage& message) { return !IsPadMessage(message.kind); });
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        registered_ = false;
        return true;
    }

    Handle CreatePopupWindow(const std::string& title, int x, int y, int width, int height) override {
        if (!registered_) return 0;
        if (ShowsNothingUnasked()) {
            SetLastError(std::string("Unable to create window: no display to show it on (SDL chose its \"") +
                         SDL_GetCurrentVideoDriver() +
                         "\" driver, which shows nothing); set DISPLAY, or"
                         " SDL_VIDEODRIVER=offscreen to draw off screen");
            return 0;
        }
        RequestFramebuffer();
        SDL_Window* window = SDL_CreateWindow(Cp1251ToUtf8(title).c_str(), x, y, width, height,
                                              SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
        if (!window) {
            SetLastError(std::string("Unable to create window: ") + SDL_GetError());
            return 0;
        }
        windows_.insert(window);
        return ToHandle(window);
    }

    bool DestroyWindow(Handle window) override {
        SDL_Window* w = LiveWindow(window);
        if (!w) return false;
        if (fullscreen_ == w) fullscreen_ = nullptr;
        SDL_DestroyWindow(w);
        windows_.erase(w);
        return true;
    }

    // The window's surface is private to it, so the window stands for it.
    Handle GetDeviceContext(Handle window) override { return LiveWindow(window) ? window : 0; }

    int ChoosePixelFormat(Handle dc) override { return LiveWindow(dc) ? 1 : 0; }
    bool SetPixelFormat(Handle dc, int format) override { return LiveWindow(dc) && format == 1; }

    void ShowWindow(Handle window) override {
        SDL_Window* w = LiveWindow(window);
        if (!w) return;
        SDL_ShowWindow(w);
        SDL_RaiseWindow(w);
        SDL_SetWindowInputFocus(w);
    }

    void SetWindowTitle(Handle window, const std::string& title) override {
        if (SDL_Window* w = LiveWindow(window)) SDL_SetWindowTitle(w, Cp1251ToUtf8(title).c_str());
    }

    bool SetWindowIcon(Handle window, int width, int height, const std::vector<std::uint8_t>& rgba) override {
        SDL_Window* w = LiveWindow(window);
        if (!w || rgba.size() != static_cast<std::size_t>(width) * height * 4) return false;
        SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint8_t*>(rgba.data()), width, height, 32,
                                                               width * 4, SDL_PIXELFORMAT_RGBA32);
        if (!icon) return false;
        SDL_SetWindowIcon(w, icon);
        SDL_FreeSurface(icon);
        return true;
    }

    Handle CreateContext(Handle dc) override {
        SDL_Window* w = LiveWindow(dc);
        if (!w) return 0;
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
        return Remember(SDL_GL_CreateContext(w));
    }

    Handle CreateSharedContext(Handle dc, Handle share) override {
        SDL_Window* w = LiveWindow(dc);
        if (!w) return 0;
        if (!share) return CreateContext(dc);
        if (!contexts_.count(FromHandle<void>(share))) return 0;
        SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
        SDL_GLContext previous = SDL_GL_GetCurrentContext();
        SDL_GL_MakeCurrent(w, FromHandle<void>(share));
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
        const Handle context = Remember(SDL_GL_CreateContext(w));
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
        SDL_GL_MakeCurrent(previousWindow, previous);
        return context;
    }

    bool MakeCurrent(Handle dc, Handle context) override {
        if (!context) {
            // With the video subsystem down nothing can be current: done already.
            if (!registered_) return true;
            return SDL_GL_MakeCurrent(LiveWindow(dc), nullptr) == 0;
        }
        SDL_Window* w = LiveWindow(dc);
        if (!w || !contexts_.count(FromHandle<void>(context))) return false;
        return SDL_GL_MakeCurrent(w, FromHandle<void>(context)) == 0;
    }

    bool DeleteContext(Handle context) override {
        void* c = FromHandle<void>(context);
        if (!c || !contexts_.count(c)) return false;
        SDL_GL_DeleteContext(c);
        contexts_.erase(c);
        return true;
    }

    Handle CurrentDeviceContext() override { return registered_ ? ToHandle(SDL_GL_GetCurrentWindow()) : 0; }
    Handle CurrentContext() override { return registered_ ? ToHandle(SDL_GL_GetCurrentContext()) : 0; }

    bool SetSwapInterval(int interval) override { return registered_ && SDL_GL_SetSwapInterval(interval) == 0; }

    bool SwapBuffers(Handle dc) override {
        SDL_Window* w = LiveWindow(dc);
        if (!w) return false;
        SDL_GL_SwapWindow(w);
        return true;
    }

    void* GetGLProcAddress(const char* name) override {
        return registered_ && name ? SDL_GL_GetProcAddress(name) : nullptr;
    }

    void GetDrawableSize(Handle window, int& width, int& height) override {
        width = height = 0;
        if (SDL_Window* w = LiveWindow(window)) SDL_GL_GetDrawableSize(w, &width, &height);
    }

    bool ChangeDisplayMode(Handle window, int width, int height, int bits, int frequency) override {
        SDL_Window* w = LiveWindow(window);
        if (!w || width <= 0 || height <= 0) return false;
        const int display = SDL_GetWindowDisplayIndex(w);
        SDL_DisplayMode wanted{};
        wanted.format = bits == 16 ? SDL_PIXELFORMAT_RGB565 : bits == 24 ? SDL_PIXELFORMAT_RGB888 : 0;
        wanted.w = width;
        wanted.h = height;
        wanted.refresh_rate = frequency > 0 ? frequency : 0;
        SDL_DisplayMode closest{};
        if (display < 0 || !SDL_GetClosestDisplayMode(display, &wanted, &closest)) return false;
        if (SDL_SetWindowDisplayMode(w, &closest) != 0) return false;
        // SDL ignores style changes on a full-screen window, so the window is
        // made a borderless pop-up first. Without a window manager the X
        // window also keeps its size unless told.
        const Uint32 oldFlags = SDL_GetWindowFlags(w);
        int oldWidth = 0, oldHeight = 0;
        SDL_GetWindowSize(w, &oldWidth, &oldHeight);
        SetPopupStyle(w, true);
        SDL_SetWindowSize(w, closest.w, closest.h);
        if (SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN) != 0) {
            // A refused mode changes nothing.
            SDL_SetWindowBordered(w, (oldFlags & SDL_WINDOW_BORDERLESS) ? SDL_FALSE : SDL_TRUE);
            SDL_SetWindowResizable(w, (oldFlags & SDL_WINDOW_RESIZABLE) ? SDL_TRUE : SDL_FALSE);
            SDL_SetWindowSize(w, oldWidth, oldHeight);
            return false;
        }
        fullscreen_ = w;
        return true;
    }

    void RestoreDisplayMode(Handle window) override {
        SDL_Window* w = LiveWindow(window);
        if (!w || fullscreen_ != w) return;
        SDL_SetWindowFullscreen(w, 0);
        fullscreen_ = nullptr;
    }

    void SetWindowStyle(Handle window, bool fullscreen, int width, int height) override {
        SDL_Window* w = LiveWindow(window);
        if (!w) return;
        if (!fullscreen && fullscreen_ == w) {
            SDL_SetWindowFullscreen(w, 0);
            fullscreen_ = nullptr;
        }
        SetPopupStyle(w, fullscreen);
        if (fullscreen_ != w) {
            SDL_SetWindowSize(w, width, height);
            SDL_SetWindowPosition(w, 0, 0);
        }
    }

    void ShowCursor(bool show) override {
        if (registered_) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    }

    bool SetRelativeMouse(Handle window, bool on) override {
        SDL_Window* w = LiveWindow(window);
        if (!w) return false;
        if (on) SDL_RaiseWindow(w);
        return SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE) == 0;
    }

    void WarpCursor(std::int32_t x, std::int32_t y) override {
        if (registered_) SDL_WarpMouseGlobal(x, y);
    }

    bool StartGamepads() override {
        if (gamepads_) return true;
        LeaveSignalsAlone();
        if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
            gamepadError_ = SDL_GetError();
            return false;
        }
        gamepads_ = true;
        // SDL announces the pads present only when its subsystem first
        // starts, which the program may have done itself.
        for (int index = 0; index < SDL_NumJoysticks(); ++index)
            if (SDL_IsGameController(index)) OpenPad(index);
        return true;
    }

    void StopGamepads() override {
        if (!gamepads_) return;
        for (const auto& [id, pad] : pads_) SDL_GameControllerClose(pad);
        pads_.clear();
        DropPending([](const PlatformMessage& message) { return IsPadMessage(message.kind); });
        SDL_FlushEvents(SDL_CONTROLLERAXISMOTION, SDL_CONTROLLERSENSORUPDATE);
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        gamepads_ = false;
    }

    std::string GamepadError() override { return gamepadError_; }

    bool PeekMessage(PlatformMessage& message) override {
        if (!registered_ && !gamepads_) return false;
        SDL_Event event;
        while (pending_.empty() && SDL_PollEvent(&event)) Translate(event);
        if (pending_.empty()) return false;
        message = pending_.front();
        pending_.pop_front();
        return true;
    }

    // Over our window the event-tracked position is the fresh one (SDL's
    // global state is cached and misses warped pointers); elsewhere ask X.
    bool GetCursorPos(std::int32_t& x, std::int32_t& y) override {
        if (!registered_) return false;
        int gx = 0, gy = 0;
        SDL_Window* focus = SDL_GetMouseFocus();
        if (focus && windows_.count(focus)) {
            int wx = 0, wy = 0;
            SDL_GetMouseState(&gx, &gy);
            SDL_GetWindowPosition(focus, &wx, &wy);
            gx += wx;
            gy += wy;
        } else {
            SDL_GetGlobalMouseState(&gx, &gy);
        }
        x = gx;
        y = gy;
        return true;
    }

    std::uint64_t PerformanceCounter() override { return SDL_GetPerformanceCounter(); }
    std::uint64_t PerformanceFrequency() override { return SDL_GetPerformanceFrequency(); }
    void Sleep(std::uint32_t milliseconds) override { SDL_Delay(milliseconds); }

    void MessageBox(const std::string& caption, const std::string& text) override {
        const std::string title = Cp1251ToUtf8(caption);
        const std::string body = Cp1251ToUtf8(text);
        if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), body.c_str(), nullptr) != 0)
            std::fprintf(stderr, "%s: %s\n", title.c_str(), body.c_str());
    }

    void* LoadLibrary(const char* name) override { return OpenSharedLibrary(name, libraryError_); }
    std::string LibraryError() override { return libraryError_; }
    void* GetSymbol(void* library, const char* name) override { return SharedLibrarySymbol(library, name); }
    void FreeLibrary(void* library) override { CloseSharedLibrary(library); }

private:
    static Handle ToHandle(const void* pointer) { return reinterpret_cast<Handle>(pointer); }
    template <typename T>
    static T* FromHandle(Handle handle) {
        return reinterpret_cast<T*>(handle);
    }

    // SDL's event queue, which every subsystem here starts, would turn Ctrl+C
    // into a quit event even with no loop to end; the main loop catches
    // interrupts itself while it runs.
    static void LeaveSignalsAlone() { SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1"); }

    // With no display SDL falls back to a driver that shows nothing, and a
    // program would run unseen until killed. Only one who names such a
    // driver (SDL_VIDEODRIVER=offscreen) gets it.
    static bool ShowsNothingUnasked() {
        const char* driver = SDL_GetCurrentVideoDriver();
        if (!driver || (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0)) return false;
        const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
        return !asked || !*asked;
    }

    // Handles kept after a teardown must fail cleanly, never reach SDL dangling.
    SDL_Window* LiveWindow(Handle handle) const {
        auto* w = FromHandle<SDL_Window>(handle);
        return w && windows_.count(w) ? w : nullptr;
    }

    Handle Remember(SDL_GLContext context) {
        if (context) contexts_.insert(context);
        return ToHandle(context);
    }

    // A pop-up has neither frame nor sizing border; a window has both.
    static void SetPopupStyle(SDL_Window* w, bool popup) {
        SDL_SetWindowBordered(w, popup ? SDL_FALSE : SDL_TRUE);
        SDL_SetWindowResizable(w, popup ? SDL_FALSE : SDL_TRUE);
    }

    // X picks the window's visual at creation, so the framebuffer is asked for first.
    static void RequestFramebuffer() {
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    }

    void Push(PlatformMessage::Kind kind, std::int32_t code = 0, std::uint32_t position = 0, bool repeat = false) {
        PlatformMessage message;
        message.kind = kind;
        message.code = code;
        message.position = position;
        message.repeat = repeat;
        pending_.push_back(message);
    }

    template <typename Predicate>
    void DropPending(Predicate drop) {
        pending_.erase(std::remove_if(pending_.begin(), pending_.end(), drop), pending_.end());
    }

    void PushPad(PlatformMessage::Kind kind, SDL_JoystickID device, std::int32_t code = 0, std::int32_t value = 0) {
        PlatformMessage message;
        message.kind = kind;
        message.device = device;
        message.code = code;
        message.position = static_cast<std::uint32_t>(value);
        pending_.push_back(message);
    }

    // SDL announces a pad by its place in the device list and names it by
    // its instance id from then on; a pad announced twice is opened once.
    void OpenPad(int deviceIndex) {
        SDL_GameController* pad = SDL_GameControllerOpen(deviceIndex);
        if (!pad) return;
        const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad));
        if (id < 0 || !pads_.emplace(id, pad).second) {
            SDL_GameControllerClose(pad);
            return;
        }
        PushPad(PlatformMessage::Kind::PadAdded, id);
        // A stick may rest off centre, or a trigger be held, from the start.
        for (int axis = 0; axis < SDL_CONTROLLER_AXIS_MAX; ++axis)
            if (const Sint16 value = SDL_GameControllerGetAxis(pad, static_cast<SDL_GameControllerAxis>(axis)))
                PushPad(PlatformMessage::Kind::PadAxis, id, kPadAxes[axis], value);
    }

    void ClosePad(SDL_JoystickID id) {
        const auto pad = pads_.find(id);
        if (pad == pads_.end()) return;
        SDL_GameControllerClose(pad->second);
        pads_.erase(pad);
        PushPad(PlatformMessage::Kind::PadRemoved, id);
    }

    void TranslatePad(const SDL_Event& event) {
        using Kind = PlatformMessage::Kind;
        switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED: OpenPad(event.cdevice.which); return;
        case SDL_CONTROLLERDEVICEREMOVED: ClosePad(event.cdevice.which); return;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            if (pads_.count(event.cbutton.which) && event.cbutton.button < std::size(kPadButtons)) {
                PushPad(event.type == SDL_CONTROLLERBUTTONDOWN ? Kind::PadDown : Kind::PadUp, event.cbutton.which,
                        kPadButtons[event.cbutton.button]);
                return;
            }
            break;
        case SDL_CONTROLLERAXISMOTION:
            if (pads_.count(event.caxis.which) && event.caxis.axis < std::size(kPadAxes)) {
                PushPad(Kind::PadAxis, event.caxis.which, kPadAxes[event.caxis.axis], event.caxis.value);
                return;
            }
            break;
        }
        Push(Kind::Other);
    }

    void Translate(const SDL_Event& event) {
        using Kind = PlatformMessage::Kind;
        // A key's text arrives right after its key-down; a system key's
        // characters are the default procedure's, never the application's.
        const bool afterSystemKey = systemKeyDown_;
        systemKeyDown_ = false;
        switch (event.type) {
        case SDL_QUIT: Push(Kind::Quit); break;
        case SDL_WINDOWEVENT:
            Push(event.window.event == SDL_WINDOWEVENT_CLOSE          ? Kind::CloseRequest
                 : event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ? Kind::Resized
                                                                      : Kind::Other);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: TranslateKey(event.key); break;
        case SDL_TEXTINPUT:
            if (afterSystemKey) break;
            for (unsigned char code : Utf8ToCp1251(event.text.text)) Push(Kind::Char, code);
            break;
        case SDL_MOUSEMOTION: {
            if (SDL_GetRelativeMouseMode()) {
                Push(Kind::MouseDelta, event.motion.xrel, static_cast<std::uint32_t>(event.motion.yrel));
                break;
            }
            const std::uint32_t x = static_cast<std::uint32_t>(event.motion.x) & 0xFFFF;
            const std::uint32_t y = static_cast<std::uint32_t>(event.motion.y) & 0xFFFF;
            Push(Kind::MouseMove, 0, x | (y << 16));
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            const std::int32_t code = ButtonCode(event.button.button);
            if (!code) {
                Push(Kind::Other);
                break;
            }
            const std::uint32_t x = static_cast<std::uint32_t>(event.button.x) & 0xFFFF;
            const std::uint32_t y = static_cast<std::uint32_t>(event.button.y) & 0xFFFF;
            Push(event.type == SDL_MOUSEBUTTONDOWN ? Kind::ButtonDown : Kind::ButtonUp, code, x | (y << 16));
            break;
        }
        case SDL_MOUSEWHEEL: TranslateWheel(event.wheel); break;
        case SDL_CONTROLLERDEVICEADDED:
        case SDL_CONTROLLERDEVICEREMOVED:
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
        case SDL_CONTROLLERAXISMOTION:
            // A program may run SDL's controllers itself: the pads are ours only when asked for.
            if (gamepads_)
                TranslatePad(event);
            else
                Push(Kind::Other);
            break;
        default: Push(Kind::Other); break;
        }
    }

    // Each step of the wheel is a press and release of its own key code.
    void TranslateWheel(const SDL_MouseWheelEvent& wheel) {
        using Kind = PlatformMessage::Kind;
        constexpr int kMostSteps = 16; // of one event: a flung wheel stays a few calls
        const int steps = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
        if (steps == 0) {
            Push(Kind::Other);
            return;
        }
        const std::int32_t code = steps > 0 ? QK_WHEELUP : QK_WHEELDOWN;
        for (int i = 0; i < std::min(std::abs(steps), kMostSteps); ++i) {
            Push(Kind::ButtonDown, code);
            Push(Kind::ButtonUp, code);
        }
    }

    void TranslateKey(const SDL_KeyboardEvent& key) {
        using Kind = PlatformMessage::Kind;
        const std::int32_t virtualKey = VirtualKey(key.keysym);
        const bool down = key.type == SDL_KEYDOWN;
        if (IsSystemKey(key.keysym)) {
            Push(down ? Kind::SysKeyDown : Kind::SysKeyUp, virtualKey);
            systemKeyDown_ = down;
            return;
        }
        if (!virtualKey) {
            Push(Kind::Other);
            return;
        }
        Push(down ? Kind::KeyDown : Kind::KeyUp, virtualKey, 0, key.repeat != 0);
        if (down)
            if (const std::int32_t character = ControlCharacter(virtualKey)) Push(Kind::Char, character);
    }

    bool registered_ = false;
    std::set<SDL_Window*> windows_;
    std::set<void*> contexts_;
    SDL_Window* fullscreen_ = nullptr;
    bool systemKeyDown_ = false; // the last event translated was a system key-down
    std::deque<PlatformMessage> pending_;
    bool gamepads_ = false;                              // SDL's game-controller subsystem is running
    std::map<SDL_JoystickID, SDL_GameController*> pads_; // the pads opened, by instance id
    std::string gamepadError_;
    std::string libraryError_; // the loader's words for the last failed load
};

Platform* installed = nullptr;

} // namespace

Platform& CurrentPlatform() {
    // Made before the exit handler that restores the display mode is
    // registered, so destroyed after it has run, at exit and at unload alike;
    // a heap object here would leak whenever the library is unloaded.
    static SDLPlatform sdl;
    return installed ? *installed : sdl;
}

void SetPlatform(Platform* platform) { installed = platform; }

} // namespace quelt
