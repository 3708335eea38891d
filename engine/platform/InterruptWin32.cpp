// SPDX-License-Identifier: Zlib
#include "platform/Interrupt.h"

#include <atomic>

#include <windows.h>

namespace quelt {
namespace {

// The handler runs on a thread of its own, which Windows starts for the event.
std::atomic<bool> interrupted{false};

// Ctrl+C and Ctrl+Break end the loop (closing the console ends the process
// whatever a handler answers). Handlers are
// called newest first, so while the loop runs this one comes before any the
// program installed; once the loop has ended it is removed and theirs act again.
BOOL WINAPI NoteInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    // A second one while the first is pending acts as without the loop.
    if (interrupted.exchange(true)) return FALSE;
    return TRUE;
}

} // namespace

InterruptWatch::InterruptWatch() {
    interrupted = false;
    watching_[0] = SetConsoleCtrlHandler(NoteInterrupt, TRUE) != 0;
}

InterruptWatch::~InterruptWatch() {
    if (watching_[0]) SetConsoleCtrlHandler(NoteInterrupt, FALSE);
}

bool InterruptWatch::Received() { return interrupted; }

} // namespace quelt
