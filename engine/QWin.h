// The engine's single window with its GL context, the key table, the cursor
// and the millisecond clock.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace quelt {

// The logical screen: fixed, whatever the window's real size.
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

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

// The window's device context and GL context (0 when there is none).
Handle WindowDeviceContext();
Handle WindowContext();

// The cursor's display counter: the cursor shows while it is >= 0.
int CursorDisplayCounter();

} // namespace quelt
