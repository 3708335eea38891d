// SPDX-License-Identifier: Zlib
// The main loop: callback slots, fixed-period updates with catch-up, frame count.
#pragma once

#include <quelt/quelt.h>

#include <cstdint>

namespace quelt {

void SetProcAdress(std::int32_t index, TProc proc);
void StartMainLoop();
void StopMainLoop();
void SetUPS(std::int32_t ups);
std::int32_t GetFPS();
bool IsLoopRunning();

// Slots 4 and 5, read afresh by the window procedure at each call.
TKeyProc KeyDownProc();
TMouseProc MouseMoveProc();

// Procedures beyond the six slots, empty unless a program sets them.
void SetKeyUpProc(TKeyProc proc);
TKeyProc KeyUpProc();
void SetResizeProc(TResizeProc proc);
TResizeProc ResizeProc();

// Passes per second the loop waits down to (0: no cap, the classic loop).
void SetFrameCap(std::int32_t fps);
std::int32_t FrameCap();
// Vertical sync: -1 adaptive, 0 off, 1 on; false, with a reason, when refused.
bool SetVSync(std::int32_t mode);

// The update period in milliseconds (0: updates paused).
std::int32_t UpdatePeriod();

} // namespace quelt
