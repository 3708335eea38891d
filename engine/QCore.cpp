// SPDX-License-Identifier: Zlib
#include "QCore.h"

#include <algorithm>
#include <array>
#include <string>

#include "QDraw3D.h"
#include "QOpenAL.h"
#include "QUtils.h"
#include "QWin.h"
#include "platform/Interrupt.h"

namespace quelt {
namespace {

enum Slot { kRender = 0, kUpdate = 1, kInit = 2, kDone = 3, kKeyDown = 4, kMouseMove = 5, kSlotCount = 6 };

struct LoopState {
    std::array<TProc, kSlotCount> slots{};
    TKeyProc keyUp = nullptr;
    TResizeProc resize = nullptr;
    // The frame cap: passes start at capStart + k * 1000 / cap ms.
    std::int32_t cap = 0;
    std::int32_t capStart = 0;
    std::int32_t capFrames = 0;
    bool running = false;
    std::int32_t period = 0; // milliseconds; 0 pauses updates
    std::int32_t updateClock = 0;
    std::int32_t fpsWindowStart = 0;
    std::int32_t frameCount = 0;
    std::int32_t fps = 0;
};

LoopState loop;

// Time stamps wrap at 32 bits, so differences are formed modulo 2^32.
std::int32_t Elapsed(std::int32_t now, std::int32_t since) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(since));
}

std::int32_t Advance(std::int32_t stamp, std::int32_t by) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(stamp) + static_cast<std::uint32_t>(by));
}

void Call(Slot slot) {
    if (TProc proc = loop.slots[slot]) proc();
}

void RenderStep() {
    Call(kRender);
    FinishRender();
    ++loop.frameCount;
    const std::int32_t now = GetTimer();
    if (Elapsed(now, loop.fpsWindowStart) > 1000) {
        loop.fps = loop.frameCount;
        loop.frameCount = 0;
        loop.fpsWindowStart = now;
    }
}

void UpdateStep() {
    const std::int32_t now = GetTimer();
    if (loop.period <= 0) {
        // Updates are paused; keeping the clock at now means a rate set later
        // starts afresh instead of catching up the paused time.
        loop.updateClock = now;
        return;
    }
    const std::int32_t q = Elapsed(now, loop.updateClock) / loop.period;
    if (q < 0) return;
    // q + 1 can exceed 32 bits when q is the largest int32.
    const std::int64_t repetitions = static_cast<std::int64_t>(q) + 1;
    for (std::int64_t i = 0; i < repetitions; ++i) {
        Call(kUpdate);
        loop.updateClock = Advance(loop.updateClock, loop.period);
    }
}

void RestartFrameSchedule() {
    loop.capStart = GetTimer();
    loop.capFrames = 0;
}

// With a cap the loop sleeps until the next pass is due. The schedule is
// exact on average (60 passes in each second at a cap of 60, whatever the
// millisecond rounding); a loop that fell a whole frame behind starts a new
// schedule instead of rushing to catch up. Updates keep their own clock.
void WaitForNextPass() {
    if (loop.cap <= 0 || !loop.running) return;
    if (++loop.capFrames == loop.cap) { // each whole second rebases the schedule
        loop.capStart = Advance(loop.capStart, 1000);
        loop.capFrames = 0;
    }
    const std::int32_t due = loop.capFrames * 1000 / loop.cap;
    const std::int32_t ahead = due - Elapsed(GetTimer(), loop.capStart);
    if (ahead > 0)
        CurrentPlatform().Sleep(static_cast<std::uint32_t>(ahead));
    else if (-ahead >= 1000 / loop.cap)
        RestartFrameSchedule();
}

// Should a callback throw, the loop is left idle and the quadric released;
// the exception itself goes on to the application.
struct LoopUnwindGuard {
    bool quadricCreated = false;
    bool finished = false;
    ~LoopUnwindGuard() {
        if (finished) return;
        loop.running = false;
        if (quadricCreated) deleteSharedQuadric();
    }
};

} // namespace

void SetProcAdress(std::int32_t index, TProc proc) {
    if (index < 0 || index >= kSlotCount) return;
    loop.slots[static_cast<std::size_t>(index)] = proc;
}

// Rates above 1000 clamp to the clock's resolution of 1 ms; 0 and negative
// rates pause updates (the update step never divides by a period below 1).
void SetUPS(std::int32_t ups) {
    const bool wasPaused = loop.period <= 0;
    if (ups <= 0)
        loop.period = 0;
    else if (ups > 1000)
        loop.period = 1;
    else
        loop.period = 1000 / ups;
    // Resuming starts from now rather than catching up the paused time.
    if (wasPaused && loop.period > 0 && loop.running) loop.updateClock = GetTimer();
}

void StartMainLoop() {
    loop.running = true;
    const InterruptWatch interrupts;
    LoopUnwindGuard guard;
    Call(kInit);
    const std::int32_t now = GetTimer();
    loop.updateClock = now;
    loop.fpsWindowStart = now;
    RestartFrameSchedule();
    createSharedQuadric();
    guard.quadricCreated = true;
    while (loop.running && !interrupts.Received()) {
        Msg();
        // Streams are topped up here, so a program never has to.
        FeedStreams();
        RenderStep();
        UpdateStep();
        WaitForNextPass();
    }
    loop.running = false;
    Call(kDone);
    guard.finished = true;
    deleteSharedQuadric();
}

void StopMainLoop() { loop.running = false; }

std::int32_t GetFPS() { return loop.fps; }

bool IsLoopRunning() { return loop.running; }

TKeyProc KeyDownProc() { return reinterpret_cast<TKeyProc>(loop.slots[kKeyDown]); }
TMouseProc MouseMoveProc() { return reinterpret_cast<TMouseProc>(loop.slots[kMouseMove]); }

void SetKeyUpProc(TKeyProc proc) { loop.keyUp = proc; }
TKeyProc KeyUpProc() { return loop.keyUp; }
void SetResizeProc(TResizeProc proc) { loop.resize = proc; }
TResizeProc ResizeProc() { return loop.resize; }

void SetFrameCap(std::int32_t fps) {
    loop.cap = std::clamp(fps, 0, 1000);
    RestartFrameSchedule();
}

std::int32_t FrameCap() { return loop.cap; }

bool SetVSync(std::int32_t mode) {
    if (mode < -1 || mode > 1) {
        SetLastError("Vertical sync mode " + std::to_string(mode) + ": not -1 (adaptive), 0 (off) or 1 (on)");
        return false;
    }
    if (!RequireWindow()) return false;
    if (!CurrentPlatform().SetSwapInterval(mode)) {
        SetLastError(std::string(mode < 0 ? "Adaptive vertical sync" : mode ? "Vertical sync" : "Turning vertical sync off") +
                     ": not supported by the driver");
        return false;
    }
    return true;
}

std::int32_t UpdatePeriod() { return loop.period; }

} // namespace quelt
