// SPDX-License-Identifier: Zlib
// The engine's single window with its GL context, the key table, the cursor
// and the millisecond clock.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace quelt {

// The logical screen: 1024 x 768 unless the program sets another size;
// whatever the window's real size, the projections and the console use it.
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kMaxScreenSide = 16384;

std::int32_t ScreenWidth();
std::int32_t ScreenHeight();
// False, with a reason, for a side below 1 or above kMaxScreenSide.
bool SetScreenSize(std::int32_t width, std::int32_t height);
// The window's client area in pixels; false, with a reason, without a window.
bool GetWindowSize(std::int32_t& width, std::int32_t& height);

// The classic window title.
constexpr const char* kWindowTitle = "OpenGL";
// The title of the window, and of the windows opened from now on.
void SetWindowTitle(const std::string& title);

// The window's icon from an image file the texture readers take; false,
// with a reason, without a window, for an unreadable image or when refused.
bool SetWindowIcon(const std::string& fileName);

// Whether the side buttons and the wheel give key codes (off: classic).
void SetMouseKeys(bool on);
// Relative mode for mouse look; false, with a reason, without a window or
// when the system refuses.
bool SetRelativeMouse(bool on);

// A button of another device (a pad's) pressed or released: the key table
// and the key or release procedure, as for a mouse button.
void PressButton(std::int32_t code);
void ReleaseButton(std::int32_t code);

bool CreateWindow();
void KillWindow();
bool ScreenMode(std::int32_t width, std::int32_t height, std::int32_t bits, std::int32_t frequency, bool fullscreen);
void Msg();
bool IsKeyPressed(std::int32_t key);
std::int32_t GetMouseX();
std::int32_t GetMouseY();
void FinishRender();
std::int32_t GetTimer();
std::uint32_t GetHDC();

// Whether the window is open; when not, qGetLastError is told so.
bool RequireWindow();

// The window's device context and GL context (0 when there is none).
Handle WindowDeviceContext();
Handle WindowContext();

// The cursor's display counter: the cursor shows while it is >= 0.
int CursorDisplayCounter();

} // namespace quelt
